// The file store: one file per blob, mode 0600, in the folder quarrow under
// $XDG_STATE_HOME (by default ~/.local/state), mode 0700. Under cron and
// systemd there is no keyring to unlock, so a file that only its owner can
// open is what keeps a sign-in there. Its locks serve the Secret Service
// store too.
#include "tools/getmail/posix/FileSecretStore.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "tools/getmail/Errors.h"

namespace getmail {
namespace {

constexpr const char* kPrefix = "signin-";

std::string SystemError() { return std::strerror(errno); }

// $XDG_STATE_HOME when it is an absolute path (the base directory rules
// ignore a relative one), else ~/.local/state; empty when there is no home
// folder to go by.
std::string StateHomeIfAny() {
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state != nullptr && state[0] == '/') return state;
  const char* home = std::getenv("HOME");
  std::string base;
  if (home != nullptr && home[0] == '/') {
    base = home;
  } else if (const passwd* entry = getpwuid(geteuid())) {
    base = entry->pw_dir;
  }
  return base.empty() ? std::string() : base + "/.local/state";
}

std::string StateHome() {
  std::string home = StateHomeIfAny();
  if (home.empty()) throw Error("cannot find the home folder to keep sign-ins in");
  return home;
}

// Makes `path` and the folders above it that are missing, each mode 0700.
void MakeFolders(const std::string& path) {
  for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    std::string part = path.substr(0, slash);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      throw Error("cannot create the folder " + part + ": " + SystemError());
    }
    if (slash == std::string::npos) return;
  }
}

// Refuses a file or folder that is not this user's alone: another user who
// can read it has the secrets, and one who can write it can plant their own.
void CheckPrivate(const struct stat& info, const std::string& path, bool folder) {
  const bool rightType = folder ? S_ISDIR(info.st_mode) : S_ISREG(info.st_mode);
  if (!rightType) {
    throw Error(path + " is not a " + (folder ? "folder" : "file") +
                "; sign-ins are not kept there");
  }
  if (info.st_uid != geteuid()) {
    throw Error(path + " belongs to another user; sign-ins are not read from it "
                "or kept in it");
  }
  if ((info.st_mode & 077) != 0) {
    throw Error(path + " can be read or written by other users; sign-ins are not "
                "read from it or kept in it (make it yours alone: chmod " +
                (folder ? "700 " : "600 ") + path + ")");
  }
}

// The store's folder, opened after its owner and mode have been checked;
// -1 if it does not exist and `create` is false. Throws Error.
class StoreFolder {
 public:
  explicit StoreFolder(bool create) : path_(FileStoreLocation()) {
    if (create) MakeFolders(path_);
    fd_ = open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd_ < 0) {
      if (errno == ENOENT && !create) return;
      throw Error("cannot open the folder " + path_ + ": " + SystemError());
    }
    struct stat info;
    if (fstat(fd_, &info) != 0) {
      throw Error("cannot read the folder " + path_ + ": " + SystemError());
    }
    CheckPrivate(info, path_, true);
  }
  ~StoreFolder() {
    if (fd_ >= 0) close(fd_);
  }
  StoreFolder(const StoreFolder&) = delete;
  StoreFolder& operator=(const StoreFolder&) = delete;

  int fd() const { return fd_; }
  std::string PathOf(const std::string& name) const { return path_ + "/" + name; }

  void Sync() const {
    if (fsync(fd_) != 0) {
      throw Error("cannot flush the folder " + path_ + " to disk: " + SystemError());
    }
  }

 private:
  std::string path_;
  int fd_ = -1;
};

void WriteAll(int fd, std::string_view data, const std::string& path) {
  while (!data.empty()) {
    ssize_t n = write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      throw Error("cannot write " + path + ": " + SystemError());
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
}

}  // namespace

std::string FileStoreLocation() { return StateHome() + "/quarrow"; }

std::optional<std::string> ReadSecretFile(const std::string& key) {
  // A user without a home folder has kept nothing (and runs go on with -pw).
  if (StateHomeIfAny().empty()) return std::nullopt;
  StoreFolder folder(false);
  if (folder.fd() < 0) return std::nullopt;
  const std::string name = kPrefix + key;
  const std::string path = folder.PathOf(name);
  int fd = openat(folder.fd(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return std::nullopt;
    throw Error("cannot open " + path + ": " + SystemError());
  }
  std::string data;
  try {
    struct stat info;
    if (fstat(fd, &info) != 0) throw Error("cannot read " + path + ": " + SystemError());
    CheckPrivate(info, path, false);
    char buffer[4096];
    for (;;) {
      ssize_t n = read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) throw Error("cannot read " + path + ": " + SystemError());
      if (n == 0) break;
      data.append(buffer, static_cast<std::size_t>(n));
      if (data.size() > kSecretLimit) throw Error(path + " is too long to be a sign-in");
    }
  } catch (...) {
    close(fd);
    throw;
  }
  close(fd);
  return data;
}

void WriteSecretFile(const std::string& key, std::string_view data) {
  StoreFolder folder(true);
  const std::string name = kPrefix + key;
  // Hidden, so that a listing never takes it for a sign-in. The folder is
  // this user's alone, so nobody else can have put anything under the name.
  const std::string temp = "." + name + "." + std::to_string(getpid()) + ".tmp";
  unlinkat(folder.fd(), temp.c_str(), 0);
  int fd = openat(folder.fd(), temp.c_str(),
                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    throw Error("cannot create a file in " + FileStoreLocation() + ": " + SystemError());
  }
  try {
    WriteAll(fd, data, folder.PathOf(temp));
    if (fsync(fd) != 0) {
      throw Error("cannot flush " + folder.PathOf(temp) + " to disk: " + SystemError());
    }
  } catch (...) {
    close(fd);
    unlinkat(folder.fd(), temp.c_str(), 0);
    throw;
  }
  close(fd);
  if (renameat(folder.fd(), temp.c_str(), folder.fd(), name.c_str()) != 0) {
    std::string reason = SystemError();
    unlinkat(folder.fd(), temp.c_str(), 0);
    throw Error("cannot save " + folder.PathOf(name) + ": " + reason);
  }
  folder.Sync();
}

bool RemoveSecretFile(const std::string& key) {
  StoreFolder folder(false);
  if (folder.fd() < 0) return false;
  const std::string name = kPrefix + key;
  if (unlinkat(folder.fd(), name.c_str(), 0) != 0) {
    if (errno == ENOENT) return false;
    throw Error("cannot remove " + folder.PathOf(name) + ": " + SystemError());
  }
  folder.Sync();
  return true;
}

SecretLock::SecretLock(const std::string& key, std::chrono::milliseconds timeout) {
  StoreFolder folder(true);
  // A hidden file beside the blob: never listed, never read.
  const std::string name = ".lock-" + key;
  int fd = openat(folder.fd(), name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) throw Error("cannot lock " + folder.PathOf(name) + ": " + SystemError());
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if ((errno != EWOULDBLOCK && errno != EINTR) ||
        std::chrono::steady_clock::now() > deadline) {
      close(fd);
      throw Error("another run holds the sign-in " + folder.PathOf(kPrefix + key) +
                  " for longer than the time-out");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  handle_ = fd;
}

SecretLock::~SecretLock() {
  if (handle_ >= 0) close(static_cast<int>(handle_));  // releases the lock
}

std::vector<std::string> SecretFileKeys() {
  std::vector<std::string> keys;
  if (StateHomeIfAny().empty()) return keys;
  StoreFolder folder(false);
  if (folder.fd() < 0) return keys;
  int copy = fcntl(folder.fd(), F_DUPFD_CLOEXEC, 0);
  DIR* dir = copy < 0 ? nullptr : fdopendir(copy);
  if (dir == nullptr) {
    if (copy >= 0) close(copy);
    throw Error("cannot list " + FileStoreLocation() + ": " + SystemError());
  }
  const std::size_t prefix = std::strlen(kPrefix);
  while (const dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name.size() > prefix && name.compare(0, prefix, kPrefix) == 0) {
      keys.push_back(name.substr(prefix));
    }
  }
  closedir(dir);
  return keys;
}

}  // namespace getmail
