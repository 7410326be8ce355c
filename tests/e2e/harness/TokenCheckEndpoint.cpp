#include "TokenCheckEndpoint.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>
#include <vector>

#include "Pop3Tap.h"

namespace harness {

TokenCheckEndpoint::TokenCheckEndpoint(std::string goodToken, std::string user)
    : goodToken_(std::move(goodToken)), user_(std::move(user)) {
  listener_ = ListenOnLoopback(port_);
  thread_ = std::thread([this] { Serve(); });
}

TokenCheckEndpoint::~TokenCheckEndpoint() {
  stopping_ = true;
  thread_.join();
  close(listener_);
}

// Each Dovecot keeps its connection open between requests, so every
// connection is served on a thread of its own.

std::string TokenCheckEndpoint::url() const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/introspect";
}

void TokenCheckEndpoint::Serve() {
  std::vector<std::thread> connections;
  while (!stopping_) {
    pollfd p{listener_, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    connections.emplace_back([this, client] {
      Answer(client);
      close(client);
    });
  }
  for (std::thread& connection : connections) connection.join();
}

// Reads requests on one connection (Dovecot keeps it alive) until it ends.
void TokenCheckEndpoint::Answer(int client) {
  std::string in;
  while (!stopping_) {
    std::size_t headerEnd = in.find("\r\n\r\n");
    if (headerEnd != std::string::npos) {
      std::string_view head(in.data(), headerEnd);
      std::size_t length = 0;
      std::size_t at = head.find("Content-Length:");
      if (at != std::string_view::npos) length = std::strtoul(in.c_str() + at + 15, nullptr, 10);
      if (in.size() >= headerEnd + 4 + length) {
        std::string body = in.substr(headerEnd + 4, length);
        in.erase(0, headerEnd + 4 + length);
        ++asked_;
        // The body is "token=...&client_id=...": the token comes first.
        bool good = body == "token=" + goodToken_ ||
                    body.rfind("token=" + goodToken_ + "&", 0) == 0;
        std::string json = good ? "{\"active\": true, \"username\": \"" + user_ + "\"}"
                                : std::string("{\"active\": false}");
        std::string reply = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
                            "Content-Length: " + std::to_string(json.size()) +
                            "\r\n\r\n" + json;
        if (send(client, reply.data(), reply.size(), MSG_NOSIGNAL) < 0) return;
        continue;
      }
    }
    pollfd p{client, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char buffer[4096];
    ssize_t n = recv(client, buffer, sizeof buffer, 0);
    if (n <= 0) return;
    in.append(buffer, static_cast<std::size_t>(n));
  }
}

}  // namespace harness
