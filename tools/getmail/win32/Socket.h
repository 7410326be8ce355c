// A TCP connection through Winsock. The socket is non-blocking, and every
// wait for the server (connecting, sending, receiving) is bounded by the
// time-out.
#pragma once

#include <winsock2.h>

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

namespace getmail::win32 {

class Socket {
 public:
  // Connects to `host` (a name or an address) on `port`, trying each address
  // it resolves to, each attempt bounded by `timeout`. Throws Error.
  Socket(const std::string& host, int port, std::chrono::milliseconds timeout);
  // Closes the socket as it stands.
  ~Socket();
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  // Sends all `size` bytes at `data`. `doing` names the step for messages.
  void Send(const char* data, std::size_t size, const char* doing);
  // Waits for data, then reads up to `size` bytes; returns how many (>= 1).
  // Throws Error at the end of the stream, on an error or after the time-out.
  std::size_t Receive(char* buffer, std::size_t size, const char* doing);

  // Until EndBound(), every wait also ends `span` from now at the latest,
  // however the server spreads what it sends, with an Error saying that
  // `what` was not finished in time.
  void Bound(std::chrono::milliseconds span, const char* what);
  void EndBound() { bound_.reset(); }

  const std::string& host() const { return host_; }
  // "host port N", for messages.
  const std::string& where() const { return where_; }
  std::chrono::milliseconds timeout() const { return timeout_; }

 private:
  void Wait(bool forWrite, const char* doing);

  struct Limit {
    std::chrono::steady_clock::time_point end;
    std::chrono::milliseconds span;
    const char* what;
  };
  // Throws Error once the bound has passed.
  void CheckBound() const;

  SOCKET socket_ = INVALID_SOCKET;
  std::string host_;
  std::string where_;
  std::chrono::milliseconds timeout_;
  std::optional<Limit> bound_;
};

}  // namespace getmail::win32
