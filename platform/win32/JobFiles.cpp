#include "platform/win32/JobFiles.h"

#include <windows.h>

#include <atomic>

#include "platform/win32/SystemMessage.h"

namespace quarrow::win32 {

namespace {

std::atomic<bool> stopRequested{false};
HANDLE jobStopped = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  stopRequested = true;
  switch (event) {
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      // The system ends the process once this returns: give the job a few
      // seconds to save the run in progress. The tool shares the console
      // and has the event too.
      WaitForJobToStop(4500);
      return TRUE;
    default:
      return TRUE;
  }
}

}  // namespace

void FlushCurrentFolder() {
  // A folder is flushed through a handle opened for writing with backup
  // semantics.
  const HANDLE folder = CreateFileW(
      L".", GENERIC_READ | GENERIC_WRITE,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (folder == INVALID_HANDLE_VALUE)
    throw LastErrorFailure(L"open the mail folder to flush it");
  const BOOL flushed = FlushFileBuffers(folder);
  const DWORD error = GetLastError();
  CloseHandle(folder);
  // Some file systems (network shares) cannot flush a folder; their
  // renames were written through already.
  if (!flushed && error != ERROR_INVALID_FUNCTION &&
      error != ERROR_ACCESS_DENIED)
    throw Failure(L"Cannot flush the mail folder: " + SystemMessage(error));
}

void WriteHiddenWhole(const Text& name, const std::string& bytes) {
  const Text temporary = name + L".new";
  const HANDLE file =
      CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                  FILE_ATTRIBUTE_HIDDEN, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    throw LastErrorFailure(L"write " + Quoted(temporary));
  DWORD written = 0;
  const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()),
                            &written, nullptr) &&
                  written == bytes.size() && FlushFileBuffers(file);
  const DWORD error = GetLastError();
  CloseHandle(file);
  if (!ok) {
    DeleteFileW(temporary.c_str());
    throw Failure(L"Cannot write " + Quoted(temporary) + L": " +
                  SystemMessage(error));
  }
  if (!MoveFileExW(temporary.c_str(), name.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    throw LastErrorFailure(L"rename " + Quoted(temporary));
}

std::optional<std::string> ReadSmallFile(const Text& name, size_t limit) {
  const HANDLE file =
      CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return std::nullopt;
    throw Failure(L"Cannot read " + Quoted(name) + L": " +
                  SystemMessage(error));
  }
  std::string bytes(limit, '\0');
  DWORD read = 0;
  const BOOL ok =
      ReadFile(file, bytes.data(), static_cast<DWORD>(limit), &read, nullptr);
  CloseHandle(file);
  if (!ok) throw LastErrorFailure(L"read " + Quoted(name));
  bytes.resize(read);
  return bytes;
}

void RemoveIfThere(const Text& name) {
  if (!DeleteFileW(name.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
    throw LastErrorFailure(L"delete " + Quoted(name));
}

bool FolderLockHandle::TryLock() {
  Release();
  const HANDLE file = CreateFileW(
      L".quarrow.lock", GENERIC_READ | GENERIC_WRITE,
      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
      FILE_ATTRIBUTE_HIDDEN, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    throw LastErrorFailure(L"open the lock file '.quarrow.lock'");
  OVERLAPPED at{};
  if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                 1, 0, &at)) {
    handle_ = file;
    return true;
  }
  const DWORD error = GetLastError();
  CloseHandle(file);
  if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) return false;
  throw Failure(L"Cannot lock '.quarrow.lock': " + SystemMessage(error));
}

void FolderLockHandle::Release() {
  if (handle_ == nullptr) return;
  CloseHandle(handle_);
  handle_ = nullptr;
}

void InstallConsoleStopHandler() {
  if (jobStopped == nullptr)
    jobStopped = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

void RequestStop() { stopRequested = true; }

bool StopWasRequested() { return stopRequested; }

void WaitForJobToStop(unsigned long milliseconds) {
  if (jobStopped != nullptr) WaitForSingleObject(jobStopped, milliseconds);
}

void JobStopped() {
  if (jobStopped != nullptr) SetEvent(jobStopped);
}

}  // namespace quarrow::win32
