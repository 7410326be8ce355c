// getmail::Connection on Windows: Winsock for the socket, Schannel for TLS.
#include <memory>

#include "tools/getmail/Connection.h"
#include "tools/getmail/Errors.h"
#include "tools/getmail/win32/CaFile.h"
#include "tools/getmail/win32/Socket.h"
#include "tools/getmail/win32/TlsChannel.h"

namespace getmail {
namespace {

class SchannelConnection final : public Connection {
 public:
  SchannelConnection(const std::string& host, int port,
                     std::chrono::milliseconds timeout)
      : socket_(host, port, timeout) {}

  void StartTls() override {
    if (tls_ != nullptr) throw Error("TLS is already running with " + socket_.where());
    // Read before the handshake, so that a bad file fails early; kept for
    // the checks after a renegotiation.
    caFile_ = win32::CaFile::FromEnvironment();
    tls_ = std::make_unique<win32::TlsChannel>(socket_, socket_.host(), caFile_.get());
  }

  bool IsTls() const override { return tls_ != nullptr; }

  void Write(std::string_view data) override {
    if (tls_ != nullptr) {
      tls_->Write(data);
    } else {
      socket_.Send(data.data(), data.size(), "sending");
    }
  }

  std::size_t ReadSome(char* buffer, std::size_t size) override {
    if (size == 0) return 0;
    if (tls_ != nullptr) return tls_->ReadSome(buffer, size);
    return socket_.Receive(buffer, size, "receiving");
  }

 private:
  // Destroyed in reverse: the TLS session before what it uses.
  win32::Socket socket_;
  std::unique_ptr<win32::CaFile> caFile_;
  std::unique_ptr<win32::TlsChannel> tls_;
};

}  // namespace

std::unique_ptr<Connection> Connect(const std::string& host, int port,
                                    std::chrono::milliseconds timeout) {
  return std::make_unique<SchannelConnection>(host, port, timeout);
}

}  // namespace getmail
