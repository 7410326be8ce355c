#include "tools/getmail/Arguments.h"

#include <windows.h>
#include <shellapi.h>

#include "tools/getmail/win32/WinText.h"

namespace getmail {
namespace {

// The wide command line split as the C runtime splits it.
std::vector<std::wstring> WideArguments() {
  int count = 0;
  wchar_t** list = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::wstring> out;
  if (list == nullptr) return out;
  for (int i = 0; i < count; ++i) out.emplace_back(list[i]);
  LocalFree(list);
  return out;
}

}  // namespace

std::vector<std::string> ToolArguments(int, char**) {
  std::vector<std::wstring> wide = WideArguments();
  std::vector<std::string> out;
  for (std::size_t i = 1; i < wide.size(); ++i) out.push_back(win32::Narrow(wide[i]));
  return out;
}

// GetCommandLineW() gives the process's own copy of its command line, the
// one other programs read from it: the password's characters there become
// "*" (where it stands as a word of its own after "-pw").
void HidePassword(int, char**) {
  std::vector<std::wstring> wide = WideArguments();
  std::wstring password;
  for (std::size_t i = 1; i + 1 < wide.size(); ++i) {
    if (wide[i] == L"-pw") password = wide[i + 1];
  }
  if (password.empty()) return;
  wchar_t* line = GetCommandLineW();
  std::wstring_view text(line);
  std::size_t at = text.find(L"-pw " + password);
  if (at == std::wstring_view::npos) return;
  for (std::size_t k = 0; k < password.size(); ++k) line[at + 4 + k] = L'*';
}

}  // namespace getmail
