// One POP3 session (RFC 1939, with CAPA and PIPELINING from RFC 2449 and STLS
// from RFC 2595) over one Connection. It never reconnects, and it sends QUIT
// only when asked to: destroying a session without Quit() closes the
// connection as it stands, so the server rolls back every DELE of the
// session.
//
// Everything the server sends is bounded before it is believed: status
// lines kStatusLineLimit, a header kHeaderLimit, a reply's time by the
// LineReader's progress floor, a message's bytes by the size the server
// announced for it, and every list by the message count of STAT. The lines
// of a message may be of any length (a whole attachment in one base64 line
// is real mail): they are handed on in parts, never held whole.
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
#include "tools/getmail/Credentials.h"
#include "tools/getmail/LineReader.h"
#include "tools/getmail/MailSession.h"

namespace getmail {

// The longest status line, and the longest line of a CAPA, LIST or UIDL
// listing (RFC 2449 allows 512 bytes).
inline constexpr std::size_t kStatusLineLimit = 8 * 1024;
// Message data is read and handed on in parts of at most this size.
inline constexpr std::size_t kPieceSize = 64 * 1024;
// The longest message header the header run takes.
inline constexpr std::size_t kHeaderLimit = 8 * 1024 * 1024;
// The most messages a mailbox may hold.
inline constexpr int kMessageCountLimit = 100000000;
// The longest unique id taken as one (RFC 1939 allows 70 characters).
inline constexpr std::size_t kUniqueIdLimit = 512;

// The most bytes a reply carrying a message announced as `size` bytes may
// hold as sent: a server that counts bare LF line ends sends twice the size
// for a message of empty lines, dot-stuffing adds at most as much again per
// line, and the status and final lines some more.
inline std::uint64_t Pop3ReplyLimit(std::uint64_t size) { return 2 * size + 64 * 1024; }

class Pop3Session : public MailSession {
 public:
  // Connects to the server; port 995 (and those in kTlsPortsVariable) starts
  // TLS at once. Reads the greeting and the capabilities, switches to TLS
  // with STLS where the server offers it (and then asks for the
  // capabilities again), and logs in: USER/PASS, or AUTH PLAIN where USER is
  // not offered; with a token, AUTH OAUTHBEARER or XOAUTH2. Without TLS it
  // sends neither login nor password unless PlainTextAllowed(), and never a
  // token. Throws Error (kLoginRefused when the server refuses the login).
  Pop3Session(const std::string& server, int port,
              const Credentials& credentials, std::chrono::milliseconds timeout);

  bool IsTls() const { return connection_->IsTls(); }
  bool Offers(const std::string& capability) const;
  // Whether the CAPA reply's SASL line names `mechanism`.
  bool OffersSasl(const std::string& mechanism) const;

  // STAT: the number of messages.
  int MessageCount();
  // LIST n: the size of message n as the server gives it.
  std::uint64_t MessageSize(int message);

  // The header of every message from 1 to `count` (STAT's), as received
  // (line ends as sent, dot-unstuffed, without the empty line that ends it),
  // each handed to `take` with its number, in order. Uses TOP n 0 (RETR
  // where the server has no TOP), with many commands in flight where the
  // server offers PIPELINING. Then, where the server has UIDL, the unique
  // ids: entry n - 1 holds message n's, empty where it has none to go by
  // (none given, an empty one, one longer than kUniqueIdLimit or with
  // control characters, one that two messages share, or two for one
  // message). Nothing if the server has no UIDL.
  std::optional<std::vector<std::string>> HeadersAndUniqueIds(
      int count, const std::function<void(int, std::string_view)>& take);

  // UIDL n: message n's unique id, or nothing if the server gives none that
  // can be gone by.
  std::optional<std::string> UniqueId(int message);
  // UIDL: the numbers of the messages listed with `uid`, of the `count`
  // messages STAT gave. Nothing if the server refuses UIDL.
  std::optional<std::vector<int>> MessagesWithUniqueId(const std::string& uid,
                                                       int count);

  // RETR n: hands the message to `sink` piece by piece as it arrives,
  // dot-unstuffed, byte for byte (CRLF as sent). Checks what arrived
  // against the sizes the server gave (LIST n, and the RETR reply where it
  // names one), allowing for a server that counts line ends other than it
  // sends them: throws Error when the message is clearly short, and when the
  // server sends far more than it announced. Returns the number of bytes
  // handed over.
  std::uint64_t Retrieve(int message,
                         const std::function<void(std::string_view)>& sink);

  // DELE: marks the message deleted. Throws if the server refuses.
  void Delete(int message);

  // QUIT: ends the session, committing deletions. Throws if the server does
  // not confirm.
  void Quit();

  // The runs' view of the session (Pop3MailSession.cpp): messages go by
  // their numbers, found again by their unique ids.
  void ReadHeaders(State& state,
                   const std::function<void(int, std::string_view)>& take) override;
  std::uint64_t Find(const State& state, int i) override;
  std::uint64_t Retrieve(std::uint64_t found,
                         const std::function<void(std::string_view)>& sink) override;
  void Delete(std::uint64_t found) override;
  void Commit() override { Quit(); }
  void Leave() override { Quit(); }

 private:
  // Sends one command line (CRLF added).
  void Send(const std::string& command);
  // Reads a status line: true for "+OK", false for "-ERR". `text` gets the
  // rest of the line, without the line end.
  bool ReadStatus(std::string* text = nullptr);
  // The next line as it stands, without its line end (for SASL exchanges,
  // whose "+ " lines are neither "+OK" nor "-ERR").
  std::string ReadReplyLine();
  // Like ReadStatus, but throws Error naming `what` on "-ERR".
  std::string Expect(const std::string& what);
  // Reads the lines of a multi-line reply up to its final ".", each handed
  // to `take` unstuffed, with its line end. Throws Error naming `what` when
  // a line is longer than `lineLimit` or the reply, as sent, longer than
  // `replyLimit`. Returns how many lines were dot-stuffed.
  std::uint64_t ReadMultiLine(const std::string& what, std::size_t lineLimit,
                              std::uint64_t replyLimit,
                              const std::function<void(std::string_view)>& take);
  // Reads a multi-line reply whose lines may be of any length (a message)
  // up to its final ".", handing each line to `take` unstuffed, in parts of
  // at most 64 KiB, with `ended` true for the part that holds the line end.
  // Throws Error naming `what` when the reply, as sent, is longer than
  // `replyLimit`. Returns how many lines were dot-stuffed.
  std::uint64_t ReadMessageLines(
      const std::string& what, std::uint64_t replyLimit,
      const std::function<void(std::string_view part, bool ended)>& take);
  void ReadCapabilities();
  // Whether UIDL may work: offered, or capabilities unknown.
  bool MayHaveUidl() const;
  // LIST: the size of each of the `count` messages.
  std::vector<std::uint64_t> MessageSizes(int count);
  // Reads a UIDL listing of `count` messages, handing each line's number and
  // id to `take`.
  void ReadUniqueIdListing(int count,
                           const std::function<void(int, std::string)>& take);
  void Login(const std::string& login, const std::string& password);
  // SASL sign-in with an OAuth 2.0 access token (Pop3OAuthLogin.cpp).
  void LoginWithToken(const std::string& login, const std::string& token);

  std::string server_;
  std::unique_ptr<Connection> connection_;
  LineReader reader_;
  std::set<std::string> capabilities_;  // upper-case capability lines
  bool capaWorked_ = false;
};

}  // namespace getmail
