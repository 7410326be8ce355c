// What a header run leaves for the retrieval runs after it: the mailbox it
// read, the number of messages N and each message's unique id (UIDL), or
// where the server has no UIDL a fingerprint of each message's header.
//
// It is the file ".getmail-state" in the mail folder, whose name matches
// neither "MSG*.TXT" nor "Extract*". Text, one item a line:
//   getmail-state 1
//   server SERVER
//   port PORT
//   login LOGIN
//   count N
//   uidl yes|no
//   1 UID-OF-MESSAGE-1      (uidl no: 1 HEADER-FINGERPRINT-OF-MESSAGE-1)
//   ...
//   N UID-OF-MESSAGE-N
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace getmail {

inline constexpr const char* kStateFileName = ".getmail-state";

struct State {
  std::string server;
  int port = 0;
  std::string login;
  int count = 0;                  // N: the header files are MSG1 ... MSGN
  bool hasUids = false;           // false: the server had no UIDL
  std::vector<std::string> uids;  // uids[n - 1] is message n's, if hasUids
  // prints[n - 1] is HeaderFingerprint() of message n's header, if !hasUids.
  std::vector<std::string> prints;
};

// The file's text for `state`, and `state` from such a text (nothing if the
// text is not a valid state).
std::string FormatState(const State& state);
std::optional<State> ParseState(const std::string& text);

// Reads kStateFileName in the current folder: nothing if it is missing;
// throws Error if it cannot be read or is damaged.
std::optional<State> LoadState();
// Writes kStateFileName in the current folder, atomically.
void SaveState(const State& state);
// Removes kStateFileName from the current folder, if it is there.
void ForgetState();

}  // namespace getmail
