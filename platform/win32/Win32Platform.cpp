#include "platform/win32/Win32Platform.h"

#include <windows.h>

#include <algorithm>

#include "platform/ToolMessage.h"
#include "platform/win32/CodePageReader.h"
#include "platform/win32/CurrentFolder.h"
#include "platform/win32/FileOperations.h"
#include "platform/win32/ProcessInfo.h"
#include "platform/win32/SystemMessage.h"
#include "platform/win32/ToolLog.h"

namespace quarrow {

ProcessId Win32Platform::StartProcess(const Text& program,
                                      const Text& commandLine,
                                      int windowStyle) {
  const unsigned long long logSize = win32::ToolLogSize();
  const ProcessId id = processes_.Start(program, commandLine, windowStyle,
                                        folderLock_.handle());
  logSizeAtStart_[id] = logSize;
  return id;
}

ProcessExit Win32Platform::WaitForProcess(ProcessId id) {
  ProcessExit exit = processes_.Wait(id);
  const auto logSize = logSizeAtStart_.find(id);
  if (logSize == logSizeAtStart_.end()) return exit;
  // The lines this very process added: another run may share the log.
  if (exit.Failed())
    exit.message = LastToolMessage(
        ToolLogLinesOf(win32::ToolLogAddedSince(logSize->second), id));
  logSizeAtStart_.erase(logSize);
  return exit;
}

Text Win32Platform::ToolMessagesPlace() {
  // getmail.exe's console window closes when it ends, so it also appends
  // its messages to a log in the user's local application data folder.
  return win32::ToolLogPath();
}

void Win32Platform::SelectDrive(wchar_t letter) { win32::SelectDrive(letter); }

void Win32Platform::ChangeFolder(const Text& folder) {
  win32::ChangeFolder(folder);
}

std::vector<Text> Win32Platform::ListFiles(const Text& pattern) {
  return win32::ListFiles(pattern);
}

void Win32Platform::DeleteFiles(const Text& pattern) {
  win32::DeleteFiles(pattern);
}

void Win32Platform::RenameFile(const Text& from, const Text& to) {
  win32::RenameFile(from, to);
}

FileState Win32Platform::GetFileState(const Text& name) {
  return win32::GetFileState(name);
}

std::unique_ptr<TextReader> Win32Platform::OpenTextFile(const Text& name) {
  return win32::OpenCodePageFile(name);
}

void Win32Platform::SyncFolder() { win32::FlushCurrentFolder(); }

void Win32Platform::WriteHiddenFile(const Text& name,
                                    const std::string& bytes) {
  win32::WriteHiddenWhole(name, bytes);
}

std::optional<std::string> Win32Platform::ReadHiddenFile(const Text& name) {
  // The job's own files are a few lines; a bigger one is not one of them.
  return win32::ReadSmallFile(name, 64 * 1024);
}

void Win32Platform::RemoveHiddenFile(const Text& name) {
  win32::RemoveIfThere(name);
}

bool Win32Platform::TryLockFolder() { return folderLock_.TryLock(); }

void Win32Platform::ReleaseFolderLock() { folderLock_.Release(); }

bool Win32Platform::StopRequested() { return win32::StopWasRequested(); }

Text Win32Platform::UpperCase(const Text& text) {
  if (text.empty()) return text;
  const DWORD flags = LCMAP_UPPERCASE | LCMAP_LINGUISTIC_CASING;
  const int in = static_cast<int>(text.size());
  const int size = LCMapStringEx(LOCALE_NAME_USER_DEFAULT, flags, text.c_str(),
                                 in, nullptr, 0, nullptr, nullptr, 0);
  if (size <= 0) throw win32::LastErrorFailure(L"upper-case a text");
  Text upper(size, L'\0');
  LCMapStringEx(LOCALE_NAME_USER_DEFAULT, flags, text.c_str(), in,
                upper.data(), size, nullptr, nullptr, 0);
  return upper;
}

LocalTime Win32Platform::Now() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  // The bias is minutes to add to local time to get UTC, with the daylight
  // or standard bias that is in force now.
  TIME_ZONE_INFORMATION zone;
  LONG bias = 0;
  switch (GetTimeZoneInformation(&zone)) {
    case TIME_ZONE_ID_DAYLIGHT: bias = zone.Bias + zone.DaylightBias; break;
    case TIME_ZONE_ID_STANDARD: bias = zone.Bias + zone.StandardBias; break;
    case TIME_ZONE_ID_UNKNOWN: bias = zone.Bias; break;
    default: break;
  }
  return {now.wYear,   now.wMonth,  now.wDay,          now.wHour,
          now.wMinute, now.wSecond, now.wMilliseconds, static_cast<int>(-bias)};
}

void Win32Platform::Sleep(std::chrono::milliseconds duration) {
  const auto ms = std::clamp<std::chrono::milliseconds::rep>(
      duration.count(), 0, INFINITE - 1);
  ::Sleep(static_cast<DWORD>(ms));
}

Text Win32Platform::ProgramFolder() { return win32::ProgramFolder(); }

Text Win32Platform::ArgumentText() { return win32::ArgumentText(); }

}  // namespace quarrow
