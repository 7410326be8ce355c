// TLS over a Socket through Schannel (SSPI): the handshake, the server's
// verification, and records encrypted and decrypted with bounded buffers.
#pragma once

#include <windows.h>
#define SECURITY_WIN32
#include <security.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace getmail::win32 {

class CaFile;
class Socket;

class TlsChannel {
 public:
  // Runs the handshake on `socket` (which must outlive the channel) for
  // `host`, TLS 1.2 or later, and verifies the server. Throws Error.
  TlsChannel(Socket& socket, const std::string& host, const CaFile* caFile);
  // Drops the session as it stands: no close_notify.
  ~TlsChannel();
  TlsChannel(const TlsChannel&) = delete;
  TlsChannel& operator=(const TlsChannel&) = delete;

  void Write(std::string_view data);
  // Up to `size` bytes of plain text (>= 1); throws Error when the server
  // ends the session or on any fault.
  std::size_t ReadSome(char* buffer, std::size_t size);

 private:
  // Feeds what the server sent to InitializeSecurityContextW until the
  // handshake is done; reads first when `readFirst`.
  void Negotiate(bool readFirst);
  // Checks the protocol and the certificate, and takes the record sizes.
  void Settle();
  // Decrypts the record at the front of incoming_ into plain_; false when
  // more bytes are needed for it (or it took none).
  bool Decrypt();
  // Appends what the server sends next to incoming_.
  void ReceiveMore(const char* doing);
  // Keeps only the last `extra` bytes of incoming_.
  void KeepExtra(std::size_t extra);

  Socket& socket_;
  std::string host_;
  std::wstring target_;  // the name for SNI; empty for an address
  const CaFile* caFile_;
  CredHandle credentials_{};
  CtxtHandle context_{};
  bool haveCredentials_ = false;
  bool haveContext_ = false;
  std::size_t header_ = 0, trailer_ = 0, maxMessage_ = 0;
  std::vector<char> incoming_;  // encrypted bytes not yet used, fixed size
  std::size_t used_ = 0;
  std::string plain_;  // decrypted bytes not yet read
  std::size_t plainPos_ = 0;
  std::vector<char> record_;  // one outgoing record
};

}  // namespace getmail::win32
