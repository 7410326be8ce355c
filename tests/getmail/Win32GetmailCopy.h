// For the Windows tests that run getmail.exe itself: a copy of the build's
// getmail.exe under a name of the test's choosing in a new scratch folder.
#pragma once

#include <windows.h>

#include <string>

namespace getmail {

// Copies getmail.exe (GETMAIL_EXE_PATH, the build's path as Wine shows the
// Linux file system on drive Z:) as `name` into a new folder in the temporary
// folder whose name begins with `stem`. Gives back the folder, or "" if it
// could not be made.
inline std::wstring CopyOfGetmail(const std::wstring& stem, const std::wstring& name) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring folder = std::wstring(temp) + stem + std::to_wstring(GetCurrentProcessId()) +
                              L"-" + std::to_wstring(GetTickCount64());
  std::wstring tool = L"Z:";
  for (const char* c = GETMAIL_EXE_PATH; *c != '\0'; ++c) tool += *c == '/' ? L'\\' : wchar_t(*c);
  if (!CreateDirectoryW(folder.c_str(), nullptr) ||
      !CopyFileW(tool.c_str(), (folder + L"\\" + name).c_str(), TRUE)) {
    return std::wstring();
  }
  return folder;
}

}  // namespace getmail
