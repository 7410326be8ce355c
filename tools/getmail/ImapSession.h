// One IMAP session (IMAP4rev1, with STARTTLS, SASL-IR, UIDPLUS and MOVE
// where offered) over one Connection, reading one mailbox. Messages go by
// their UIDs under the mailbox's UIDVALIDITY; the header run opens the
// mailbox read-only (EXAMINE) and changes no flag. It never sends a plain
// EXPUNGE or CLOSE, which would expunge what other clients flagged \Deleted.
//
// Everything the server sends is bounded before it is believed (see
// ImapReader): lines, literals, responses, and each wait by the LineReader's
// time-out and progress floor; untagged responses (EXISTS, EXPUNGE, FETCH of
// other messages, BYE) are taken at any point.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "tools/getmail/Connection.h"
#include "tools/getmail/Credentials.h"
#include "tools/getmail/Errors.h"
#include "tools/getmail/ImapReader.h"
#include "tools/getmail/LineReader.h"
#include "tools/getmail/MailSession.h"

namespace getmail {

class ImapSession : public MailSession {
 public:
  // Connects to the server; port 993 (and those in kTlsPortsVariable) starts
  // TLS at once. Reads the greeting and the capabilities, switches to TLS
  // with STARTTLS where the server offers it (and then asks for the
  // capabilities again), and signs in: AUTHENTICATE PLAIN, or LOGIN; with a
  // token, AUTHENTICATE OAUTHBEARER or XOAUTH2. Without TLS it sends no
  // password unless PlainTextAllowed(), and never a token. `mailbox` is the
  // one the runs read (UTF-8). Throws Error (kLoginRefused when the server
  // refuses the sign-in).
  ImapSession(const std::string& server, int port, const Credentials& credentials,
              std::chrono::milliseconds timeout, std::string mailbox);

  bool IsTls() const { return connection_->IsTls(); }
  // Whether the server lists `capability` ("UIDPLUS", "AUTH=PLAIN").
  bool Offers(const std::string& capability) const;

  void ReadHeaders(State& state,
                   const std::function<void(int, std::string_view)>& take) override;
  std::uint64_t Find(const State& state, int i) override;
  std::uint64_t Retrieve(std::uint64_t uid,
                         const std::function<void(std::string_view)>& sink) override;
  void Delete(std::uint64_t uid) override;
  void Commit() override;
  void Leave() override;

 private:
  // A command's completion: its tagged OK, NO or BAD and the text after it.
  struct Completion {
    bool ok = false;
    std::string text;
    bool continued = false;  // no completion yet: a continuation request came
  };
  // What a command wants of the untagged responses that come while it runs
  // (each may be empty): FETCH (its number; the reader is before the list),
  // EXPUNGE and EXISTS.
  struct Untagged {
    std::function<void(std::uint64_t, ImapReader&)> fetch;
    std::function<void(std::uint64_t)> expunge;
    std::function<void(std::uint64_t)> exists;
  };

  std::string NextTag();
  // Sends one line (CRLF added).
  void Send(const std::string& line);
  // Sends `command` under a new tag, and reads the responses up to its
  // completion.
  Completion Command(const std::string& command, const Untagged& untagged = {});
  // Reads responses up to the completion of `tag`; where `continuation` is
  // given, stops at a continuation request ("+") too, whose text it gets.
  Completion Await(const std::string& tag, const Untagged& untagged,
                   std::string* continuation = nullptr);
  void HandleUntagged(const Untagged& untagged);
  // Takes what a response code says: [CAPABILITY ...], [UIDVALIDITY n].
  void NoteCode(const std::string& text);
  void ReadCapabilities();
  // Signing in (ImapLogin.cpp).
  void Login(const std::string& login, const std::string& password);
  void LoginWithToken(const std::string& login, const std::string& token);
  // AUTHENTICATE `mechanism` with `response` (base64), as an initial
  // response where the server offers SASL-IR. A challenge after the response
  // (a refusal, for OAuth) is answered with `abort` and its text goes to
  // `challenge`.
  Completion Authenticate(const std::string& mechanism, const std::string& response,
                          const std::string& abort, std::string* challenge);
  // Opens the mailbox: read-only (EXAMINE) or to change it (SELECT). Throws
  // Error if refused.
  void Open(bool readOnly);
  // A refusal of `what`, with the server's text.
  Error Refused(const std::string& what, const Completion& completion) const;

  std::string server_;
  std::string mailbox_;
  std::unique_ptr<Connection> connection_;
  LineReader lines_;
  ImapReader reader_;
  std::set<std::string> capabilities_;  // upper case
  int tags_ = 0;
  std::uint64_t exists_ = 0;
  std::optional<std::uint32_t> uidValidity_;
  bool loggingOut_ = false;
  // The retrieval run's message: its size as the server gave it (FETCH
  // RFC822.SIZE), and the mailbox it is moved to in place of deleted.
  std::optional<std::uint64_t> announced_;
  std::string moveTo_;
  std::uint64_t deleting_ = 0;  // the UID Delete() asked for, until Commit()
};

// `name` (UTF-8) as an IMAP mailbox name: modified UTF-7 (RFC 3501, 5.1.3),
// as a quoted string.
std::string MailboxArgument(const std::string& name);

}  // namespace getmail
