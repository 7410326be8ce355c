#include "platform/win32/ToolLog.h"

#include <windows.h>

#include <algorithm>

#include "platform/ToolMessage.h"

namespace quarrow::win32 {

namespace {

// Open for reading while the tool may still append to it or make it anew.
HANDLE OpenLog() {
  return CreateFileW(ToolLogPath().c_str(), GENERIC_READ,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

Text ToolLogPath() {
  wchar_t folder[MAX_PATH];
  const DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", folder, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return L"%LOCALAPPDATA%\\Quarrow\\getmail.log";
  return Text(folder) + L"\\Quarrow\\getmail.log";
}

unsigned long long ToolLogSize() {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(ToolLogPath().c_str(), GetFileExInfoStandard, &data))
    return 0;
  return (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) |
         data.nFileSizeLow;
}

std::string ToolLogAddedSince(unsigned long long before) {
  const HANDLE log = OpenLog();
  if (log == INVALID_HANDLE_VALUE) return std::string();
  std::string added;
  LARGE_INTEGER size;
  if (GetFileSizeEx(log, &size)) {
    const unsigned long long now = static_cast<unsigned long long>(size.QuadPart);
    unsigned long long from = now < before ? 0 : before;
    from = std::max<unsigned long long>(from, now > kToolOutputKept ? now - kToolOutputKept : 0);
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(from);
    added.resize(static_cast<size_t>(now - from));
    DWORD read = 0;
    if (SetFilePointerEx(log, at, nullptr, FILE_BEGIN) &&
        ReadFile(log, added.data(), static_cast<DWORD>(added.size()), &read, nullptr)) {
      added.resize(read);
    } else {
      added.clear();
    }
  }
  CloseHandle(log);
  return added;
}

}  // namespace quarrow::win32
