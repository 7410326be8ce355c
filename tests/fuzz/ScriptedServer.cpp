#include "ScriptedServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace fuzz {
namespace {

// No wait in a session lasts this long unless something is broken; a
// broken session must not hang the fuzzer.
constexpr int kGiveUpMs = 10000;

}  // namespace

ScriptedServer::ScriptedServer() {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      listen(listener_, 4) != 0 ||
      getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("the scripted server cannot listen");
  }
  port_ = ntohs(address.sin_port);
}

ScriptedServer::~ScriptedServer() {
  Finish();
  if (listener_ >= 0) close(listener_);
}

void ScriptedServer::Serve(std::string_view bytes) {
  Finish();
  bytes_.assign(bytes);
  thread_ = std::thread([this] { ServeOne(); });
}

void ScriptedServer::Finish() {
  if (thread_.joinable()) thread_.join();
}

void ScriptedServer::ServeOne() {
  pollfd waiting{listener_, POLLIN, 0};
  if (poll(&waiting, 1, kGiveUpMs) != 1) return;
  int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
  if (client < 0) return;
  // Close with a reset: thousands of sessions a second would otherwise
  // leave as many connections waiting in TIME_WAIT.
  linger reset{1, 0};
  setsockopt(client, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  std::size_t sent = 0;
  bool open = true;
  char dropped[4096];
  if (bytes_.empty()) shutdown(client, SHUT_WR);
  while (open) {
    short events = POLLIN | (sent < bytes_.size() ? POLLOUT : 0);
    pollfd p{client, events, 0};
    if (poll(&p, 1, kGiveUpMs) != 1) break;
    if (p.revents & (POLLIN | POLLHUP | POLLERR)) {
      long n = recv(client, dropped, sizeof dropped, 0);
      if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) open = false;
    }
    if (open && (p.revents & POLLOUT)) {
      long n = send(client, bytes_.data() + sent, bytes_.size() - sent, MSG_NOSIGNAL);
      if (n < 0 && errno != EINTR && errno != EAGAIN) break;
      if (n > 0) sent += static_cast<std::size_t>(n);
      if (sent == bytes_.size()) shutdown(client, SHUT_WR);
    }
  }
  close(client);
}

}  // namespace fuzz
