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
#include "tools/getmail/Connection.h"
#include "tools/getmail/Errors.h"
#include "tools/getmail/Pop3Session.h"

namespace {

std::string_view serverBytes;  // what the next connection hands out

// A connection to a server that says `serverBytes`. Each read gets the
// next piece, by turns up to the end of a line or a few bytes across line
// ends, so that line framing is tried at every boundary while a reply can
// still end exactly where a read does (as a server's does before STLS).
class ScriptedConnection : public getmail::Connection {
 public:
  explicit ScriptedConnection(std::string_view bytes) : bytes_(bytes) {}
  void StartTls() override { tls_ = true; }
  bool IsTls() const override { return tls_; }
  void Write(std::string_view) override {}
  std::size_t ReadSome(char* buffer, std::size_t size) override {
    if (bytes_.empty()) throw getmail::Error("the server closed the connection");
    static constexpr std::size_t kPieces[] = {0, 1, 0, 7, 0, 4096};  // 0: to the line end
    std::size_t piece = kPieces[turn_++ % std::size(kPieces)];
    if (piece == 0) piece = std::min(bytes_.find('\n'), bytes_.size() - 1) + 1;
    std::size_t n = std::min({piece, size, bytes_.size()});
    std::copy_n(bytes_.data(), n, buffer);
    bytes_.remove_prefix(n);
    return n;
  }

 private:
  std::string_view bytes_;
  std::size_t turn_ = 0;
  bool tls_ = false;
};

// Runs one step; a refusal or a broken reply ends that step only, so that
// later steps read on from wherever it stopped.
void Step(const std::function<void()>& step) {
  try {
    step();
  } catch (const getmail::Error&) {
  }
}

}  // namespace

// In place of the real connection (posix/), which is then not linked in.
std::unique_ptr<getmail::Connection> getmail::Connect(const std::string&, int,
                                                      std::chrono::milliseconds) {
  return std::make_unique<ScriptedConnection>(serverBytes);
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Servers without STLS get the login too, so that what follows is tried.
  setenv("QUARROW_GETMAIL_PLAINTEXT", "allow", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  serverBytes = fuzz::AsText(data, size);
  std::unique_ptr<getmail::Pop3Session> session;
  Step([&] {
    session = std::make_unique<getmail::Pop3Session>(
        "pop.example.org", 110, getmail::Credentials{"me", "Sesame-77", std::nullopt},
        std::chrono::seconds(10));
  });
  if (!session) return 0;
  int count = 0;
  Step([&] { count = session->MessageCount(); });
  Step([&] { session->MessageSize(1); });
  Step([&] {
    session->HeadersAndUniqueIds(count, [&](int, std::string_view header) {
      fuzz::Require(header.size() <= size, "a header is no longer than what was sent");
    });
  });
  Step([&] { session->UniqueId(1); });
  Step([&] { session->MessagesWithUniqueId("000000016a1b2c3d", count); });
  Step([&] {
    std::uint64_t handed = 0;
    auto tally = [&](std::string_view piece) { handed += piece.size(); };
    std::uint64_t told = session->Retrieve(1, tally);
    fuzz::Require(told == handed && handed <= size, "a message is no longer than what was sent");
  });
  Step([&] { session->Delete(1); });
  Step([&] { session->Quit(); });
  return 0;
}
