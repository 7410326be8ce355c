// One Quarrow job at a time in a mail folder. A job holds an exclusive lock
// on the hidden file ".quarrow.lock" there for its whole run (flock on POSIX
// systems; LockFileEx on byte 0 on Windows; the file itself is never
// removed) and hands it down to the tool runs it starts: they inherit the
// descriptor (handle), whose number the environment variable
// QUARROW_FOLDER_LOCK gives. A tool run started by hand takes the lock
// itself, and one where another job holds it touches nothing.
#pragma once

#include <cstdint>

namespace getmail {

inline constexpr const char* kFolderLockFileName = ".quarrow.lock";
inline constexpr const char* kFolderLockVariable = "QUARROW_FOLDER_LOCK";

// The folder lock of the current folder, held or verified for the whole run
// (posix/FolderLock.cpp, win32/FolderLock.cpp).
class FolderLock {
 public:
  // Goes ahead under the job's lock where kFolderLockVariable names an open
  // descriptor (handle) of this folder's lock file; otherwise opens or
  // creates the lock file and takes the lock without waiting. Throws Error
  // (kFailed) when another process holds it, or the lock file cannot be
  // opened.
  FolderLock();
  // Lets go of a lock taken here; the job's lock stays the job's.
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  // Whether the run goes ahead under the lock of the job that started it.
  bool inherited() const { return own_ == -1; }

 private:
  std::intptr_t own_ = -1;  // the lock file opened here, as the system names it
};

// The text of the failure when another job holds the lock.
inline constexpr const char* kFolderBusyText =
    "another Quarrow job is working in this folder (it holds .quarrow.lock); "
    "nothing was done here";

}  // namespace getmail
