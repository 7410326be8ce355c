#include "platform/ProgramPart.h"

#include <cwctype>

namespace quarrow {

Text ProgramPart(const Text& command) {
  for (size_t at = 0; at + 4 <= command.size(); ++at) {
    const bool isExe = command[at] == L'.' &&
                       std::towlower(command[at + 1]) == L'e' &&
                       std::towlower(command[at + 2]) == L'x' &&
                       std::towlower(command[at + 3]) == L'e';
    const bool endsWord = at + 4 == command.size() || command[at + 4] == L' ';
    if (isExe && endsWord) return command.substr(0, at + 4);
  }
  return command.substr(0, command.find(L' '));
}

}  // namespace quarrow
