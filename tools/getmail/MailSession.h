// What the two runs need of a mail server, whichever protocol it speaks:
// POP3 (Pop3Session) or IMAP (ImapSession). The runs (Runs.cpp) go through
// this interface only.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "tools/getmail/Credentials.h"
#include "tools/getmail/StateFile.h"

namespace getmail {

// Which protocol and which mailbox a run on `port` reads: port 993 and 143
// are IMAP, others POP3 unless kProtocolVariable says "imap"; the IMAP
// mailbox is kImapFolderVariable's or INBOX. Throws Error for a protocol
// name it does not know.
struct MailboxChoice {
  std::string protocol;  // "pop3" or "imap"
  std::string mailbox;   // empty for POP3
};
MailboxChoice ChooseMailbox(int port);

class MailSession {
 public:
  // Closes the connection as it stands: nothing that was not committed is
  // made final (POP3 rolls back its deletions; IMAP expunges nothing).
  virtual ~MailSession() = default;

  // Header run. Notes the mailbox in `state` (protocol, mailbox, its
  // UIDVALIDITY where it has one, the message count N, and N marks), then
  // hands the header of every message 1 ... N to `take` exactly once, with
  // its number (in no promised order), as received without the empty line
  // after it; then notes each message's unique id in its mark, where it has
  // one to go by. Changes nothing on the server. Throws Error.
  virtual void ReadHeaders(State& state,
                           const std::function<void(int, std::string_view)>& take) = 0;

  // Retrieval run of message i of the header run that left `state`: where
  // the message is in this session (a number or an id, whatever the
  // protocol goes by). Throws Error (kMessageGone) if it is no longer there,
  // or the mailbox is not the one the header run read.
  virtual std::uint64_t Find(const State& state, int i) = 0;

  // Hands the message Find() gave to `sink` piece by piece as it arrives,
  // byte for byte. Throws Error when it comes short of or beyond what the
  // server announced. Returns the number of bytes handed over.
  virtual std::uint64_t Retrieve(std::uint64_t found,
                                 const std::function<void(std::string_view)>& sink) = 0;

  // Asks for the message to be deleted (or moved), in a way that a refusal
  // leaves it as it was. Throws Error if refused.
  virtual void Delete(std::uint64_t found) = 0;

  // Makes the deletions final and ends the session. Throws Error when that
  // is not confirmed.
  virtual void Commit() = 0;

  // Ends a session that changed nothing. Throws Error (which changes
  // nothing, and which the caller may ignore).
  virtual void Leave() = 0;

 protected:
  MailSession() = default;
  MailSession(const MailSession&) = delete;
  MailSession& operator=(const MailSession&) = delete;
};

// Connects and signs in with the protocol ChooseMailbox(port) gives. Throws
// Error.
std::unique_ptr<MailSession> OpenMailSession(const std::string& server, int port,
                                             const Credentials& credentials,
                                             std::chrono::milliseconds timeout);

}  // namespace getmail
