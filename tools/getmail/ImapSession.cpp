#include "tools/getmail/ImapSession.h"
#include "tools/getmail/Errors.h"
namespace getmail {
ImapSession::ImapSession(const std::string&, int, const Credentials&, std::chrono::milliseconds,
                         const std::string&) {
  throw Error("IMAP is not built yet");
}
}  // namespace getmail
