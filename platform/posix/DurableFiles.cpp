#include "platform/posix/DurableFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/SystemError.h"
#include "platform/posix/CaseInsensitiveNames.h"

namespace quarrow::posix {

namespace {

Failure Failed(const std::string& what, const std::string& path) {
  return Failure(FromUtf8("Cannot " + what + " '" + path + "': ") +
                 SystemError(errno));
}

void WriteAll(int fd, const std::string& bytes, const std::string& path) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw Failed("write", path);
    done += static_cast<size_t>(n);
  }
}

}  // namespace

void SyncFolderAt(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) throw Failed("open the folder", folder);
  const int result = ::fsync(fd);
  const int error = errno;
  ::close(fd);
  errno = error;
  // A file system that cannot sync folders (EINVAL) keeps nothing to sync.
  if (result != 0 && errno != EINVAL) throw Failed("sync the folder", folder);
}

void WriteWhole(const std::string& folder, const std::string& name,
                const std::string& bytes) {
  const std::string path = JoinPath(folder, name);
  const std::string temporary = path + ".new";
  const int fd = ::open(temporary.c_str(),
                        O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW,
                        0600);
  if (fd < 0) throw Failed("write", temporary);
  try {
    WriteAll(fd, bytes, temporary);
    if (::fsync(fd) != 0) throw Failed("sync", temporary);
  } catch (...) {
    ::close(fd);
    ::unlink(temporary.c_str());
    throw;
  }
  if (::close(fd) != 0) throw Failed("write", temporary);
  if (::rename(temporary.c_str(), path.c_str()) != 0)
    throw Failed("rename to", path);
  SyncFolderAt(folder);
}

std::optional<std::string> ReadSmall(const std::string& folder,
                                     const std::string& name, size_t limit) {
  const std::string path = JoinPath(folder, name);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) {
    if (errno == ENOENT) return std::nullopt;
    throw Failed("read", path);
  }
  std::string bytes;
  char buffer[4096];
  while (bytes.size() <= limit) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const Failure failure = Failed("read", path);
      ::close(fd);
      throw failure;
    }
    if (n == 0) break;
    bytes.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  if (bytes.size() > limit) bytes.resize(limit);
  return bytes;
}

void RemoveIfThere(const std::string& folder, const std::string& name) {
  const std::string path = JoinPath(folder, name);
  if (::unlink(path.c_str()) != 0 && errno != ENOENT)
    throw Failed("delete", path);
}

}  // namespace quarrow::posix
