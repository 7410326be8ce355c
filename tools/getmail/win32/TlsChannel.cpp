#include "tools/getmail/win32/TlsChannel.h"

#include <subauth.h>
#define SCHANNEL_USE_BLACKLISTS
#include <schannel.h>

#include <algorithm>
#include <cstring>

#include "tools/getmail/Errors.h"
#include "tools/getmail/win32/CertificateCheck.h"
#include "tools/getmail/win32/Socket.h"
#include "tools/getmail/win32/WinText.h"

namespace getmail::win32 {
namespace {

// Schannel leaves the certificate to us (VerifyServerCertificate).
constexpr ULONG kContextFlags =
    ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
    ISC_REQ_EXTENDED_ERROR | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
    ISC_REQ_MANUAL_CRED_VALIDATION | ISC_REQ_USE_SUPPLIED_CREDS;
constexpr DWORD kCredentialFlags = SCH_CRED_MANUAL_CRED_VALIDATION |
                                   SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;
constexpr DWORD kOldProtocols =
    SP_PROT_PCT1 | SP_PROT_SSL2 | SP_PROT_SSL3 | SP_PROT_TLS1_0 | SP_PROT_TLS1_1;
// Encrypted bytes held at most: several of the largest records (16 KiB of
// data and what TLS adds to it).
constexpr std::size_t kIncomingSize = 64 * 1024;
// A server asking for a client certificate is answered without one; a
// server that keeps asking ends the handshake.
constexpr int kMaxCertificateRequests = 2;

// Each wait for the server has the time-out, but a server that trickles a
// handshake, the first or a later one, must not hold the tool longer than
// twice that in all (as the POSIX build's OpenSSL connection allows).
class HandshakeBound {
 public:
  explicit HandshakeBound(Socket& socket) : socket_(socket) {
    socket_.Bound(2 * socket_.timeout(), "setting up TLS");
  }
  ~HandshakeBound() { socket_.EndBound(); }
  HandshakeBound(const HandshakeBound&) = delete;
  HandshakeBound& operator=(const HandshakeBound&) = delete;

 private:
  Socket& socket_;
};

// A buffer that Schannel allocated, freed on leaving the scope.
class ContextBuffer {
 public:
  explicit ContextBuffer(void* buffer) : buffer_(buffer) {}
  ~ContextBuffer() {
    if (buffer_ != nullptr) FreeContextBuffer(buffer_);
  }
  ContextBuffer(const ContextBuffer&) = delete;
  ContextBuffer& operator=(const ContextBuffer&) = delete;

 private:
  void* buffer_;
};

std::string Describe(SECURITY_STATUS status) {
  return ErrorText(static_cast<unsigned long>(status));
}

SecBuffer Buffer(unsigned long type, std::size_t size, void* data) {
  SecBuffer buffer;
  buffer.cbBuffer = static_cast<unsigned long>(size);
  buffer.BufferType = type;
  buffer.pvBuffer = data;
  return buffer;
}

// Outgoing credentials for TLS 1.2 or later, without a client certificate.
// SCH_CREDENTIALS (which lets Windows 11 use TLS 1.3) first; systems that
// predate it (Windows 10 before 1809) take only SCHANNEL_CRED.
SECURITY_STATUS AcquireCredentials(CredHandle* credentials) {
  TimeStamp expiry;
  TLS_PARAMETERS parameters{};
  parameters.grbitDisabledProtocols = SP_PROT_SSL2_CLIENT | SP_PROT_SSL3_CLIENT |
                                      SP_PROT_TLS1_0_CLIENT | SP_PROT_TLS1_1_CLIENT;
  SCH_CREDENTIALS current{};
  current.dwVersion = SCH_CREDENTIALS_VERSION;
  current.dwFlags = kCredentialFlags;
  current.cTlsParameters = 1;
  current.pTlsParameters = &parameters;
  SECURITY_STATUS status = AcquireCredentialsHandleW(
      nullptr, const_cast<wchar_t*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND, nullptr,
      &current, nullptr, nullptr, credentials, &expiry);
  if (status == SEC_E_OK) return status;
  SCHANNEL_CRED legacy{};
  legacy.dwVersion = SCHANNEL_CRED_VERSION;
  legacy.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
  legacy.dwFlags = kCredentialFlags;
  return AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W),
                                   SECPKG_CRED_OUTBOUND, nullptr, &legacy, nullptr,
                                   nullptr, credentials, &expiry);
}

}  // namespace

TlsChannel::TlsChannel(Socket& socket, const std::string& host, const CaFile* caFile)
    : socket_(socket), host_(host), caFile_(caFile), incoming_(kIncomingSize) {
  // Server name indication carries names only, never addresses.
  if (AddressBytes(host).empty()) target_ = Widen(host);
  SEC_WCHAR* target = target_.empty() ? nullptr : &target_[0];
  HandshakeBound bound(socket_);
  try {
    SECURITY_STATUS status = AcquireCredentials(&credentials_);
    if (status != SEC_E_OK) {
      throw Error("cannot set up TLS for " + socket_.where() + ": " + Describe(status));
    }
    haveCredentials_ = true;
    SecBuffer out = Buffer(SECBUFFER_TOKEN, 0, nullptr);
    SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &out};
    ULONG attributes = 0;
    status = InitializeSecurityContextW(&credentials_, nullptr, target, kContextFlags, 0, 0,
                                        nullptr, 0, &context_, &outDesc, &attributes,
                                        nullptr);
    ContextBuffer hello(out.pvBuffer);
    if (status != SEC_I_CONTINUE_NEEDED) {
      throw Error("the TLS handshake with " + socket_.where() +
                  " failed: " + Describe(status));
    }
    haveContext_ = true;
    socket_.Send(static_cast<const char*>(out.pvBuffer), out.cbBuffer, "setting up TLS");
    Negotiate(true);
    Settle();
  } catch (...) {
    if (haveContext_) DeleteSecurityContext(&context_);
    if (haveCredentials_) FreeCredentialsHandle(&credentials_);
    throw;
  }
}

TlsChannel::~TlsChannel() {
  if (haveContext_) DeleteSecurityContext(&context_);
  if (haveCredentials_) FreeCredentialsHandle(&credentials_);
}

void TlsChannel::ReceiveMore(const char* doing) {
  if (used_ == incoming_.size()) {
    throw Error("the server " + socket_.where() + " sent a TLS record larger than " +
                std::to_string(kIncomingSize / 1024) + " KiB while " + doing);
  }
  used_ += socket_.Receive(incoming_.data() + used_, incoming_.size() - used_, doing);
}

void TlsChannel::KeepExtra(std::size_t extra) {
  extra = std::min(extra, used_);
  std::memmove(incoming_.data(), incoming_.data() + (used_ - extra), extra);
  used_ = extra;
}

void TlsChannel::Negotiate(bool readFirst) {
  SEC_WCHAR* target = target_.empty() ? nullptr : &target_[0];
  bool needRead = readFirst;
  int certificateRequests = 0;
  for (;;) {
    if (needRead) ReceiveMore("setting up TLS");
    SecBuffer in[2] = {Buffer(SECBUFFER_TOKEN, used_, incoming_.data()),
                       Buffer(SECBUFFER_EMPTY, 0, nullptr)};
    SecBuffer out[2] = {Buffer(SECBUFFER_TOKEN, 0, nullptr),
                        Buffer(SECBUFFER_ALERT, 0, nullptr)};
    SecBufferDesc inDesc{SECBUFFER_VERSION, 2, in};
    SecBufferDesc outDesc{SECBUFFER_VERSION, 2, out};
    ULONG attributes = 0;
    SECURITY_STATUS status =
        InitializeSecurityContextW(&credentials_, &context_, target, kContextFlags, 0, 0,
                                   &inDesc, 0, nullptr, &outDesc, &attributes, nullptr);
    ContextBuffer token(out[0].pvBuffer);
    ContextBuffer alert(out[1].pvBuffer);
    if (status == SEC_E_INCOMPLETE_MESSAGE) {
      needRead = true;
      continue;
    }
    if (FAILED(status)) {
      throw Error("the TLS handshake with " + socket_.where() +
                  " failed: " + Describe(status));
    }
    if (out[0].pvBuffer != nullptr && out[0].cbBuffer > 0) {
      socket_.Send(static_cast<const char*>(out[0].pvBuffer), out[0].cbBuffer,
                   "setting up TLS");
    }
    if (status == SEC_I_INCOMPLETE_CREDENTIALS) {
      if (++certificateRequests > kMaxCertificateRequests) {
        throw Error("the TLS handshake with " + socket_.where() +
                    " failed: the server insists on a client certificate");
      }
      needRead = false;
      continue;
    }
    const std::size_t before = used_;
    KeepExtra(in[1].BufferType == SECBUFFER_EXTRA ? in[1].cbBuffer : 0);
    if (status == SEC_E_OK) return;
    if (status != SEC_I_CONTINUE_NEEDED) {
      throw Error("the TLS handshake with " + socket_.where() +
                  " failed: " + Describe(status));
    }
    // Read when all was used, or when nothing was (the same call again
    // would go round for ever).
    needRead = used_ == 0 || used_ == before;
  }
}

void TlsChannel::Settle() {
  SecPkgContext_ConnectionInfo info{};
  SECURITY_STATUS status =
      QueryContextAttributesW(&context_, SECPKG_ATTR_CONNECTION_INFO, &info);
  if (status != SEC_E_OK) {
    throw Error("cannot query the TLS session with " + socket_.where() + ": " +
                Describe(status));
  }
  // Checked here too: Wine 8 takes SCH_CREDENTIALS but not its limits, and
  // would settle for TLS 1.1.
  if ((info.dwProtocol & kOldProtocols) != 0) {
    throw Error("the server " + socket_.where() + " uses a TLS version older than 1.2");
  }
  SecPkgContext_StreamSizes sizes{};
  status = QueryContextAttributesW(&context_, SECPKG_ATTR_STREAM_SIZES, &sizes);
  if (status != SEC_E_OK) {
    throw Error("cannot query the TLS session with " + socket_.where() + ": " +
                Describe(status));
  }
  if (sizes.cbMaximumMessage == 0 ||
      sizes.cbHeader + sizes.cbMaximumMessage + sizes.cbTrailer > kIncomingSize) {
    throw Error("the TLS session with " + socket_.where() +
                " has records of an unusable size");
  }
  header_ = sizes.cbHeader;
  trailer_ = sizes.cbTrailer;
  maxMessage_ = sizes.cbMaximumMessage;
  record_.resize(header_ + maxMessage_ + trailer_);

  PCCERT_CONTEXT certificate = nullptr;
  status = QueryContextAttributesW(&context_, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &certificate);
  if (status != SEC_E_OK || certificate == nullptr) {
    throw Error("the server " + socket_.where() + " sent no certificate: " +
                Describe(status));
  }
  try {
    VerifyServerCertificate(certificate, host_, caFile_, socket_.where(), socket_.timeout());
  } catch (...) {
    CertFreeCertificateContext(certificate);
    throw;
  }
  CertFreeCertificateContext(certificate);
}

void TlsChannel::Write(std::string_view data) {
  while (!data.empty()) {
    std::size_t size = std::min(data.size(), maxMessage_);
    char* record = record_.data();
    std::memcpy(record + header_, data.data(), size);
    SecBuffer buffers[4] = {Buffer(SECBUFFER_STREAM_HEADER, header_, record),
                            Buffer(SECBUFFER_DATA, size, record + header_),
                            Buffer(SECBUFFER_STREAM_TRAILER, trailer_, record + header_ + size),
                            Buffer(SECBUFFER_EMPTY, 0, nullptr)};
    SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
    SECURITY_STATUS status = EncryptMessage(&context_, 0, &desc, 0);
    if (status != SEC_E_OK) {
      throw Error("sending to the server " + socket_.where() +
                  " failed: cannot encrypt: " + Describe(status));
    }
    socket_.Send(record, buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer,
                 "sending");
    data.remove_prefix(size);
  }
}

bool TlsChannel::Decrypt() {
  SecBuffer buffers[4] = {Buffer(SECBUFFER_DATA, used_, incoming_.data()),
                          Buffer(SECBUFFER_EMPTY, 0, nullptr),
                          Buffer(SECBUFFER_EMPTY, 0, nullptr),
                          Buffer(SECBUFFER_EMPTY, 0, nullptr)};
  SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
  SECURITY_STATUS status = DecryptMessage(&context_, &desc, 0, nullptr);
  if (status == SEC_E_INCOMPLETE_MESSAGE) return false;
  if (status == SEC_I_CONTEXT_EXPIRED) {
    throw Error("the server " + socket_.where() + " ended the TLS session");
  }
  if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE) {
    throw Error("receiving from the server " + socket_.where() +
                " failed: " + Describe(status));
  }
  // The plain text lies in the record in incoming_ (the first buffer becomes
  // the record's header); the bytes after the record come back as extra.
  std::size_t extra = 0;
  for (int k = 1; k < 4; ++k) {
    const SecBuffer& buffer = buffers[k];
    if (buffer.BufferType == SECBUFFER_DATA && buffer.pvBuffer != nullptr) {
      plain_.append(static_cast<const char*>(buffer.pvBuffer), buffer.cbBuffer);
    } else if (buffer.BufferType == SECBUFFER_EXTRA) {
      extra = buffer.cbBuffer;
    }
  }
  const std::size_t before = used_;
  KeepExtra(extra);
  if (status == SEC_E_OK && used_ == before && plain_.empty()) return false;
  if (status == SEC_I_RENEGOTIATE) {
    // A new handshake (TLS 1.2: the first call goes without input, as
    // Schannel asks), or what Windows reports the same way for a TLS 1.3
    // message after the handshake (a session ticket, a key update), which
    // the extra bytes carry. The server is checked again afterwards.
    HandshakeBound bound(socket_);
    Negotiate(false);
    Settle();
  }
  return true;
}

std::size_t TlsChannel::ReadSome(char* buffer, std::size_t size) {
  for (;;) {
    if (plainPos_ < plain_.size()) {
      std::size_t n = std::min(size, plain_.size() - plainPos_);
      std::memcpy(buffer, plain_.data() + plainPos_, n);
      plainPos_ += n;
      if (plainPos_ == plain_.size()) {
        plain_.clear();
        plainPos_ = 0;
      }
      return n;
    }
    if (used_ == 0 || !Decrypt()) ReceiveMore("receiving");
  }
}

}  // namespace getmail::win32
