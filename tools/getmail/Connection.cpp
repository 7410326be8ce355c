#include "tools/getmail/Connection.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "tools/getmail/Errors.h"

namespace getmail {
namespace {

constexpr std::size_t kReadSize = 64 * 1024;

std::string Where(const std::string& host, int port) {
  return host + " port " + std::to_string(port);
}

// The newest OpenSSL error as text, and the queue cleared.
std::string OpenSslError() {
  unsigned long code = ERR_get_error();
  ERR_clear_error();
  if (code == 0) return "unknown TLS error";
  char text[256];
  ERR_error_string_n(code, text, sizeof text);
  return text;
}

void SetNonBlocking(int fd) {
  int flags = fcntl(fd, F_GETFL, 0);
  fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

}  // namespace

std::chrono::milliseconds TimeoutFromEnvironment() {
  const char* text = std::getenv(kTimeoutVariable);
  if (text != nullptr && *text != '\0') {
    char* end = nullptr;
    double seconds = std::strtod(text, &end);
    if (end != text && *end == '\0' && seconds > 0 && seconds < 86400) {
      return std::chrono::milliseconds(static_cast<long>(seconds * 1000));
    }
  }
  return std::chrono::seconds(30);
}

bool IsImplicitTlsPort(int port) {
  if (port == 995) return true;
  const char* text = std::getenv(kTlsPortsVariable);
  if (text == nullptr) return false;
  std::string list = text;
  std::size_t pos = 0;
  while (pos <= list.size()) {
    std::size_t end = list.find(',', pos);
    if (end == std::string::npos) end = list.size();
    std::string item = list.substr(pos, end - pos);
    if (!item.empty() && item.find_first_not_of("0123456789 ") == std::string::npos &&
        std::atoi(item.c_str()) == port) {
      return true;
    }
    pos = end + 1;
  }
  return false;
}

Connection::Connection(const std::string& host, int port,
                       std::chrono::milliseconds timeout)
    : host_(host), timeout_(timeout) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* addresses = nullptr;
  std::string service = std::to_string(port);
  int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &addresses);
  if (rc != 0) {
    throw Error("cannot find the server " + host + ": " + gai_strerror(rc));
  }
  std::string lastError = "no address";
  for (addrinfo* a = addresses; a != nullptr; a = a->ai_next) {
    int fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC,
                    a->ai_protocol);
    if (fd < 0) {
      lastError = std::strerror(errno);
      continue;
    }
    SetNonBlocking(fd);
    if (connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
      if (errno != EINPROGRESS) {
        lastError = std::strerror(errno);
        close(fd);
        continue;
      }
      pollfd p{fd, POLLOUT, 0};
      int ready = poll(&p, 1, static_cast<int>(timeout_.count()));
      if (ready == 0) {
        lastError = "no answer within " +
                    std::to_string(timeout_.count() / 1000.0).substr(0, 4) +
                    " s";
        close(fd);
        continue;
      }
      int soError = 0;
      socklen_t length = sizeof soError;
      getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &length);
      if (ready < 0 || soError != 0) {
        lastError = std::strerror(ready < 0 ? errno : soError);
        close(fd);
        continue;
      }
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    fd_ = fd;
    break;
  }
  freeaddrinfo(addresses);
  if (fd_ < 0) {
    throw Error("cannot connect to " + Where(host, port) + ": " + lastError);
  }
  buffer_.resize(kReadSize);
}

Connection::~Connection() {
  if (ssl_ != nullptr) SSL_free(ssl_);  // no close_notify: see the header
  if (ctx_ != nullptr) SSL_CTX_free(ctx_);
  if (fd_ >= 0) close(fd_);
}

void Connection::Wait(bool forWrite, const char* doing) {
  pollfd p{fd_, static_cast<short>(forWrite ? POLLOUT : POLLIN), 0};
  for (;;) {
    int ready = poll(&p, 1, static_cast<int>(timeout_.count()));
    if (ready > 0) return;
    if (ready < 0 && errno == EINTR) continue;
    if (ready == 0) {
      throw Error("the server " + host_ + " did not answer within " +
                  std::to_string(timeout_.count() / 1000) + " s while " +
                  doing);
    }
    throw Error(std::string("waiting for the server failed: ") +
                std::strerror(errno));
  }
}

void Connection::StartTls() {
  ctx_ = SSL_CTX_new(TLS_client_method());
  if (ctx_ == nullptr) throw Error("cannot set up TLS: " + OpenSslError());
  SSL_CTX_set_min_proto_version(ctx_, TLS1_2_VERSION);
  if (SSL_CTX_set_default_verify_paths(ctx_) != 1) {
    throw Error("cannot load the system's trusted certificates: " +
                OpenSslError());
  }
  const char* caFile = std::getenv(kCaFileVariable);
  if (caFile != nullptr && *caFile != '\0') {
    if (SSL_CTX_load_verify_locations(ctx_, caFile, nullptr) != 1) {
      throw Error(std::string("cannot load the CA file ") + caFile + " (" +
                  kCaFileVariable + "): " + OpenSslError());
    }
  }
  SSL_CTX_set_verify(ctx_, SSL_VERIFY_PEER, nullptr);
  ssl_ = SSL_new(ctx_);
  if (ssl_ == nullptr) throw Error("cannot set up TLS: " + OpenSslError());
  // The certificate must name the host we were told to reach.
  in6_addr address6;
  in_addr address4;
  bool isAddress = inet_pton(AF_INET, host_.c_str(), &address4) == 1 ||
                   inet_pton(AF_INET6, host_.c_str(), &address6) == 1;
  X509_VERIFY_PARAM* param = SSL_get0_param(ssl_);
  if (isAddress) {
    X509_VERIFY_PARAM_set1_ip_asc(param, host_.c_str());
  } else {
    X509_VERIFY_PARAM_set_hostflags(param,
                                    X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    SSL_set1_host(ssl_, host_.c_str());
    SSL_set_tlsext_host_name(ssl_, host_.c_str());
  }
  SSL_set_fd(ssl_, fd_);
  // Bytes already read past the STLS reply would belong to the plain text
  // session; a well-behaved server sends none before the handshake.
  start_ = end_ = scanned_ = 0;
  for (;;) {
    int rc = SSL_connect(ssl_);
    if (rc == 1) break;
    int error = SSL_get_error(ssl_, rc);
    if (error == SSL_ERROR_WANT_READ) {
      Wait(false, "setting up TLS");
    } else if (error == SSL_ERROR_WANT_WRITE) {
      Wait(true, "setting up TLS");
    } else {
      long verify = SSL_get_verify_result(ssl_);
      if (verify != X509_V_OK) {
        throw Error("the certificate of " + host_ + " is not trusted: " +
                    X509_verify_cert_error_string(verify) +
                    " (a private CA can be named in " + kCaFileVariable +
                    ")");
      }
      std::string detail = error == SSL_ERROR_SYSCALL && errno != 0
                               ? std::string(std::strerror(errno))
                               : OpenSslError();
      throw Error("the TLS handshake with " + host_ + " failed: " + detail);
    }
  }
}

void Connection::Write(std::string_view data) {
  while (!data.empty()) {
    long written;
    if (ssl_ != nullptr) {
      std::size_t n = 0;
      int rc = SSL_write_ex(ssl_, data.data(), data.size(), &n);
      if (rc == 1) {
        written = static_cast<long>(n);
      } else {
        int error = SSL_get_error(ssl_, rc);
        if (error == SSL_ERROR_WANT_WRITE) {
          Wait(true, "sending");
          continue;
        }
        if (error == SSL_ERROR_WANT_READ) {
          Wait(false, "sending");
          continue;
        }
        throw Error("sending to the server failed: " + OpenSslError());
      }
    } else {
      written = send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
      if (written < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
          Wait(true, "sending");
          continue;
        }
        if (errno == EINTR) continue;
        throw Error(std::string("sending to the server failed: ") +
                    std::strerror(errno));
      }
    }
    data.remove_prefix(static_cast<std::size_t>(written));
  }
}

void Connection::Fill() {
  // Make room: move what is unread to the front once the space behind it
  // runs short, and grow only for a line longer than the buffer.
  if (start_ > 0 && (start_ == end_ || buffer_.size() - end_ < kReadSize / 4)) {
    std::memmove(&buffer_[0], &buffer_[start_], end_ - start_);
    end_ -= start_;
    start_ = 0;
  }
  if (buffer_.size() - end_ < kReadSize / 4) buffer_.resize(buffer_.size() * 2);
  for (;;) {
    std::size_t room = buffer_.size() - end_;
    if (ssl_ != nullptr) {
      std::size_t n = 0;
      int rc = SSL_read_ex(ssl_, &buffer_[end_], room, &n);
      if (rc == 1) {
        end_ += n;
        return;
      }
      int error = SSL_get_error(ssl_, rc);
      if (error == SSL_ERROR_WANT_READ) {
        Wait(false, "receiving");
      } else if (error == SSL_ERROR_WANT_WRITE) {
        Wait(true, "receiving");
      } else if (error == SSL_ERROR_ZERO_RETURN ||
                 (error == SSL_ERROR_SYSCALL && ERR_peek_error() == 0)) {
        throw Error("the server " + host_ + " closed the connection");
      } else {
        throw Error("receiving from the server failed: " + OpenSslError());
      }
    } else {
      long n = recv(fd_, &buffer_[end_], room, 0);
      if (n > 0) {
        end_ += static_cast<std::size_t>(n);
        return;
      }
      if (n == 0) throw Error("the server " + host_ + " closed the connection");
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        Wait(false, "receiving");
      } else if (errno != EINTR) {
        throw Error(std::string("receiving from the server failed: ") +
                    std::strerror(errno));
      }
    }
  }
}

std::string_view Connection::ReadLine() {
  for (;;) {
    const char* begin = buffer_.data() + start_;
    const void* newline =
        std::memchr(begin + scanned_, '\n', end_ - start_ - scanned_);
    if (newline != nullptr) {
      std::size_t length = static_cast<const char*>(newline) - begin + 1;
      start_ += length;
      scanned_ = 0;
      return std::string_view(begin, length);
    }
    scanned_ = end_ - start_;
    Fill();
  }
}

}  // namespace getmail
