#include "platform/posix/FolderLockFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Failure.h"
#include "platform/posix/CaseInsensitiveNames.h"
#include "platform/posix/SystemError.h"

namespace quarrow::posix {

const char kFolderLockName[] = ".quarrow.lock";
const char kFolderLockVariable[] = "QUARROW_FOLDER_LOCK";

bool FolderLockFile::TryLock(const std::string& folder) {
  Release();
  const std::string path = JoinPath(folder, kFolderLockName);
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW,
                        0600);
  if (fd < 0)
    throw Failure(FromUtf8("Cannot open the lock file '" + path + "': ") +
                  SystemError(errno));
  int result;
  while ((result = ::flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
  }
  if (result == 0) {
    fd_ = fd;
    return true;
  }
  const int error = errno;
  ::close(fd);
  if (error == EWOULDBLOCK) return false;
  throw Failure(FromUtf8("Cannot lock '" + path + "': ") + SystemError(error));
}

void FolderLockFile::Release() {
  if (fd_ < 0) return;
  // Closing lets go; a tool run that still holds an inherited copy keeps
  // the folder locked until it ends.
  ::close(fd_);
  fd_ = -1;
}

}  // namespace quarrow::posix
