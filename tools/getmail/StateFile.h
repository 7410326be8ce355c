// What a header run leaves for the retrieval runs after it: the mailbox it
// read, the number of messages N, and for each message a fingerprint of its
// header and its unique id (POP3's UIDL, IMAP's UID), where it has one to go
// by.
//
// It is the file ".getmail-state" in the mail folder, whose name matches
// neither "MSG*.TXT" nor "Extract*". Text, one item a line:
//   getmail-state 3
//   server SERVER
//   port PORT
//   login LOGIN
//   protocol pop3|imap
//   mailbox MAILBOX                  (IMAP's; empty for POP3)
//   uidvalidity UIDVALIDITY          (IMAP's; 0 for POP3)
//   count N
//   1 FINGERPRINT UID-OF-MESSAGE-1
//   2 FINGERPRINT                    (no unique id to go by)
//   ...
//   N FINGERPRINT UID-OF-MESSAGE-N
// A retrieval run reads it only as far as its message. A file of version 2,
// which lacks the protocol, mailbox and uidvalidity lines, is read as POP3's.
#pragma once

#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <vector>

namespace getmail {

inline constexpr const char* kStateFileName = ".getmail-state";

// What the header run noted about one message.
struct MessageMark {
  std::string print;  // HeaderFingerprint() of its header
  std::string uid;    // its unique id; empty where it has none to go by
};

struct State {
  std::string server;
  int port = 0;
  std::string login;
  std::string protocol = "pop3";
  std::string mailbox;             // IMAP: the mailbox read
  std::uint32_t uidValidity = 0;   // IMAP: its UIDVALIDITY
  int count = 0;  // N: the header files are MSG1 ... MSGN
  // marks[n - 1] is message n's: all N when written; when read, those up to
  // the message asked for.
  std::vector<MessageMark> marks;
};

// The file's text for `state` (marks for all its messages).
std::string FormatState(const State& state);
// A state from such a text: its header lines, and the marks of messages 1
// to `through` (at most N). Nothing if the text is not a valid state: a
// line is bad or missing, or the last line is not message N's.
std::optional<State> ParseState(std::istream& in, int through);

// Reads kStateFileName in the current folder up to message `through`:
// nothing if the file is missing; throws Error if it cannot be read or is
// damaged.
std::optional<State> LoadState(int through);
// Writes kStateFileName in the current folder, atomically.
void SaveState(const State& state);
// Removes kStateFileName from the current folder, if it is there.
void ForgetState();

}  // namespace getmail
