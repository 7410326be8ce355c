// Loaded into quarrow with LD_PRELOAD by the interrupted-job tests: appends
// one line per rename, folder fsync and program start to the file that
// QUARROW_ORDER_LOG names ("<pid> rename <new name>", "<pid> sync-folder",
// "<pid> start"), so a test can see the order in which they reach the
// system.
#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void Log(const char* what, const char* name) {
  const char* path = getenv("QUARROW_ORDER_LOG");
  if (path == nullptr) return;
  char line[4096];
  const int n = snprintf(line, sizeof line, "%d %s%s%s\n", static_cast<int>(getpid()), what,
                         name ? " " : "", name ? name : "");
  const int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return;
  if (write(fd, line, n > 0 && n < static_cast<int>(sizeof line) ? n : 0) < 0) {
  }
  close(fd);
}

template <typename F>
F Real(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" int renameat2(int olddirfd, const char* from, int newdirfd, const char* to,
                         unsigned flags) {
  using Fn = int (*)(int, const char*, int, const char*, unsigned);
  static Fn real = Real<Fn>("renameat2");
  const int result = real(olddirfd, from, newdirfd, to, flags);
  if (result == 0) Log("rename", to);
  return result;
}

extern "C" int rename(const char* from, const char* to) {
  using Fn = int (*)(const char*, const char*);
  static Fn real = Real<Fn>("rename");
  const int result = real(from, to);
  if (result == 0) Log("rename", to);
  return result;
}

extern "C" int fsync(int fd) {
  using Fn = int (*)(int);
  static Fn real = Real<Fn>("fsync");
  const int result = real(fd);
  struct stat info;
  if (result == 0 && fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) Log("sync-folder", nullptr);
  return result;
}

extern "C" int posix_spawn(pid_t* pid, const char* path, const posix_spawn_file_actions_t* actions,
                           const posix_spawnattr_t* attributes, char* const argv[],
                           char* const envp[]) {
  using Fn = int (*)(pid_t*, const char*, const posix_spawn_file_actions_t*,
                     const posix_spawnattr_t*, char* const[], char* const[]);
  static Fn real = Real<Fn>("posix_spawn");
  Log("start", nullptr);
  return real(pid, path, actions, attributes, argv, envp);
}
