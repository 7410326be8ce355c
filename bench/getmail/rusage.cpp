// Runs a command and measures it as the benchmark reports it:
//   getmail_rusage COMMAND [ARGUMENT...]
// Prints "SECONDS MAX-RSS-KB" (wall time from start to end, and the peak
// resident set size getrusage gives for that process) and ends with the
// command's status. Its output goes where this program's goes.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: getmail_rusage COMMAND [ARGUMENT...]\n");
    return 2;
  }
  auto started = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid < 0) return 1;
  if (pid == 0) {
    execvp(argv[1], argv + 1);
    std::perror(argv[1]);
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) return 1;
  double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::printf("%.4f %ld\n", seconds, usage.ru_maxrss);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
