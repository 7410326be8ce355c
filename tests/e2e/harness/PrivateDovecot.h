// A private Dovecot POP3 and IMAP server on loopback for one test program, run by
// tests/e2e/private-dovecot.sh in a folder of its own.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Files.h"

namespace harness {

class PrivateDovecot {
 public:
  // Why a private Dovecot cannot run here (e.g. not installed), or nothing.
  static std::optional<std::string> Unavailable();

  // Starts one. Throws std::runtime_error if it does not start. `settings`
  // are environment variables for private-dovecot.sh's start (for example
  // OAUTH2_INTROSPECTION_URL, or DOVECOT_PASSWORD for the user's password).
  explicit PrivateDovecot(std::map<std::string, std::string> settings = {});
  ~PrivateDovecot();

  const std::string& user() const { return user_; }
  const std::string& password() const { return password_; }
  // "localhost": the name on the server's certificate.
  std::string host() const { return "localhost"; }
  int pop3Port() const { return pop3_; }    // plain, with STLS
  int pop3sPort() const { return pop3s_; }  // TLS from the start
  int imapPort() const { return imap_; }    // plain, with STARTTLS
  int imapsPort() const { return imaps_; }  // TLS from the start
  // The server's self-signed certificate, to trust as a CA.
  std::string caFile() const { return folder_ / "ca.pem"; }
  std::string folder() const { return folder_.path(); }
  // The environment under which getmail trusts this server and uses TLS from
  // the start on its POP3S and IMAPS ports.
  std::map<std::string, std::optional<std::string>> ToolEnvironment() const;

  // Replaces the mailbox's messages with `messages` (whole messages, CRLF
  // line ends), numbered in the order given.
  void SetMessages(const std::vector<std::string>& messages);
  // The messages in the mailbox now, in the order the server numbers them,
  // but for those flagged \Deleted; or those of another IMAP mailbox.
  std::vector<std::string> Messages(const std::string& mailbox = "INBOX") const;
  // How many messages of INBOX are flagged \Deleted, and how many \Seen.
  int FlaggedDeleted() const { return CountFlagged('T'); }
  int FlaggedSeen() const { return CountFlagged('S'); }
  // Takes the message that holds `marker` out of the mailbox behind the
  // server's back, as another mail client would delete it.
  void RemoveMessageWith(const std::string& marker);

  void Stop();
  void Start();
  bool running() const { return running_; }

 private:
  std::string Script(const std::vector<std::string>& args,
                     const std::map<std::string, std::optional<std::string>>& env = {}) const;
  std::string MailFolder() const;
  int CountFlagged(char flag) const;

  TempFolder folder_;
  std::map<std::string, std::string> settings_;
  std::string user_ = "quarrow";
  std::string password_ = "secret";
  int pop3_ = 0;
  int pop3s_ = 0;
  int imap_ = 0;
  int imaps_ = 0;
  bool running_ = false;
};

}  // namespace harness
