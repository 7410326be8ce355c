// The folder lock on POSIX systems: flock on ".quarrow.lock".
#include "tools/getmail/FolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/getmail/Errors.h"

namespace getmail {
namespace {

// The descriptor that kFolderLockVariable names, if it is a decimal number.
int NamedDescriptor() {
  const char* text = std::getenv(kFolderLockVariable);
  if (text == nullptr || *text == '\0' || std::strlen(text) > 9) return -1;
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9') return -1;
  }
  return std::atoi(text);
}

// Whether the job that started this run holds the lock of this folder and
// handed it down as `fd`: the same file as the lock file here, and locked by
// the job. flock on the job's own open file is no change where it holds the
// lock, and fails where another process does.
bool JobHoldsLock(int fd) {
  struct stat held, here;
  if (fd < 0 || fstat(fd, &held) != 0 || stat(kFolderLockFileName, &here) != 0) return false;
  if (held.st_dev != here.st_dev || held.st_ino != here.st_ino) return false;
  int locked;
  do {
    locked = flock(fd, LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  return locked == 0;
}

}  // namespace

FolderLock::FolderLock() {
  const int inherited = NamedDescriptor();
  if (JobHoldsLock(inherited)) {
    // Not handed on to programs this run starts (the token command), which
    // could outlive it and keep the folder locked.
    fcntl(inherited, F_SETFD, fcntl(inherited, F_GETFD) | FD_CLOEXEC);
    return;
  }
  // O_NOFOLLOW: a link planted under the name never makes a file elsewhere.
  int fd = open(kFolderLockFileName, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  struct stat info;
  if (fd < 0 || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    std::string reason = fd < 0 ? std::strerror(errno) : "it is not a plain file";
    if (fd >= 0) close(fd);
    throw Error(std::string("cannot open the folder's lock file ") + kFolderLockFileName + ": " +
                reason);
  }
  int locked;
  do {
    locked = flock(fd, LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0) {
    const int error = errno;
    close(fd);
    if (error == EWOULDBLOCK) throw Error(kFolderBusyText);
    throw Error(std::string("cannot lock ") + kFolderLockFileName + ": " + std::strerror(error));
  }
  own_ = fd;
}

FolderLock::~FolderLock() {
  if (own_ >= 0) close(static_cast<int>(own_));
}

}  // namespace getmail
