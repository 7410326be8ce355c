// The job's own files in the mail folder on Windows: its hidden records,
// written whole or not at all, the folder's flush, and the lock that lets
// one job at a time work there. Also the stop request of the console and
// the session, which the other thread of a console event sets.
#pragma once

#include <optional>
#include <string>

#include "platform/Platform.h"

namespace quarrow::win32 {

// Flushes the current folder, so the renames and removals in it are on disk.
void FlushCurrentFolder();
void WriteHiddenWhole(const Text& name, const std::string& bytes);
std::optional<std::string> ReadSmallFile(const Text& name, size_t limit);
void RemoveIfThere(const Text& name);

// ".quarrow.lock" in the current folder, hidden, locked on its first byte
// with LockFileEx; the system lets go when the handle's last holder ends.
class FolderLockHandle {
 public:
  FolderLockHandle() = default;
  ~FolderLockHandle() { Release(); }
  FolderLockHandle(const FolderLockHandle&) = delete;
  FolderLockHandle& operator=(const FolderLockHandle&) = delete;
  bool TryLock();
  void Release();
  // The handle that holds the lock, or nullptr.
  void* handle() const { return handle_; }

 private:
  void* handle_ = nullptr;
};

// Console Ctrl+C, Ctrl+Break, closing, logoff and shutdown, and the
// window's end of session, all ask the program to stop.
void InstallConsoleStopHandler();
void RequestStop();
bool StopWasRequested();
// The job has stopped (or ended): a console event waiting to let the
// system end the process may return.
void JobStopped();
// Waits up to `milliseconds` for that.
void WaitForJobToStop(unsigned long milliseconds);

}  // namespace quarrow::win32
