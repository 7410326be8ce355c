// Fuzzes how a POP3 session reads a server's replies: greeting, CAPA, STLS,
// login, STAT, LIST, the headers (TOP, pipelined where offered), UIDL, RETR,
// DELE and QUIT, and the line framing under them. The input is all the
// server says, whatever the client asks; it reaches the session through a
// stand-in Connection that this program links in place of the real one.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <memory>
#include <string>

#include "FuzzSupport.h"
#include "ScriptedServer.h"
#include "tools/getmail/Connection.h"
#include "tools/getmail/Errors.h"
#include "tools/getmail/Pop3Session.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Servers without STLS get the login too, so that what follows is tried.
  setenv("QUARROW_GETMAIL_PLAINTEXT", "allow", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  fuzz::serverBytes = fuzz::AsText(data, size);
  std::unique_ptr<getmail::Pop3Session> session;
  fuzz::Step([&] {
    session = std::make_unique<getmail::Pop3Session>(
        "pop.example.org", 110, getmail::Credentials{"me", "Sesame-77", std::nullopt},
        std::chrono::seconds(10));
  });
  if (!session) return 0;
  int count = 0;
  fuzz::Step([&] { count = session->MessageCount(); });
  fuzz::Step([&] { session->MessageSize(1); });
  fuzz::Step([&] {
    session->HeadersAndUniqueIds(count, [&](int, std::string_view header) {
      fuzz::Require(header.size() <= size, "a header is no longer than what was sent");
    });
  });
  fuzz::Step([&] { session->UniqueId(1); });
  fuzz::Step([&] { session->MessagesWithUniqueId("000000016a1b2c3d", count); });
  fuzz::CheckRetrieval(size, [&](const auto& sink) { return session->Retrieve(1, sink); });
  fuzz::Step([&] { session->Delete(1); });
  fuzz::Step([&] { session->Quit(); });
  return 0;
}
