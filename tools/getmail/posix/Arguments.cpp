#include "tools/getmail/Arguments.h"

#include <cstring>

namespace getmail {

std::vector<std::string> ToolArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

// Other local users can read /proc/PID/cmdline, which is argv's memory.
void HidePassword(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "-pw") == 0) {
      std::memset(argv[i + 1], '*', std::strlen(argv[i + 1]));
      return;
    }
  }
}

}  // namespace getmail
