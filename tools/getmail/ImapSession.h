#pragma once
#include "tools/getmail/MailSession.h"
namespace getmail {
class ImapSession {
 public:
  ImapSession(const std::string& server, int port, const Credentials& credentials,
              std::chrono::milliseconds timeout, const std::string& mailbox);
};
}  // namespace getmail
