// Loaded into getmail with LD_PRELOAD by the hostile-server tests: of the
// flushes of plain files to disk (fsync and fdatasync), the one counted by
// FAIL_FILE_SYNC_AT (1 for the first) fails with EIO, as on a failing disk;
// every other flush, and every flush of a folder, works as ever.
#include <dlfcn.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

namespace {

std::atomic<long> fileSyncs{0};

// Whether this flush of `fd` is the one to fail.
bool FailThisOne(int fd) {
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return false;
  const char* at = std::getenv("FAIL_FILE_SYNC_AT");
  const long count = ++fileSyncs;
  return at != nullptr && count == std::atol(at);
}

// The flush by the system's call `name`, unless it is the one to fail.
int Flush(int fd, const char* name) {
  if (FailThisOne(fd)) {
    errno = EIO;
    return -1;
  }
  using Function = int (*)(int);
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name))(fd);
}

}  // namespace

extern "C" int fsync(int fd) { return Flush(fd, "fsync"); }
extern "C" int fdatasync(int fd) { return Flush(fd, "fdatasync"); }
