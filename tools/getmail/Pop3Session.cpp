#include "tools/getmail/Pop3Session.h"

#include "tools/getmail/Errors.h"
#include "tools/getmail/ReplyText.h"
#include "tools/getmail/ServerText.h"
#include "tools/getmail/Settings.h"

namespace getmail {
namespace {

// The most bytes a CAPA reply may hold.
constexpr std::uint64_t kCapabilitiesLimit = 64 * 1024;

}  // namespace

Pop3Session::Pop3Session(const std::string& server, int port,
                         const Credentials& credentials,
                         std::chrono::milliseconds timeout)
    : server_(server),
      connection_(Connect(server, port, timeout)),
      reader_(*connection_, server, timeout) {
  bool implicitTls = IsImplicitTlsPort(port);
  if (implicitTls) connection_->StartTls();
  std::string greeting;
  if (!ReadStatus(&greeting)) {
    throw Error("the server " + server + " turned the connection away" + Saying(greeting));
  }
  ReadCapabilities();
  if (!implicitTls && Offers("STLS")) {
    Send("STLS");
    Expect("starting TLS (STLS)");
    // Whatever came after the reply was never under TLS: a man in the
    // middle may have put it there to be read as the server's.
    if (reader_.HasUnread()) {
      throw Error("the server " + server + " sent more after agreeing to STLS");
    }
    connection_->StartTls();
    // RFC 2595: what was learnt before TLS may have been changed on the way;
    // ask again.
    ReadCapabilities();
  }
  if (credentials.token) {
    // Never in clear, whatever the user allowed for passwords.
    LoginWithToken(credentials.login, *credentials.token);
    return;
  }
  if (!connection_->IsTls() && !PlainTextAllowed()) {
    throw Error("the server " + server + " offers no TLS on port " +
                std::to_string(port) +
                " (no STLS), so the password would go in plain text; it was "
                "not sent. To send it anyway, set " +
                kPlainTextVariable + "=" + kPlainTextAllowed);
  }
  Login(credentials.login, credentials.password);
}

bool Pop3Session::Offers(const std::string& capability) const {
  std::string wanted = Upper(capability);
  for (const std::string& line : capabilities_) {
    if (line == wanted || line.rfind(wanted + " ", 0) == 0) return true;
  }
  return false;
}

bool Pop3Session::OffersSasl(const std::string& mechanism) const {
  std::string wanted = " " + Upper(mechanism) + " ";
  for (const std::string& line : capabilities_) {
    if (line.rfind("SASL ", 0) == 0 && (line + " ").find(wanted) != std::string::npos) {
      return true;
    }
  }
  return false;
}

std::string Pop3Session::ReadReplyLine() {
  reader_.StartReply();
  return StripLineEnd(reader_.ReadLine(kStatusLineLimit));
}

void Pop3Session::Send(const std::string& command) {
  connection_->Write(command + "\r\n");
}

bool Pop3Session::ReadStatus(std::string* text) {
  reader_.StartReply();
  std::string_view raw = reader_.ReadLine(kStatusLineLimit);
  if (text == nullptr && raw.substr(0, 3) == "+OK") return true;  // the common case
  std::string line = StripLineEnd(raw);
  bool ok;
  std::size_t skip;
  if (line.rfind("+OK", 0) == 0) {
    ok = true;
    skip = 3;
  } else if (line.rfind("-ERR", 0) == 0) {
    ok = false;
    skip = 4;
  } else {
    throw Error("the server " + server_ + " sent something that is not POP3: " + Shown(line));
  }
  if (text != nullptr) {
    *text = line.substr(std::min(line.size(), skip));
    if (!text->empty() && (*text)[0] == ' ') text->erase(0, 1);
  }
  return ok;
}

std::string Pop3Session::Expect(const std::string& what) {
  std::string text;
  if (!ReadStatus(&text)) {
    throw Error("the server " + server_ + " refused " + what + Saying(text));
  }
  return text;
}

std::uint64_t Pop3Session::ReadMultiLine(
    const std::string& what, std::size_t lineLimit, std::uint64_t replyLimit,
    const std::function<void(std::string_view)>& take) {
  std::uint64_t received = 0;
  std::uint64_t stuffed = 0;
  for (;;) {
    std::string_view line = reader_.ReadLine(lineLimit);
    received += line.size();
    if (received > replyLimit) {
      throw Error("the server " + server_ + " sent more than " +
                  std::to_string(replyLimit) + " bytes for " + what);
    }
    if (!line.empty() && line[0] == '.') {
      if (line == ".\r\n" || line == ".\n") return stuffed;
      line.remove_prefix(1);
      ++stuffed;
    }
    take(line);
  }
}

std::uint64_t Pop3Session::ReadMessageLines(
    const std::string& what, std::uint64_t replyLimit,
    const std::function<void(std::string_view, bool)>& take) {
  std::uint64_t received = 0;
  std::uint64_t stuffed = 0;
  bool lineStart = true;
  for (;;) {
    bool ended = false;
    std::string_view part = reader_.ReadLinePart(kPieceSize, ended);
    received += part.size();
    if (received > replyLimit) {
      throw Error("the server " + server_ + " sent more than " +
                  std::to_string(replyLimit) + " bytes for " + what);
    }
    // A line's first part holds all of a short line, so the final "." and
    // a stuffed dot are seen whole.
    if (lineStart && part[0] == '.') {
      if (part == ".\r\n" || part == ".\n") return stuffed;
      part.remove_prefix(1);
      ++stuffed;
    }
    lineStart = ended;
    if (!part.empty()) take(part, ended);
  }
}

void Pop3Session::ReadCapabilities() {
  capabilities_.clear();
  Send("CAPA");
  capaWorked_ = ReadStatus();
  if (!capaWorked_) return;
  ReadMultiLine("its capabilities (CAPA)", kStatusLineLimit, kCapabilitiesLimit,
                [this](std::string_view line) {
                  std::string capability = StripLineEnd(line);
                  if (!capability.empty()) capabilities_.insert(Upper(capability));
                });
}

}  // namespace getmail
