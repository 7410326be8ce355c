#include "platform/win32/ProcessTable.h"

#include <windows.h>

#include "platform/win32/SystemMessage.h"

namespace quarrow::win32 {

namespace {

WORD ShowState(int windowStyle) {
  return windowStyle == window_style::kMinimizedNoActivate
             ? SW_SHOWMINNOACTIVE
             : SW_SHOWNORMAL;
}

}  // namespace

ProcessTable::~ProcessTable() {
  for (const auto& entry : handles_) CloseHandle(entry.second);
}

ProcessId ProcessTable::Start(const Text& program, const Text& commandLine,
                              int windowStyle) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = ShowState(windowStyle);
  PROCESS_INFORMATION process{};
  // The program is named by its path, so Windows never looks for one in
  // the unquoted text, where "D:\\Mail Tools\\getmail.exe" would first try
  // "D:\\Mail.exe". The text goes over unchanged; the call may write into
  // its copy.
  Text writable = commandLine;
  if (!CreateProcessW(program.c_str(), writable.data(), nullptr, nullptr,
                      FALSE, 0, nullptr, nullptr, &startup, &process))
    throw Failure(SystemMessage(GetLastError(), program));
  CloseHandle(process.hThread);
  const ProcessId id = process.dwProcessId;
  handles_[id] = process.hProcess;
  return id;
}

ProcessExit ProcessTable::Wait(ProcessId id) {
  ProcessExit exit;
  HANDLE process;
  const auto kept = handles_.find(id);
  const bool ours = kept != handles_.end();
  if (ours) {
    process = kept->second;
    handles_.erase(kept);
  } else {
    // Not one of ours: it may already be gone, which is not an error.
    process = OpenProcess(SYNCHRONIZE, FALSE, id);
    if (process == nullptr) return exit;
  }
  WaitForSingleObject(process, INFINITE);
  DWORD code = 0;
  if (ours && GetExitCodeProcess(process, &code)) {
    exit.known = true;
    exit.code = code;
  }
  CloseHandle(process);
  return exit;
}

}  // namespace quarrow::win32
