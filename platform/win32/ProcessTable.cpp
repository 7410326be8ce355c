#include "platform/win32/ProcessTable.h"

#include <windows.h>

#include <string>
#include <vector>

#include "platform/win32/SystemMessage.h"

namespace quarrow::win32 {

namespace {

WORD ShowState(int windowStyle) {
  return windowStyle == window_style::kMinimizedNoActivate
             ? SW_SHOWMINNOACTIVE
             : SW_SHOWNORMAL;
}

// Hands the folder lock's handle to one start, and to nothing else: the
// handle is inheritable only meanwhile, and the attribute list names it as
// the one handle to inherit.
class LockHandOver {
 public:
  explicit LockHandOver(HANDLE lock) : lock_(lock) {
    if (lock_ == nullptr) {
      SetEnvironmentVariableW(L"QUARROW_FOLDER_LOCK", nullptr);
      return;
    }
    SetHandleInformation(lock_, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    SetEnvironmentVariableW(
        L"QUARROW_FOLDER_LOCK",
        std::to_wstring(reinterpret_cast<ULONG_PTR>(lock_)).c_str());
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    buffer_.resize(size);
    list_ = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer_.data());
    if (!InitializeProcThreadAttributeList(list_, 1, 0, &size) ||
        !UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                   &lock_, sizeof lock_, nullptr, nullptr)) {
      // Without the list the lock is still handed down, among any other
      // inheritable handles.
      list_ = nullptr;
    }
  }
  ~LockHandOver() {
    if (list_ != nullptr) DeleteProcThreadAttributeList(list_);
    if (lock_ != nullptr) {
      SetHandleInformation(lock_, HANDLE_FLAG_INHERIT, 0);
      SetEnvironmentVariableW(L"QUARROW_FOLDER_LOCK", nullptr);
    }
  }
  bool inherits() const { return lock_ != nullptr; }
  LPPROC_THREAD_ATTRIBUTE_LIST list() const { return list_; }

 private:
  HANDLE lock_;
  std::vector<char> buffer_;
  LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

}  // namespace

ProcessTable::~ProcessTable() {
  for (const auto& entry : handles_) CloseHandle(entry.second);
}

ProcessId ProcessTable::Start(const Text& program, const Text& commandLine,
                              int windowStyle, void* lock) {
  const LockHandOver handOver(static_cast<HANDLE>(lock));
  STARTUPINFOEXW extended{};
  STARTUPINFOW& startup = extended.StartupInfo;
  startup.cb = sizeof startup;
  DWORD flags = 0;
  if (handOver.list() != nullptr) {
    startup.cb = sizeof extended;
    extended.lpAttributeList = handOver.list();
    flags |= EXTENDED_STARTUPINFO_PRESENT;
  }
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = ShowState(windowStyle);
  PROCESS_INFORMATION process{};
  // The program is named by its path, so Windows never looks for one in
  // the unquoted text, where "D:\\Mail Tools\\getmail.exe" would first try
  // "D:\\Mail.exe". The text goes over unchanged; the call may write into
  // its copy.
  Text writable = commandLine;
  if (!CreateProcessW(program.c_str(), writable.data(), nullptr, nullptr,
                      handOver.inherits() ? TRUE : FALSE, flags, nullptr,
                      nullptr, &startup, &process))
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
