// The loopback redirect listener on POSIX sockets, and the browser through
// $BROWSER or xdg-open.
#include "tools/getmail/LoopbackRedirect.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "tools/getmail/Errors.h"
#include "tools/getmail/OAuthRedirect.h"

extern char** environ;

namespace getmail {
namespace {

using Clock = std::chrono::steady_clock;

std::string SystemError() { return std::strerror(errno); }

int MillisecondsLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() <= 0 ? 0 : static_cast<int>(std::min<long long>(left.count(), 60000));
}

// Waits for `fd` to be readable until `deadline`: false when it passes.
bool WaitReadable(int fd, Clock::time_point deadline) {
  for (;;) {
    const int wait = MillisecondsLeft(deadline);
    if (wait == 0) return false;
    pollfd entry{fd, POLLIN, 0};
    int n = poll(&entry, 1, wait);
    if (n > 0) return true;
    if (n < 0 && errno != EINTR) throw Error("cannot wait for the browser: " + SystemError());
  }
}

}  // namespace

LoopbackListener::LoopbackListener() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw Error("cannot listen for the browser: " + SystemError());
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t size = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(fd, 8) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    std::string reason = SystemError();
    close(fd);
    throw Error("cannot listen for the browser on 127.0.0.1: " + reason);
  }
  listener_ = fd;
  port_ = ntohs(address.sin_port);
}

LoopbackListener::~LoopbackListener() {
  if (client_ >= 0) close(static_cast<int>(client_));
  if (listener_ >= 0) close(static_cast<int>(listener_));
}

std::string LoopbackListener::NextRequestLine(Clock::time_point deadline) {
  for (;;) {
    if (client_ >= 0) {
      close(static_cast<int>(client_));
      client_ = -1;
    }
    if (!WaitReadable(static_cast<int>(listener_), deadline)) {
      throw Error("the browser did not come back in time; nothing was kept");
    }
    int client = accept4(static_cast<int>(listener_), nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    client_ = client;
    // The head, up to its empty line; the request line is all that counts.
    std::string head;
    bool complete = false;
    while (head.size() < kRedirectRequestLimit && WaitReadable(client, deadline)) {
      char buffer[2048];
      ssize_t n = recv(client, buffer, std::min(sizeof buffer, kRedirectRequestLimit - head.size()), 0);
      if (n <= 0) break;
      head.append(buffer, static_cast<std::size_t>(n));
      if (head.find("\r\n\r\n") != std::string::npos || head.find("\n\n") != std::string::npos) {
        complete = true;
        break;
      }
    }
    if (!complete) continue;  // a connection that said nothing usable
    std::string line = head.substr(0, head.find_first_of("\r\n"));
    return line;
  }
}

void LoopbackListener::Answer(int status, const std::string& page) {
  if (client_ < 0) return;
  const std::string response = HttpAnswer(status, page);
  std::string_view rest = response;
  while (!rest.empty()) {
    ssize_t n = send(static_cast<int>(client_), rest.data(), rest.size(), MSG_NOSIGNAL);
    if (n <= 0) break;  // the browser has gone: nothing more to tell it
    rest.remove_prefix(static_cast<std::size_t>(n));
  }
  close(static_cast<int>(client_));
  client_ = -1;
}

void OpenBrowser(const std::string& url) {
  // $BROWSER names the user's browser (the first of a ":" list); else the
  // desktop's choice.
  std::string browser = "/usr/bin/xdg-open";
  if (const char* chosen = std::getenv("BROWSER"); chosen != nullptr && *chosen != '\0') {
    browser = std::string(chosen).substr(0, std::string(chosen).find(':'));
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  char* argv[] = {browser.data(), const_cast<char*>(url.c_str()), nullptr};
  pid_t pid;
  int failed = posix_spawnp(&pid, browser.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) {
    throw Error("cannot start the browser " + browser + ": " + std::strerror(failed));
  }
}

}  // namespace getmail
