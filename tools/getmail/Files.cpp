#include "tools/getmail/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "tools/getmail/Errors.h"

namespace getmail {
namespace {

std::string SystemError() { return std::strerror(errno); }

}  // namespace

void WriteFileAtomically(const std::string& name, std::string_view data,
                         bool sync) {
  static unsigned counter = 0;
  std::string temp = ".getmail-" + std::to_string(getpid()) + "-" +
                     std::to_string(++counter) + ".part";
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    throw Error("cannot create a file in the current folder for " + name +
                ": " + SystemError());
  }
  auto fail = [&](const std::string& what) {
    std::string reason = SystemError();
    close(fd);
    unlink(temp.c_str());
    throw Error("cannot " + what + " " + name + ": " + reason);
  };
  const char* p = data.data();
  std::size_t left = data.size();
  while (left > 0) {
    ssize_t n = write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail("write");
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  if (sync && fsync(fd) != 0) fail("flush to disk");
  if (close(fd) != 0) {
    std::string reason = SystemError();
    unlink(temp.c_str());
    throw Error("cannot write " + name + ": " + reason);
  }
  if (rename(temp.c_str(), name.c_str()) != 0) {
    std::string reason = SystemError();
    unlink(temp.c_str());
    throw Error("cannot save " + name + ": " + reason);
  }
}

void SyncCurrentFolder() {
  int fd = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0 || fsync(fd) != 0) {
    std::string reason = SystemError();
    if (fd >= 0) close(fd);
    throw Error("cannot flush the current folder to disk: " + reason);
  }
  close(fd);
}

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  return strncasecmp(a.data(), b.data(), a.size()) == 0;
}

void RemoveCaseVariants(const std::string& name) {
  DIR* dir = opendir(".");
  if (dir == nullptr) {
    throw Error("cannot list the current folder: " + SystemError());
  }
  std::string failed;
  while (dirent* entry = readdir(dir)) {
    std::string other = entry->d_name;
    if (other != name && SameNameIgnoringCase(other, name)) {
      if (unlink(other.c_str()) != 0) failed = other + ": " + SystemError();
    }
  }
  closedir(dir);
  if (!failed.empty()) throw Error("cannot remove " + failed);
}

std::vector<std::string> NamesInCurrentFolder() {
  DIR* dir = opendir(".");
  if (dir == nullptr) {
    throw Error("cannot list the current folder: " + SystemError());
  }
  std::vector<std::string> names;
  while (dirent* entry = readdir(dir)) names.push_back(entry->d_name);
  closedir(dir);
  return names;
}

void RemoveIfPresent(const std::string& name) {
  if (unlink(name.c_str()) != 0 && errno != ENOENT) {
    throw Error("cannot remove " + name + ": " + SystemError());
  }
}

}  // namespace getmail
