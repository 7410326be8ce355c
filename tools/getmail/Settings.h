// What the environment tells getmail beyond its command line.
#pragma once

#include <chrono>
#include <string>

namespace getmail {

// Names the environment variable with an extra CA file to trust.
inline constexpr const char* kCaFileVariable = "QUARROW_GETMAIL_CAFILE";
// Names the environment variable with the time-out in seconds (default 30).
inline constexpr const char* kTimeoutVariable = "QUARROW_GETMAIL_TIMEOUT";
// Names the environment variable with more ports that use TLS from the start
// (comma-separated); ports 995 (POP3S) and 993 (IMAPS) always do.
inline constexpr const char* kTlsPortsVariable = "QUARROW_GETMAIL_TLS_PORTS";
// Names the environment variable that says which protocol a port other than
// 993 and 143 (IMAP) speaks: "imap", or "pop3" (the default).
inline constexpr const char* kProtocolVariable = "QUARROW_GETMAIL_PROTOCOL";
// Names the environment variable with the IMAP mailbox to read (INBOX if
// unset).
inline constexpr const char* kImapFolderVariable = "QUARROW_GETMAIL_IMAP_FOLDER";
// Names the environment variable with the IMAP mailbox that messages are
// moved to in place of being deleted.
inline constexpr const char* kImapMoveToVariable = "QUARROW_GETMAIL_IMAP_MOVE_TO";
// Names the environment variable that, set to kPlainTextAllowed, lets the
// password go to a server that offers no TLS.
inline constexpr const char* kPlainTextVariable = "QUARROW_GETMAIL_PLAINTEXT";
inline constexpr const char* kPlainTextAllowed = "allow";

// The time-out from kTimeoutVariable, or 30 s.
std::chrono::milliseconds TimeoutFromEnvironment();

// Whether `port` uses TLS from the start: 995, 993, or one in
// kTlsPortsVariable.
bool IsImplicitTlsPort(int port);

// Whether the user has allowed the password in plain text (kPlainTextVariable
// is kPlainTextAllowed, exactly).
bool PlainTextAllowed();

// The value of the environment variable `name`; empty if unset.
std::string FromEnvironment(const char* name);

}  // namespace getmail
