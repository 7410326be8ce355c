// A TCP connection through Winsock. The socket is non-blocking, and every
// wait for the server (connecting, sending, receiving) is bounded by the
// time-out.
#pragma once

#include <winsock2.h>

#include <chrono>
#include <cstddef>
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

  const std::string& host() const { return host_; }
  // "host port N", for messages.
  const std::string& where() const { return where_; }
  std::chrono::milliseconds timeout() const { return timeout_; }

 private:
  void Wait(bool forWrite, const char* doing);

  SOCKET socket_ = INVALID_SOCKET;
  std::string host_;
  std::string where_;
  std::chrono::milliseconds timeout_;
};

}  // namespace getmail::win32
