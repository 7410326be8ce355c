// Fuzzes how an IMAP session reads a server's responses: greeting,
// capabilities, STARTTLS, sign-in, EXAMINE and the header run's UID FETCH,
// SELECT, the retrieval's UID FETCH, STORE, EXPUNGE or MOVE, LOGOUT, with
// literals, quoted strings and untagged responses anywhere. The input is all
// the server says, whatever the client asks (the tags it expects are Q1,
// Q2, ...); it reaches the session through a stand-in Connection that this
// program links in place of the real one.
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

#include "FuzzSupport.h"
#include "ScriptedServer.h"
#include "tools/getmail/Connection.h"
#include "tools/getmail/ImapSession.h"
#include "tools/getmail/Settings.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Servers without STARTTLS get the password too, so that what follows is
  // tried.
  setenv(getmail::kPlainTextVariable, "allow", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  fuzz::serverBytes = fuzz::AsText(data, size);
  // Half the inputs move the message rather than delete it.
  if (size % 2 == 1) {
    setenv(getmail::kImapMoveToVariable, "Archive/2024 \xc3\xa4", 1);
  } else {
    unsetenv(getmail::kImapMoveToVariable);
  }
  std::unique_ptr<getmail::ImapSession> session;
  fuzz::Step([&] {
    session = std::make_unique<getmail::ImapSession>(
        "imap.example.org", 143, getmail::Credentials{"me", "Sesame-77", std::nullopt},
        std::chrono::seconds(10), "INBOX");
  });
  if (!session) return 0;
  getmail::State state;
  state.count = 0;
  fuzz::Step([&] {
    session->ReadHeaders(state, [&](int n, std::string_view header) {
      fuzz::Require(n >= 1 && n <= state.count, "a header has a number of the mailbox");
      fuzz::Require(header.size() <= size, "a header is no longer than what was sent");
    });
  });
  fuzz::Require(state.marks.size() == static_cast<std::size_t>(state.count),
                "a mark for each message");
  // The retrieval of message 1, UID 1, whatever the header run found.
  state.count = 1;
  state.marks = {{"0123456789abcdef", "1"}};
  fuzz::Step([&] { session->Find(state, 1); });
  fuzz::CheckRetrieval(size, [&](const auto& sink) { return session->Retrieve(std::uint64_t{1}, sink); });
  fuzz::Step([&] { session->Delete(1); });
  fuzz::Step([&] { session->Commit(); });
  return 0;
}
