#include "platform/win32/ProcessInfo.h"

#include <windows.h>

#include "platform/win32/SystemMessage.h"

namespace quarrow::win32 {

Text FolderOf(const Text& path) {
  const size_t slash = path.find_last_of(L'\\');
  if (slash == Text::npos) return Text();
  // A drive's root keeps its backslash.
  if (slash == 2 && path[1] == L':') return path.substr(0, 3);
  return path.substr(0, slash);
}

Text AfterProgramName(const Text& commandLine) {
  size_t at = 0;
  if (!commandLine.empty() && commandLine[0] == L'"') {
    const size_t close = commandLine.find(L'"', 1);
    at = close == Text::npos ? commandLine.size() : close + 1;
  } else {
    at = commandLine.find_first_of(L" \t");
    if (at == Text::npos) at = commandLine.size();
  }
  at = commandLine.find_first_not_of(L" \t", at);
  return at == Text::npos ? Text() : commandLine.substr(at);
}

Text ProgramFolder() {
  Text path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD size = static_cast<DWORD>(path.size());
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), size);
    if (length == 0) throw LastErrorFailure(L"find the program's folder");
    if (length < size) {
      path.resize(length);
      return FolderOf(path);
    }
    path.resize(path.size() * 2);  // cut short: try a larger buffer
  }
}

Text ArgumentText() { return AfterProgramName(GetCommandLineW()); }

}  // namespace quarrow::win32
