#include "Pop3Tap.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace harness {
namespace {

bool SendAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

int ListenOnLoopback(int& port, const std::string& address) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in where{};
  where.sin_family = AF_INET;
  inet_pton(AF_INET, address.c_str(), &where.sin_addr);
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0 ||
      listen(fd, 4) != 0) {
    if (fd >= 0) close(fd);
    throw std::runtime_error("cannot listen on " + address);
  }
  socklen_t length = sizeof where;
  getsockname(fd, reinterpret_cast<sockaddr*>(&where), &length);
  port = ntohs(where.sin_port);
  return fd;
}

Pop3Tap::Pop3Tap(int serverPort, Options options) : options_(std::move(options)) {
  listener_ = ListenOnLoopback(port_, options_.listenAddress);
  if (pipe2(wake_, O_CLOEXEC) != 0) {
    close(listener_);
    throw std::runtime_error("the tap cannot make its pipe");
  }
  thread_ = std::thread([this, serverPort] { Serve(serverPort); });
}

Pop3Tap::~Pop3Tap() {
  if (write(wake_[1], "x", 1) != 1) {
    // The thread then ends with its next session.
  }
  thread_.join();
  close(listener_);
  close(wake_[0]);
  close(wake_[1]);
}

std::vector<std::string> Pop3Tap::Commands() {
  std::lock_guard<std::mutex> lock(mutex_);
  return commands_;
}

int Pop3Tap::Count(const std::string& verb) {
  int count = 0;
  for (const std::string& command : Commands()) count += StartsWith(command, verb);
  return count;
}

std::string Pop3Tap::ClientBytes() {
  std::lock_guard<std::mutex> lock(mutex_);
  return clientBytes_;
}

int Pop3Tap::LargestBurst() {
  std::lock_guard<std::mutex> lock(mutex_);
  return largestBurst_;
}

void Pop3Tap::Serve(int serverPort) {
  for (;;) {
    pollfd waiting[2] = {{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    if (poll(waiting, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (waiting[1].revents != 0) return;
    int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    int server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
    address.sin_port = htons(static_cast<uint16_t>(serverPort));
    if (connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
      Relay(client, server);
    }
    close(client);
    close(server);
  }
}

void Pop3Tap::Relay(int client, int server) {
  enum class Capa { None, Status, List } capa = Capa::None;
  bool tls = false;        // after STLS: the rest is TLS, passed on as it is
  bool counting = false;   // passing on the reply to RETR
  std::size_t passed = 0;  // bytes of it passed on
  std::string clientLine, serverLine;
  for (;;) {
    pollfd fds[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
    if (poll(fds, 2, 60000) <= 0) return;
    char buffer[16384];
    if (fds[0].revents != 0) {
      ssize_t n = recv(client, buffer, sizeof buffer, 0);
      if (n <= 0) return;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        clientBytes_.append(buffer, static_cast<std::size_t>(n));
      }
      if (!options_.inspect || tls) {
        if (!SendAll(server, buffer, n)) return;
      } else {
        clientLine.append(buffer, static_cast<std::size_t>(n));
        std::size_t end;
        int burst = 0;
        while ((end = clientLine.find('\n')) != std::string::npos) {
          std::string line = clientLine.substr(0, end + 1);
          clientLine.erase(0, end + 1);
          {
            std::lock_guard<std::mutex> lock(mutex_);
            largestBurst_ = std::max(largestBurst_, ++burst);
          }
          std::string command = line.substr(0, line.find_last_not_of("\r\n") + 1);
          std::string shown = command;
          if (StartsWith(shown, "PASS ") || StartsWith(shown, "AUTH ")) {
            shown = shown.substr(0, 5) + "***";
          }
          {
            std::lock_guard<std::mutex> lock(mutex_);
            commands_.push_back(shown);
          }
          if (options_.onCommand) options_.onCommand(command);
          if (command == "CAPA") capa = Capa::Status;
          tls = tls || command == "STLS";
          if (StartsWith(command, "RETR ")) counting = static_cast<bool>(options_.cut);
          if (!SendAll(server, line.data(), line.size())) return;
        }
      }
    }
    if (fds[1].revents != 0) {
      ssize_t n = recv(server, buffer, sizeof buffer, 0);
      if (n <= 0) return;
      std::string data(buffer, static_cast<std::size_t>(n));
      if (options_.inspect && !tls && (capa != Capa::None || !serverLine.empty())) {
        // CAPA replies go line by line, without the hidden capabilities.
        serverLine += data;
        data.clear();
        std::size_t end;
        while (capa != Capa::None && (end = serverLine.find('\n')) != std::string::npos) {
          std::string line = serverLine.substr(0, end + 1);
          serverLine.erase(0, end + 1);
          std::string bare = line.substr(0, line.find_last_not_of("\r\n") + 1);
          if (capa == Capa::Status) {
            capa = StartsWith(line, "+OK") ? Capa::List : Capa::None;
          } else if (bare == ".") {
            capa = Capa::None;
          } else if (options_.hidden.count(bare) != 0) {
            continue;
          }
          data += line;
        }
        if (capa == Capa::None) {
          data += serverLine;
          serverLine.clear();
        }
      }
      if (counting && passed + data.size() >= options_.cutAfter) {
        SendAll(client, data.data(), options_.cutAfter - passed);
        options_.cut();
        return;
      }
      if (counting) passed += data.size();
      if (!SendAll(client, data.data(), data.size())) return;
    }
  }
}

}  // namespace harness
