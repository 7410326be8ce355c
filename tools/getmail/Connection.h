// One TCP connection to the mail server, optionally under TLS. This header
// knows no system: each system has its own implementation (posix/: sockets
// and OpenSSL; win32/: Winsock and Schannel).
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace getmail {

class Connection {
 public:
  // Closes the connection as it stands: no goodbye is sent on any level.
  virtual ~Connection() = default;

  // Runs the TLS handshake (TLS 1.2 or later) and verifies the server's
  // certificate against the system's trusted CAs and every certificate in
  // the file kCaFileVariable names, and that it is the certificate of the
  // host name (or, for an address, of that IP address) we were told to
  // reach. Each wait is bounded by the time-out, the whole handshake by
  // twice the time-out. Throws Error if any of it fails.
  virtual void StartTls() = 0;
  virtual bool IsTls() const = 0;

  // Sends all of `data`; each wait is bounded by the time-out. Throws Error.
  virtual void Write(std::string_view data) = 0;

  // Waits at most the time-out for data, then reads up to `size` bytes into
  // `buffer`; returns how many (at least 1). Throws Error at the end of the
  // stream, on an error or after the time-out.
  virtual std::size_t ReadSome(char* buffer, std::size_t size) = 0;

 protected:
  Connection() = default;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
};

// Connects to `host` (a name or an address) on `port`, trying each address it
// resolves to, each attempt bounded by `timeout`, which then bounds every
// wait of the connection. Throws Error.
std::unique_ptr<Connection> Connect(const std::string& host, int port,
                                    std::chrono::milliseconds timeout);

}  // namespace getmail
