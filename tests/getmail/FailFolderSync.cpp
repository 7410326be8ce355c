// Loaded into getmail with LD_PRELOAD by the tool tests: flushing a folder
// to disk (fsync on a directory) fails with EIO, as on a failing disk;
// flushing a file works as ever.
#include <dlfcn.h>
#include <sys/stat.h>

#include <cerrno>

extern "C" int fsync(int fd) {
  struct stat info;
  if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    errno = EIO;
    return -1;
  }
  using Fsync = int (*)(int);
  static Fsync real = reinterpret_cast<Fsync>(dlsym(RTLD_NEXT, "fsync"));
  return real(fd);
}
