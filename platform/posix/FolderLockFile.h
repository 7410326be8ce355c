// The lock that lets one job at a time work in a mail folder: an flock on
// the hidden file ".quarrow.lock" there, which the system lets go when the
// last process holding it ends, however it ends. The mail tool's runs work
// under it: they inherit the descriptor, whose number QUARROW_FOLDER_LOCK
// tells them.
#pragma once

#include <string>

namespace quarrow::posix {

class FolderLockFile {
 public:
  FolderLockFile() = default;
  ~FolderLockFile() { Release(); }
  FolderLockFile(const FolderLockFile&) = delete;
  FolderLockFile& operator=(const FolderLockFile&) = delete;

  // Takes the lock of `folder` without waiting; false when another process
  // holds it. Throws Failure when the lock file cannot be opened.
  bool TryLock(const std::string& folder);
  void Release();
  // The descriptor that holds the lock, or -1.
  int descriptor() const { return fd_; }

 private:
  int fd_ = -1;
};

// The lock file's name in the mail folder; never deleted, so every job
// locks the same file.
extern const char kFolderLockName[];
// The environment variable that hands the lock down to a tool run.
extern const char kFolderLockVariable[];

}  // namespace quarrow::posix
