// The file layer on POSIX systems (Linux: renameat2 and getrandom).
#include "tools/getmail/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <gmime/gmime.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/getmail/Errors.h"
#include "tools/getmail/Stopping.h"

namespace getmail {
namespace {

std::string SystemError() { return std::strerror(errno); }

// 12 characters of [a-z0-9] from the system's random source: 62 bits that no
// one can guess to plant a link under the name beforehand. Lower case only,
// so that the names differ on folders that ignore case too.
std::string RandomPart() {
  static const char kDigits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char bytes[12];
  std::size_t got = 0;
  while (got < sizeof bytes) {
    ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw Error("cannot make a name for a temporary file: " + SystemError());
    }
    got += static_cast<std::size_t>(n);
  }
  std::string part;
  for (unsigned char byte : bytes) part += kDigits[byte % 36];
  return part;
}

int Descriptor(std::intptr_t handle) { return static_cast<int>(handle); }

// The process's umask. Linux tells it without changing it; elsewhere it is
// read once by setting it, to 077 for that moment, so that a file the
// parsing thread creates meanwhile is never more open than asked.
mode_t Umask() {
  FILE* status = std::fopen("/proc/self/status", "re");
  if (status != nullptr) {
    char line[256];
    unsigned int mask = 0;
    bool found = false;
    while (!found && std::fgets(line, sizeof line, status) != nullptr) {
      found = std::sscanf(line, "Umask: %o", &mask) == 1;
    }
    std::fclose(status);
    if (found) return static_cast<mode_t>(mask & 0777);
  }
  static const mode_t mask = [] {
    mode_t m = umask(077);
    umask(m);
    return m;
  }();
  return mask;
}

}  // namespace

// Quarrow reads text files in the locale's character set, UTF-8 as a rule.
std::string_view TextFileMark() { return {}; }

TempFile::TempFile(std::string purpose, Readers readers)
    : purpose_(std::move(purpose)), readers_(readers) {
  // O_EXCL: a name that exists, a planted link included, is never opened;
  // O_NOFOLLOW says the same once more.
  for (int attempt = 0; attempt < 100; ++attempt) {
    name_ = ".getmail-" + RandomPart() + ".part";
    int fd = -1;
    int error = 0;
    if (CreateNotedTempFile(name_, [&] {
          fd = open(name_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
          error = errno;
          return fd >= 0;
        })) {
      handle_ = fd;
      return;
    }
    errno = error;
    if (error != EEXIST) break;
  }
  throw Error("cannot create a file in the current folder for " + purpose_ + ": " +
              SystemError());
}

TempFile::~TempFile() {
  if (handle_ >= 0) close(Descriptor(handle_));
  if (!placed_) unlink(name_.c_str());
  ForgetTempFile(name_);
}

void TempFile::WriteOut(std::string_view data) {
  // pwrite: the file position is the read stream's alone (a copy of the
  // descriptor shares it).
  const std::uint64_t start = written_;
  std::size_t done = 0;
  while (done < data.size()) {
    ssize_t n = pwrite(Descriptor(handle_), data.data() + done, data.size() - done,
                       static_cast<off_t>(start + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      throw Error("cannot write " + purpose_ + ": " + SystemError());
    }
    done += static_cast<std::size_t>(n);
  }
  written_ = start + done;
#ifdef __linux__
  // Large files go to disk while they are written, not all at the flush
  // before DELE: each 8 MB written is handed to the disk at once.
  constexpr std::uint64_t kBlock = 8 * 1024 * 1024;
  std::uint64_t from = start / kBlock * kBlock;
  std::uint64_t to = written_ / kBlock * kBlock;
  if (to > from) {
    sync_file_range(Descriptor(handle_), static_cast<off64_t>(from),
                    static_cast<off64_t>(to - from), SYNC_FILE_RANGE_WRITE);
  }
#endif
}

GMimeStream* TempFile::ReadStream() {
  Drain();
  int copy = fcntl(Descriptor(handle_), F_DUPFD_CLOEXEC, 0);
  if (copy < 0) throw Error("cannot read " + purpose_ + " back: " + SystemError());
  // The stream seeks to its own position before every read, so the shared
  // file position does not matter.
  return g_mime_stream_fs_new_with_bounds(copy, 0, -1);
}

void TempFile::Close(bool toDisk) {
  if (handle_ < 0) return;
  Drain();
  int fd = Descriptor(handle_);
  handle_ = -1;
  // Complete: readable by those the umask allows, like any new file.
  if (readers_ == Readers::kAsUmaskAllows && fchmod(fd, 0666 & ~Umask()) != 0) {
    std::string reason = SystemError();
    close(fd);
    throw Error("cannot write " + purpose_ + ": " + reason);
  }
  if (toDisk && fsync(fd) != 0) {
    std::string reason = SystemError();
    close(fd);
    throw Error("cannot flush " + purpose_ + " to disk: " + reason);
  }
  if (close(fd) != 0) throw Error("cannot write " + purpose_ + ": " + SystemError());
}

bool TempFile::PutInPlace(const std::string& name) {
  // RENAME_NOREPLACE: the kernel checks and renames in one step, and a link
  // of that name counts as taken.
  if (renameat2(AT_FDCWD, name_.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE) == 0) {
    placed_ = true;
    return true;
  }
  if (errno == EINVAL || errno == ENOSYS) {
    // A file system without RENAME_NOREPLACE: a hard link is never made
    // over an existing name either.
    if (link(name_.c_str(), name.c_str()) == 0) {
      placed_ = true;
      unlink(name_.c_str());
      return true;
    }
  }
  if (errno == EEXIST) return false;
  throw Error("cannot save " + name + ": " + SystemError());
}

void TempFile::ReplaceInPlace(const std::string& name) {
  // rename() replaces the entry `name`, whatever it is, and never follows it.
  if (rename(name_.c_str(), name.c_str()) != 0) {
    throw Error("cannot save " + name + ": " + SystemError());
  }
  placed_ = true;
}

std::vector<std::string> NamesInCurrentFolder() {
  DIR* dir = opendir(".");
  if (dir == nullptr) {
    throw Error("cannot list the current folder: " + SystemError());
  }
  std::vector<std::string> names;
  while (dirent* entry = readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
      names.emplace_back(entry->d_name);
    }
  }
  closedir(dir);
  return names;
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

void RemoveIfPresent(const std::string& name) {
  if (unlink(name.c_str()) != 0 && errno != ENOENT) {
    throw Error("cannot remove " + name + ": " + SystemError());
  }
}

}  // namespace getmail
