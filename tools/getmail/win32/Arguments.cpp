#include "tools/getmail/Arguments.h"

#include <windows.h>

#include "tools/getmail/win32/RawCommandLine.h"
#include "tools/getmail/win32/WinText.h"

namespace getmail {
namespace {

// This program's own file.
std::wstring SelfPath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return std::wstring();
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

// The arguments of the process's own command line, after the program's
// path: that path may hold blanks where Quarrow starts the tool by its full
// name and writes the path unquoted.
std::vector<win32::RawArgument> OwnArguments() {
  std::wstring_view line = GetCommandLineW();
  return win32::ArgumentsAfter(line, win32::ProgramPathEnd(line, SelfPath()));
}

}  // namespace

std::vector<std::string> ToolArguments(int, char**) {
  std::vector<std::string> out;
  for (const win32::RawArgument& argument : OwnArguments()) {
    out.push_back(win32::Narrow(argument.value));
  }
  return out;
}

// GetCommandLineW() gives the process's own copy of its command line, the
// one other programs read from it: the password's characters there become
// "*", as the password stands in the raw text (quotes included).
void HidePassword(int, char**) {
  std::vector<win32::RawArgument> arguments = OwnArguments();
  wchar_t* line = GetCommandLineW();
  for (std::size_t i = 0; i + 1 < arguments.size(); ++i) {
    if (arguments[i].value != L"-pw") continue;
    for (std::size_t k = arguments[i + 1].begin; k < arguments[i + 1].end; ++k) line[k] = L'*';
  }
}

}  // namespace getmail
