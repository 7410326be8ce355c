// One TCP connection to the mail server, optionally under TLS (OpenSSL), with
// a time-out on connecting and on every wait for the server.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

namespace getmail {

// Names the environment variable with an extra CA file to trust.
inline constexpr const char* kCaFileVariable = "QUARROW_GETMAIL_CAFILE";
// Names the environment variable with the time-out in seconds (default 30).
inline constexpr const char* kTimeoutVariable = "QUARROW_GETMAIL_TIMEOUT";

// Names the environment variable with more ports that use TLS from the start
// (comma-separated); port 995 always does.
inline constexpr const char* kTlsPortsVariable = "QUARROW_GETMAIL_TLS_PORTS";

// The time-out from kTimeoutVariable, or 30 s.
std::chrono::milliseconds TimeoutFromEnvironment();

// Whether `port` uses TLS from the start: 995, or one in kTlsPortsVariable.
bool IsImplicitTlsPort(int port);

#ifdef _WIN32
// One TCP connection to the mail server, optionally under TLS; one
// implementation per system (posix/: sockets + OpenSSL; win32/: Winsock + Schannel).
class Connection {
 public:
  virtual ~Connection() = default;   // closes as it stands, no goodbye on any level
  // TLS handshake; verifies the certificate against the system's trusted CAs and
  // the CAs of the file named by QUARROW_GETMAIL_CAFILE (every PEM block), and the
  // host name, or the IP address against the certificate's IP entries.
  // TLS 1.2 or later. Throws Error.
  virtual void StartTls() = 0;
  virtual bool IsTls() const = 0;
  // Sends all of `data`; each wait bounded by the time-out. Throws Error.
  virtual void Write(std::string_view data) = 0;
  // Waits at most the time-out for data, then reads up to `size` bytes into
  // `buffer`; returns how many (>= 1). Throws Error on end of stream, error, time-out.
  virtual std::size_t ReadSome(char* buffer, std::size_t size) = 0;
};
// Connects to host:port, trying each address it resolves to, each attempt bounded
// by `timeout`. Throws Error.
std::unique_ptr<Connection> Connect(const std::string& host, int port,
                                    std::chrono::milliseconds timeout);
#else
// The POSIX connection until it moves behind the interface above.
class Connection {
 public:
  // Connects to `host` (a name or an address) on `port`, trying each address
  // it resolves to. Throws Error on failure or after `timeout`.
  Connection(const std::string& host, int port,
             std::chrono::milliseconds timeout);
  // Closes the socket as it stands: no goodbye is sent on any level.
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Runs the TLS handshake and verifies the server's certificate against the
  // system's trusted CAs (and the file kCaFileVariable names), including the
  // host name. Throws Error if it fails.
  void StartTls();
  bool IsTls() const { return ssl_ != nullptr; }

  // Sends all of `data`.
  void Write(std::string_view data);

  // The next line, with its line end ("\r\n" or "\n") as received. The view
  // stays valid until the next call of ReadLine. Throws Error when the server
  // closes the connection, on a read error or after the time-out.
  std::string_view ReadLine();

  // Bytes the read buffer holds room for: about one read, or the longest
  // line not yet read if that is longer.
  std::size_t BufferSize() const { return buffer_.size(); }

 private:
  // Reads more into the buffer; throws at the end of the stream.
  void Fill();
  // Waits until the socket is readable (`forWrite` false) or writable.
  void Wait(bool forWrite, const char* doing);

  std::string host_;
  int fd_ = -1;
  std::chrono::milliseconds timeout_;
  SSL_CTX* ctx_ = nullptr;
  SSL* ssl_ = nullptr;
  std::string buffer_;
  std::size_t start_ = 0;  // first unread byte in buffer_
  std::size_t end_ = 0;    // one past the last byte read into buffer_
  std::size_t scanned_ = 0;  // bytes after start_ known to hold no "\n"
};

#endif

}  // namespace getmail
