// One POP3 session (RFC 1939, with CAPA and PIPELINING from RFC 2449 and STLS
// from RFC 2595) over one Connection. It never reconnects, and it sends QUIT
// only when asked to: destroying a session without Quit() closes the socket
// as it stands, so the server rolls back every DELE of the session.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "tools/getmail/Connection.h"

namespace getmail {

class Pop3Session {
 public:
  // Connects to the server; port 995 (and those in kTlsPortsVariable) starts
  // TLS at once. Reads the greeting
  // and the capabilities, switches to TLS with STLS where the server offers
  // it, and logs in: USER/PASS, or AUTH PLAIN where USER is not offered.
  // Throws Error (kLoginRefused when the server refuses the login).
  Pop3Session(const std::string& server, int port, const std::string& login,
              const std::string& password, std::chrono::milliseconds timeout);

  bool IsTls() const { return connection_->IsTls(); }
  bool Offers(const std::string& capability) const;

  // STAT: the number of messages.
  int MessageCount();

  // UIDL for all messages: entry n - 1 holds message n's unique id (empty
  // where the server gave none). Nothing if the server has no UIDL.
  std::optional<std::vector<std::string>> UniqueIds();
  // UIDL n: message n's unique id, or nothing if the server refuses.
  std::optional<std::string> UniqueId(int message);

  // The header of every message from 1 to `count`, as received (line ends
  // as sent, dot-unstuffed, without the empty line that ends it), each
  // handed to `take` with its number, in order; then UniqueIds(). Uses TOP
  // n 0 (RETR where the server has no TOP), with many commands in flight
  // where the server offers PIPELINING.
  std::optional<std::vector<std::string>> HeadersAndUniqueIds(
      int count, const std::function<void(int, std::string_view)>& take);

  // RETR n: hands the message to `sink` piece by piece as it arrives,
  // dot-unstuffed, byte for byte (CRLF as sent). Returns the number of bytes
  // handed over.
  std::uint64_t Retrieve(int message,
                         const std::function<void(std::string_view)>& sink);

  // DELE: marks the message deleted. Throws if the server refuses.
  void Delete(int message);

  // QUIT: ends the session, committing deletions. Throws if the server does
  // not confirm.
  void Quit();

 private:
  // Sends one command line (CRLF added).
  void Send(const std::string& command);
  // Reads a status line: true for "+OK", false for "-ERR". `text` gets the
  // rest of the line, without the line end.
  bool ReadStatus(std::string* text = nullptr);
  // Like ReadStatus, but throws Error naming `what` on "-ERR".
  std::string Expect(const std::string& what);
  // Reads the lines of a multi-line reply up to its final ".", unstuffed.
  void ReadMultiLine(std::string& out);
  void ReadCapabilities();
  // Whether UIDL may work: offered, or capabilities unknown.
  bool MayHaveUidl() const;
  // Reads the reply to UIDL.
  std::optional<std::vector<std::string>> ReadUniqueIds();
  void Login(const std::string& login, const std::string& password);

  std::string server_;
  std::unique_ptr<Connection> connection_;
  std::set<std::string> capabilities_;  // upper-case capability lines
  bool capaWorked_ = false;
};

}  // namespace getmail
