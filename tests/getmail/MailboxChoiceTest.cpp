// Which protocol and mailbox a run reads, from its port and the environment.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tools/getmail/Errors.h"
#include "tools/getmail/MailSession.h"

namespace getmail {
namespace {

TEST(MailboxChoice, GoesByThePortThenTheEnvironment) {
  struct Case {
    int port;
    const char* protocol;  // QUARROW_GETMAIL_PROTOCOL; nullptr: unset
    const char* folder;    // QUARROW_GETMAIL_IMAP_FOLDER
    std::string chosen, mailbox;
  } cases[] = {
      {995, nullptr, nullptr, "pop3", ""},
      {110, nullptr, "Work", "pop3", ""},
      {993, nullptr, nullptr, "imap", "INBOX"},
      {143, "pop3", "Work", "imap", "Work"},
      {1143, "imap", nullptr, "imap", "INBOX"},
      {1143, "imap", "", "imap", "INBOX"},
      {1110, "pop3", nullptr, "pop3", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.port);
    if (c.protocol) setenv("QUARROW_GETMAIL_PROTOCOL", c.protocol, 1); else unsetenv("QUARROW_GETMAIL_PROTOCOL");
    if (c.folder) setenv("QUARROW_GETMAIL_IMAP_FOLDER", c.folder, 1); else unsetenv("QUARROW_GETMAIL_IMAP_FOLDER");
    MailboxChoice choice = ChooseMailbox(c.port);
    EXPECT_EQ(choice.protocol, c.chosen);
    EXPECT_EQ(choice.mailbox, c.mailbox);
  }
  setenv("QUARROW_GETMAIL_PROTOCOL", "IMAP4", 1);
  EXPECT_THROW(ChooseMailbox(1143), Error);
  unsetenv("QUARROW_GETMAIL_PROTOCOL");
  unsetenv("QUARROW_GETMAIL_IMAP_FOLDER");
}

}  // namespace
}  // namespace getmail
