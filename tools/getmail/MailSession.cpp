#include "tools/getmail/MailSession.h"

#include "tools/getmail/Errors.h"
#include "tools/getmail/ImapSession.h"
#include "tools/getmail/Pop3Session.h"
#include "tools/getmail/Settings.h"

namespace getmail {

MailboxChoice ChooseMailbox(int port) {
  std::string protocol = FromEnvironment(kProtocolVariable);
  if (port == 993 || port == 143) {
    protocol = "imap";
  } else if (protocol.empty()) {
    protocol = "pop3";
  } else if (protocol != "imap" && protocol != "pop3") {
    throw Error(std::string(kProtocolVariable) + " must be imap or pop3");
  }
  if (protocol == "pop3") return {protocol, std::string()};
  std::string mailbox = FromEnvironment(kImapFolderVariable);
  return {protocol, mailbox.empty() ? std::string("INBOX") : mailbox};
}

std::unique_ptr<MailSession> OpenMailSession(const std::string& server, int port,
                                             const Credentials& credentials,
                                             std::chrono::milliseconds timeout) {
  const MailboxChoice choice = ChooseMailbox(port);
  if (choice.protocol == "imap") {
    return std::make_unique<ImapSession>(server, port, credentials, timeout, choice.mailbox);
  }
  return std::make_unique<Pop3Session>(server, port, credentials, timeout);
}

}  // namespace getmail
