// The stop watch on POSIX systems: SIGTERM, SIGINT and SIGHUP. The handler
// only writes the signal's number to a pipe; a thread of its own reads it
// and does the rest, outside the handler.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <thread>

#include "tools/getmail/Stopping.h"

namespace getmail {
namespace {

int pipeEnds[2] = {-1, -1};

extern "C" void OnSignal(int number) {
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(number);
  // Never blocks: the write end is non-blocking, and one byte is enough.
  [[maybe_unused]] ssize_t ignored = write(pipeEnds[1], &byte, 1);
  errno = saved;
}

void Watch() {
  for (;;) {
    unsigned char number = 0;
    ssize_t n = read(pipeEnds[0], &number, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n != 1) return;
    const char* name = number == SIGTERM ? "SIGTERM" : number == SIGINT ? "SIGINT" : "SIGHUP";
    StopRequested(std::string("asked to stop (") + name + ")");
  }
}

}  // namespace

void WatchForStop() {
  if (pipe2(pipeEnds, O_CLOEXEC) != 0) return;  // then a signal ends the run as it would
  fcntl(pipeEnds[1], F_SETFL, fcntl(pipeEnds[1], F_GETFL) | O_NONBLOCK);
  std::thread(Watch).detach();
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  // Calls in progress go on; those that cannot (poll) are retried where made.
  action.sa_flags = SA_RESTART;
  for (int number : {SIGTERM, SIGINT, SIGHUP}) {
    // A signal the caller has us ignore (nohup, a background job) stays
    // ignored.
    struct sigaction before;
    if (sigaction(number, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
    sigaction(number, &action, nullptr);
  }
}

void EndProcessNow(int status) { _exit(status); }

}  // namespace getmail
