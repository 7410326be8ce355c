#include "platform/posix/ErrorRelay.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform/ToolMessage.h"
#include "platform/posix/SystemError.h"

namespace quarrow::posix {

namespace {

// How often a pipe that stays quiet is checked for a program that has ended
// while something it started still holds the pipe.
constexpr int kQuietCheckMs = 200;

void PassOn(const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(STDERR_FILENO, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // nowhere to pass it on: it is still kept
    data += n;
    size -= static_cast<size_t>(n);
  }
}

void Keep(std::string& tail, const char* data, size_t size) {
  tail.append(data, size);
  if (tail.size() > kToolOutputKept)
    tail.erase(0, tail.size() - kToolOutputKept);
}

bool HasEnded(pid_t pid) {
  siginfo_t info{};
  // WNOWAIT leaves the process to be reaped by the wait proper.
  const int result = ::waitid(P_PID, static_cast<id_t>(pid), &info,
                              WEXITED | WNOHANG | WNOWAIT);
  return result < 0 ? errno != EINTR : info.si_pid == pid;
}

}  // namespace

ErrorPipe::ErrorPipe() {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0)
    throw Failure(L"Cannot make a pipe for the tool's messages: " +
                  SystemError(errno));
  read_ = ends[0];
  write_ = ends[1];
}

ErrorPipe::ErrorPipe(ErrorPipe&& other) noexcept
    : read_(other.read_), write_(other.write_) {
  other.read_ = other.write_ = -1;
}

ErrorPipe::~ErrorPipe() {
  if (read_ >= 0) ::close(read_);
  CloseWriteEnd();
}

void ErrorPipe::CloseWriteEnd() {
  if (write_ >= 0) ::close(write_);
  write_ = -1;
}

std::string ErrorPipe::RelayUntilEnd(pid_t pid) {
  // A standard error that nobody reads any more must not end Quarrow in the
  // middle of a pass: the lines are then only kept.
  struct sigaction ignore {}, before {};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGPIPE, &ignore, &before);
  std::string tail;
  char buffer[4096];
  bool ended = false;
  // After the program's end, a pipe's worth at most: what something it
  // started goes on writing is passed on no longer.
  size_t afterEnd = 0;
  for (;;) {
    pollfd ready{read_, POLLIN, 0};
    const int polled = ::poll(&ready, 1, ended ? 0 : kQuietCheckMs);
    if (polled < 0 && errno == EINTR) continue;
    if (polled < 0) break;
    if (polled == 0) {
      // Quiet: once the program has ended, what it wrote is all here.
      if (ended) break;
      ended = HasEnded(pid);
      continue;
    }
    const ssize_t n = ::read(read_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    if (ended && (afterEnd += static_cast<size_t>(n)) > kToolOutputKept) break;
    PassOn(buffer, static_cast<size_t>(n));
    Keep(tail, buffer, static_cast<size_t>(n));
  }
  ::sigaction(SIGPIPE, &before, nullptr);
  return tail;
}

}  // namespace quarrow::posix
