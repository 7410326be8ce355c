#include "tools/getmail/Console.h"

#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "tools/getmail/Errors.h"

namespace getmail {
namespace {

// Reads up to a line end or the end of input from `fd`, byte by byte, so
// that nothing after the line is taken from the terminal or pipe.
std::string ReadLine(int fd) {
  std::string line;
  for (;;) {
    char c;
    ssize_t n = read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw Error(std::string("cannot read the password: ") + std::strerror(errno));
    if (n == 0) {
      if (line.empty()) throw Error("no password was given");
      break;
    }
    if (c == '\n') break;
    if (line.size() >= kPasswordLimit) {
      throw Error("the password is longer than " + std::to_string(kPasswordLimit) + " bytes");
    }
    line += c;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace

std::string ReadHiddenLine(const std::string& prompt) {
  if (!isatty(STDIN_FILENO)) return ReadLine(STDIN_FILENO);
  std::fputs(prompt.c_str(), stderr);
  std::fflush(stderr);
  termios before;
  if (tcgetattr(STDIN_FILENO, &before) != 0) {
    throw Error(std::string("cannot turn off the terminal's echo: ") + std::strerror(errno));
  }
  termios quiet = before;
  quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  quiet.c_lflag |= ECHONL;
  // Ctrl-C while echo is off would leave the terminal without it: block the
  // signals that end a process from the keyboard until echo is back.
  sigset_t keyboard, old;
  sigemptyset(&keyboard);
  sigaddset(&keyboard, SIGINT);
  sigaddset(&keyboard, SIGQUIT);
  sigaddset(&keyboard, SIGTSTP);
  sigprocmask(SIG_BLOCK, &keyboard, &old);
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  std::string line;
  try {
    line = ReadLine(STDIN_FILENO);
  } catch (...) {
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &before);
    sigprocmask(SIG_SETMASK, &old, nullptr);
    throw;
  }
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &before);
  sigprocmask(SIG_SETMASK, &old, nullptr);
  return line;
}

void KeepSecretsInProcess() {
  // Not dumpable: no core file, and other processes of the same user cannot
  // attach to this one or read its memory.
  prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
}

}  // namespace getmail
