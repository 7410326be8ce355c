// Connection on POSIX: a non-blocking socket, poll() for every wait, and
// OpenSSL for TLS.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ocsp.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "tools/getmail/Connection.h"
#include "tools/getmail/Errors.h"
#include "tools/getmail/Settings.h"

namespace getmail {
namespace {

using Clock = std::chrono::steady_clock;

std::string Where(const std::string& host, int port) {
  return host + " port " + std::to_string(port);
}

std::string Seconds(std::chrono::milliseconds span) {
  std::string text = std::to_string(span.count() / 1000.0);
  return text.substr(0, text.find('.') + 2) + " s";
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

// Reads the OCSP answer the server stapled to its certificate (RFC 6066)
// during the handshake, after the chain has been verified. Only an answer
// that the certificate's issuer (or a responder it names) signed, and that
// says the certificate is revoked, ends the handshake: most servers staple
// nothing, and a missing, stale or unreadable answer is let pass, as mail
// clients do. Sets *revoked (the callback's argument) when it refuses.
int CheckStapledStatus(SSL* ssl, void* revoked) {
  const unsigned char* data = nullptr;
  long size = SSL_get_tlsext_status_ocsp_resp(ssl, &data);
  if (data == nullptr || size <= 0) return 1;
  OCSP_RESPONSE* response = d2i_OCSP_RESPONSE(nullptr, &data, size);
  if (response == nullptr) return 1;
  OCSP_BASICRESP* basic = OCSP_response_status(response) == OCSP_RESPONSE_STATUS_SUCCESSFUL
                              ? OCSP_response_get1_basic(response)
                              : nullptr;
  STACK_OF(X509)* chain = SSL_get0_verified_chain(ssl);
  bool isRevoked = false;
  if (basic != nullptr && chain != nullptr && sk_X509_num(chain) >= 2 &&
      OCSP_basic_verify(basic, chain, SSL_CTX_get_cert_store(SSL_get_SSL_CTX(ssl)), 0) == 1) {
    OCSP_CERTID* id = OCSP_cert_to_id(nullptr, sk_X509_value(chain, 0), sk_X509_value(chain, 1));
    int status = V_OCSP_CERTSTATUS_UNKNOWN;
    int reason = 0;
    ASN1_GENERALIZEDTIME* when = nullptr;
    ASN1_GENERALIZEDTIME* thisUpdate = nullptr;
    ASN1_GENERALIZEDTIME* nextUpdate = nullptr;
    isRevoked = id != nullptr &&
                OCSP_resp_find_status(basic, id, &status, &reason, &when, &thisUpdate,
                                      &nextUpdate) == 1 &&
                status == V_OCSP_CERTSTATUS_REVOKED;
    OCSP_CERTID_free(id);
  }
  OCSP_BASICRESP_free(basic);
  OCSP_RESPONSE_free(response);
  ERR_clear_error();  // what failed above is no error of the connection's
  if (isRevoked) *static_cast<bool*>(revoked) = true;
  return isRevoked ? 0 : 1;
}

class OpenSslConnection final : public Connection {
 public:
  OpenSslConnection(const std::string& host, int fd,
                    std::chrono::milliseconds timeout)
      : host_(host), fd_(fd), timeout_(timeout) {}
  ~OpenSslConnection() override {
    if (ssl_ != nullptr) SSL_free(ssl_);  // no close_notify: see the header
    if (ctx_ != nullptr) SSL_CTX_free(ctx_);
    close(fd_);
  }

  void StartTls() override;
  bool IsTls() const override { return ssl_ != nullptr; }
  void Write(std::string_view data) override;
  std::size_t ReadSome(char* buffer, std::size_t size) override;

 private:
  // Waits until the socket is readable (`forWrite` false) or writable, at
  // most until `deadline`; throws Error then.
  void Wait(bool forWrite, const char* doing, Clock::time_point deadline);
  void SetUpTls();

  std::string host_;
  int fd_;
  std::chrono::milliseconds timeout_;
  SSL_CTX* ctx_ = nullptr;
  SSL* ssl_ = nullptr;
  bool revoked_ = false;  // the server's stapled OCSP answer says so
};

void OpenSslConnection::Wait(bool forWrite, const char* doing,
                             Clock::time_point deadline) {
  pollfd p{fd_, static_cast<short>(forWrite ? POLLOUT : POLLIN), 0};
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - Clock::now());
    int ready = left.count() <= 0
                    ? 0
                    : poll(&p, 1, static_cast<int>(left.count()) + 1);
    if (ready > 0) return;
    if (ready < 0 && errno == EINTR) continue;
    if (ready == 0) {
      if (Clock::now() < deadline) continue;
      throw Error("the server " + host_ + " did not answer within " +
                  Seconds(timeout_) + " while " + doing);
    }
    throw Error(std::string("waiting for the server failed: ") +
                std::strerror(errno));
  }
}

void OpenSslConnection::SetUpTls() {
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
  SSL_CTX_set_tlsext_status_cb(ctx_, CheckStapledStatus);
  SSL_CTX_set_tlsext_status_arg(ctx_, &revoked_);
  ssl_ = SSL_new(ctx_);
  if (ssl_ == nullptr) throw Error("cannot set up TLS: " + OpenSslError());
  // Asks the server to staple an OCSP answer for its certificate.
  SSL_set_tlsext_status_type(ssl_, TLSEXT_STATUSTYPE_ocsp);
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
}

void OpenSslConnection::StartTls() {
  SetUpTls();
  // Each wait gets the time-out, but a server that trickles the handshake
  // must not hold us longer than twice that in all.
  const Clock::time_point deadline = Clock::now() + 2 * timeout_;
  for (;;) {
    int rc = SSL_connect(ssl_);
    if (rc == 1) return;
    int error = SSL_get_error(ssl_, rc);
    Clock::time_point waitUntil = std::min(deadline, Clock::now() + timeout_);
    if (error == SSL_ERROR_WANT_READ) {
      Wait(false, "setting up TLS", waitUntil);
    } else if (error == SSL_ERROR_WANT_WRITE) {
      Wait(true, "setting up TLS", waitUntil);
    } else {
      if (revoked_) {
        throw Error("the certificate of " + host_ + " is not trusted: it has been revoked "
                    "(the server's own OCSP answer says so)");
      }
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

void OpenSslConnection::Write(std::string_view data) {
  while (!data.empty()) {
    std::size_t written = 0;
    if (ssl_ != nullptr) {
      int rc = SSL_write_ex(ssl_, data.data(), data.size(), &written);
      if (rc != 1) {
        int error = SSL_get_error(ssl_, rc);
        if (error != SSL_ERROR_WANT_WRITE && error != SSL_ERROR_WANT_READ) {
          throw Error("sending to the server failed: " + OpenSslError());
        }
        Wait(error == SSL_ERROR_WANT_WRITE, "sending", Clock::now() + timeout_);
        continue;
      }
    } else {
      ssize_t n = send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
      if (n < 0) {
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
          throw Error(std::string("sending to the server failed: ") +
                      std::strerror(errno));
        }
        Wait(true, "sending", Clock::now() + timeout_);
        continue;
      }
      written = static_cast<std::size_t>(n);
    }
    data.remove_prefix(written);
  }
}

std::size_t OpenSslConnection::ReadSome(char* buffer, std::size_t size) {
  // One deadline for the whole call: under TLS a record can need many reads
  // from the socket, and a trickle of them must not add up to more.
  const Clock::time_point deadline = Clock::now() + timeout_;
  for (;;) {
    if (ssl_ != nullptr) {
      std::size_t n = 0;
      int rc = SSL_read_ex(ssl_, buffer, size, &n);
      if (rc == 1) return n;
      int error = SSL_get_error(ssl_, rc);
      if (error == SSL_ERROR_WANT_READ) {
        Wait(false, "receiving", deadline);
      } else if (error == SSL_ERROR_WANT_WRITE) {
        Wait(true, "receiving", deadline);
      } else if (error == SSL_ERROR_ZERO_RETURN ||
                 (error == SSL_ERROR_SYSCALL && ERR_peek_error() == 0)) {
        throw Error("the server " + host_ + " closed the connection");
      } else {
        throw Error("receiving from the server failed: " + OpenSslError());
      }
    } else {
      ssize_t n = recv(fd_, buffer, size, 0);
      if (n > 0) return static_cast<std::size_t>(n);
      if (n == 0) throw Error("the server " + host_ + " closed the connection");
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        Wait(false, "receiving", deadline);
      } else if (errno != EINTR) {
        throw Error(std::string("receiving from the server failed: ") +
                    std::strerror(errno));
      }
    }
  }
}

}  // namespace

std::unique_ptr<Connection> Connect(const std::string& host, int port,
                                    std::chrono::milliseconds timeout) {
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
  int connected = -1;
  for (addrinfo* a = addresses; a != nullptr && connected < 0; a = a->ai_next) {
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
      int ready;
      do {
        ready = poll(&p, 1, static_cast<int>(timeout.count()));
      } while (ready < 0 && errno == EINTR);
      if (ready == 0) {
        lastError = "no answer within " + Seconds(timeout);
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
    connected = fd;
  }
  freeaddrinfo(addresses);
  if (connected < 0) {
    throw Error("cannot connect to " + Where(host, port) + ": " + lastError);
  }
  return std::make_unique<OpenSslConnection>(host, connected, timeout);
}

}  // namespace getmail
