// The tool's messages on Windows: standard error, and appended to
// %LOCALAPPDATA%\Quarrow\getmail.log with the time and process id.
#include "tools/getmail/Report.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "tools/getmail/win32/WinText.h"

namespace getmail {
namespace {

// The log's folder, made if missing; empty when there is no local
// application data folder.
std::wstring LogFolder() {
  wchar_t buffer[MAX_PATH];
  DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", buffer, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return std::wstring();
  std::wstring folder = std::wstring(buffer) + L"\\Quarrow";
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

}  // namespace

void Report(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
  std::wstring folder = LogFolder();
  if (folder.empty()) return;
  // Appends are atomic per write, so tool runs never mix their lines.
  HANDLE log = CreateFileW((folder + L"\\getmail.log").c_str(), FILE_APPEND_DATA,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (log == INVALID_HANDLE_VALUE) return;
  SYSTEMTIME now;
  GetLocalTime(&now);
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u [%lu] ", now.wYear,
                now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                static_cast<unsigned long>(GetCurrentProcessId()));
  std::string entry;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    entry += stamp + text.substr(pos, end - pos) + "\r\n";
    pos = end + 1;
  }
  DWORD written = 0;
  WriteFile(log, entry.data(), static_cast<DWORD>(entry.size()), &written, nullptr);
  CloseHandle(log);
}

std::string ReportLogPath() {
  std::wstring folder = LogFolder();
  return folder.empty() ? std::string() : win32::Narrow(folder + L"\\getmail.log");
}

}  // namespace getmail
