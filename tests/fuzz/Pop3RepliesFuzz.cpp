// Fuzzes how a POP3 session reads a server's replies: greeting, CAPA, STLS,
// login, STAT, the headers (TOP, pipelined where offered), UIDL, RETR, DELE
// and QUIT. The input is all the server says, sent whatever the client asks.
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "FuzzSupport.h"
#include "ScriptedServer.h"
#include "tools/getmail/Errors.h"
#include "tools/getmail/Pop3Session.h"

namespace {

// Opens a session to a server that says `serverBytes`.
std::unique_ptr<getmail::Pop3Session> OpenSession(fuzz::ScriptedServer& server,
                                                  std::string_view serverBytes) {
  server.Serve(serverBytes);
  return std::make_unique<getmail::Pop3Session>("127.0.0.1", server.port(), "me",
                                                "Sesame-77", std::chrono::seconds(10));
}

// Whether the input offers STLS anywhere. A TLS handshake over a real
// socket costs a fresh OpenSSL context and ends at once in garbage: such
// inputs only slow the run down a hundredfold, so they are left out.
bool MentionsStls(std::string_view bytes) {
  for (std::size_t at = 0; at + 4 <= bytes.size(); ++at) {
    if ((bytes[at] | 0x20) == 's' && (bytes[at + 1] | 0x20) == 't' &&
        (bytes[at + 2] | 0x20) == 'l' && (bytes[at + 3] | 0x20) == 's') {
      return true;
    }
  }
  return false;
}

// Runs one step; a refusal or a broken reply ends that step only, so that
// later steps read on from wherever it stopped.
void Step(const std::function<void()>& step) {
  try {
    step();
  } catch (const getmail::Error&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  static fuzz::ScriptedServer server;
  std::string_view serverBytes = fuzz::AsText(data, size);
  if (MentionsStls(serverBytes)) return -1;  // not kept in the corpus
  {
    std::unique_ptr<getmail::Pop3Session> session;
    Step([&] { session = OpenSession(server, serverBytes); });
    if (session) {
      int count = 0;
      Step([&] { count = session->MessageCount(); });
      Step([&] {
        session->HeadersAndUniqueIds(count, [&](int, std::string_view header) {
          fuzz::Require(header.size() <= size, "a header is no longer than what was sent");
        });
      });
      Step([&] { session->UniqueIds(); });
      Step([&] { session->UniqueId(1); });
      Step([&] {
        fuzz::Require(session->Retrieve(1).size() <= size,
                      "a message is no longer than what was sent");
      });
      Step([&] { session->Delete(1); });
      Step([&] { session->Quit(); });
    }
  }  // the session closes its end here
  server.Finish();
  return 0;
}
