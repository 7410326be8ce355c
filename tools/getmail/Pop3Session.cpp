#include "tools/getmail/Pop3Session.h"

#include <algorithm>
#include <cctype>
#include <unordered_map>

#include "tools/getmail/Base64.h"
#include "tools/getmail/Errors.h"
#include "tools/getmail/ServerText.h"
#include "tools/getmail/Settings.h"

namespace getmail {
namespace {

// Commands kept in flight in a pipelined header run. The replies to them
// (a header each) fit easily in the socket buffers, so the server never
// stalls on output while we are still sending commands.
constexpr int kWindow = 128;

// The most bytes a CAPA reply may hold.
constexpr std::uint64_t kCapabilitiesLimit = 64 * 1024;

// Pieces of a message are handed on in runs of about this size.
constexpr std::size_t kPieceSize = 64 * 1024;

// The most bytes a reply carrying a message announced as `size` bytes may
// hold as sent: a server that counts bare LF line ends sends twice the size
// for a message of empty lines, dot-stuffing adds at most as much again per
// line, and the status and final lines some more.
std::uint64_t ReplyLimit(std::uint64_t size) { return 2 * size + 64 * 1024; }

// The largest size taken from a server; more is no real mailbox.
constexpr std::uint64_t kSizeLimit = std::uint64_t{1} << 50;

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// ": " and the server's text, if it gave one.
std::string Saying(const std::string& text) {
  return text.empty() ? std::string() : ": " + Shown(text);
}

std::string StripLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
    line.remove_suffix(1);
  }
  return std::string(line);
}

// The decimal number at the start of `text` (after blanks), if it has one
// not above `limit`; `text` is left after it.
std::optional<std::uint64_t> TakeNumber(std::string_view& text, std::uint64_t limit) {
  while (!text.empty() && text[0] == ' ') text.remove_prefix(1);
  std::uint64_t value = 0;
  std::size_t digits = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
    value = value * 10 + static_cast<std::uint64_t>(text[digits] - '0');
    if (value > limit) return std::nullopt;
    ++digits;
  }
  if (digits == 0) return std::nullopt;
  text.remove_prefix(digits);
  return value;
}

// The unique id after the number in a UIDL line, if it is one to go by.
std::optional<std::string> UsableUniqueId(std::string_view rest) {
  while (!rest.empty() && rest[0] == ' ') rest.remove_prefix(1);
  if (rest.empty() || rest.size() > kUniqueIdLimit) return std::nullopt;
  for (char c : rest) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return std::nullopt;
  }
  return std::string(rest);
}

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

void Pop3Session::Login(const std::string& login,
                        const std::string& password) {
  bool useUser = !capaWorked_ || Offers("USER");
  bool usePlain = !useUser && OffersSasl("PLAIN");
  if (!usePlain) useUser = true;  // nothing else to try
  std::string text;
  bool ok;
  if (usePlain) {
    // RFC 4616: authorization id (empty), NUL, login, NUL, password.
    std::string token;
    token += '\0';
    token += login;
    token += '\0';
    token += password;
    const std::string response = Base64Encode(token);
    KeepSecretBase64(response);
    Send("AUTH PLAIN " + response);
    ok = ReadStatus(&text);
  } else {
    Send("USER " + login);
    ok = ReadStatus(&text);
    if (ok) {
      Send("PASS " + password);
      ok = ReadStatus(&text);
    }
  }
  if (!ok) {
    throw Error("the server " + server_ + " refused the login of user " +
                    login + Saying(text),
                kLoginRefused);
  }
}

int Pop3Session::MessageCount() {
  Send("STAT");
  std::string text = Expect("to count the messages (STAT)");
  std::string_view rest = text;
  std::optional<std::uint64_t> count = TakeNumber(rest, kMessageCountLimit);
  if (!count) {
    throw Error("the server " + server_ +
                " gave a STAT reply without a count of at most " +
                std::to_string(kMessageCountLimit) + Saying(text));
  }
  return static_cast<int>(*count);
}

std::uint64_t Pop3Session::MessageSize(int message) {
  Send("LIST " + std::to_string(message));
  std::string text = Expect("to give the size of message " + std::to_string(message));
  std::string_view rest = text;
  std::optional<std::uint64_t> number = TakeNumber(rest, kMessageCountLimit);
  std::optional<std::uint64_t> size = TakeNumber(rest, kSizeLimit);
  if (!number || *number != static_cast<std::uint64_t>(message) || !size) {
    throw Error("the server " + server_ + " gave no size for message " +
                std::to_string(message) + Saying(text));
  }
  return *size;
}

std::vector<std::uint64_t> Pop3Session::MessageSizes(int count) {
  Send("LIST");
  Expect("to list the messages (LIST)");
  std::vector<std::uint64_t> sizes;
  const std::string what = "the message list (LIST)";
  auto mismatch = [&] {
    return Error("the server " + server_ + "'s message list (LIST) does not match its " +
                 std::to_string(count) + " messages (STAT)");
  };
  // A short line a message, in order: so the reply's limit follows from the
  // count.
  ReadMultiLine(what, kStatusLineLimit, static_cast<std::uint64_t>(count + 1) * kStatusLineLimit,
                [&](std::string_view line) {
                  std::optional<std::uint64_t> number = TakeNumber(line, kMessageCountLimit);
                  std::optional<std::uint64_t> size = TakeNumber(line, kSizeLimit);
                  if (!number || !size || *number != sizes.size() + 1 ||
                      *number > static_cast<std::uint64_t>(count)) {
                    throw mismatch();
                  }
                  sizes.push_back(*size);
                });
  if (sizes.size() != static_cast<std::size_t>(count)) throw mismatch();
  return sizes;
}

bool Pop3Session::MayHaveUidl() const { return !capaWorked_ || Offers("UIDL"); }

void Pop3Session::ReadUniqueIdListing(
    int count, const std::function<void(int, std::string)>& take) {
  int lines = 0;
  ReadMultiLine("the unique ids (UIDL)", kStatusLineLimit,
                static_cast<std::uint64_t>(count + 1) * kStatusLineLimit,
                [&](std::string_view line) {
                  const std::string bare = StripLineEnd(line);
                  std::string_view rest = bare;
                  std::optional<std::uint64_t> number = TakeNumber(rest, kMessageCountLimit);
                  if (!number || *number < 1 || *number > static_cast<std::uint64_t>(count) ||
                      ++lines > count) {
                    throw Error("the server " + server_ +
                                " listed unique ids (UIDL) for other messages than its " +
                                std::to_string(count) + " (STAT)" + Saying(bare));
                  }
                  std::optional<std::string> id = UsableUniqueId(rest);
                  take(static_cast<int>(*number), id ? *id : std::string());
                });
}

std::optional<std::string> Pop3Session::UniqueId(int message) {
  Send("UIDL " + std::to_string(message));
  std::string text;
  if (!ReadStatus(&text)) return std::nullopt;
  std::string_view rest = text;
  std::optional<std::uint64_t> number = TakeNumber(rest, kMessageCountLimit);
  if (!number || *number != static_cast<std::uint64_t>(message)) return std::nullopt;
  return UsableUniqueId(rest);
}

std::optional<std::vector<int>> Pop3Session::MessagesWithUniqueId(
    const std::string& uid, int count) {
  if (!MayHaveUidl()) return std::nullopt;
  Send("UIDL");
  if (!ReadStatus()) return std::nullopt;
  std::vector<int> numbers;
  ReadUniqueIdListing(count, [&](int number, std::string id) {
    if (id == uid && std::find(numbers.begin(), numbers.end(), number) == numbers.end()) {
      numbers.push_back(number);
    }
  });
  return numbers;
}

std::optional<std::vector<std::string>> Pop3Session::HeadersAndUniqueIds(
    int count, const std::function<void(int, std::string_view)>& take) {
  const std::vector<std::uint64_t> sizes = MessageSizes(count);
  bool useTop = !capaWorked_ || Offers("TOP");
  // Where commands may be pipelined, UIDL goes out right after the last TOP,
  // so that the server works the ids out while the last header files are
  // still being written; otherwise after the last header.
  bool askUidl = MayHaveUidl();
  int window = Offers("PIPELINING") ? kWindow : 1;
  bool uidlSent = false;
  auto command = [useTop](int n) {
    return (useTop ? "TOP " : "RETR ") + std::to_string(n) +
           (useTop ? " 0\r\n" : "\r\n");
  };
  int sent = 0;  // commands sent: messages 1 .. sent
  std::string batch, header;
  for (int n = 1; n <= count; ++n) {
    // Top the window up once half of it has been answered.
    if (sent < count && sent - (n - 1) <= window / 2) {
      batch.clear();
      while (sent < count && sent - (n - 1) < window) batch += command(++sent);
      if (sent == count && askUidl && window > 1) {
        batch += "UIDL\r\n";
        uidlSent = true;
      }
      connection_->Write(batch);
    }
    std::string text;
    if (!ReadStatus(&text)) {
      throw Error("the server " + server_ + " refused the header of message " +
                  std::to_string(n) + Saying(text));
    }
    // TOP n 0 sends the header and the empty line after it; RETR all. The
    // header is everything before the first empty line.
    header.clear();
    bool inHeader = true;
    const std::string what = "the header of message " + std::to_string(n);
    ReadMultiLine(what, kDataLineLimit, ReplyLimit(sizes[n - 1]),
                  [&](std::string_view line) {
                    if (!inHeader) return;
                    if (line == "\r\n" || line == "\n") {
                      inHeader = false;
                    } else if (header.size() + line.size() > kHeaderLimit) {
                      throw Error("the server " + server_ + " sent more than " +
                                  std::to_string(kHeaderLimit) + " bytes for " + what);
                    } else {
                      header.append(line.data(), line.size());
                    }
                  });
    take(n, header);
  }
  if (!askUidl) return std::nullopt;
  if (!uidlSent) Send("UIDL");
  if (!ReadStatus()) return std::nullopt;
  // Ids that cannot tell one message from all others are dropped: the
  // retrieval run then goes by the number and the header, as without UIDL.
  std::vector<std::string> ids(count);
  std::vector<int> listed(count, 0);
  std::unordered_map<std::string, int> uses;
  ReadUniqueIdListing(count, [&](int number, std::string id) {
    if (++listed[number - 1] > 1) id.clear();
    if (!id.empty()) ++uses[id];
    ids[number - 1] = std::move(id);
  });
  for (int k = 0; k < count; ++k) {
    if (listed[k] != 1 || (!ids[k].empty() && uses[ids[k]] > 1)) ids[k].clear();
  }
  return ids;
}

std::uint64_t Pop3Session::Retrieve(
    int message, const std::function<void(std::string_view)>& sink) {
  const std::string name = "message " + std::to_string(message);
  std::uint64_t announced = MessageSize(message);
  Send("RETR " + std::to_string(message));
  std::string text = Expect("to send " + name);
  // Many servers say "+OK 1234 octets"; take the larger claim.
  std::string_view rest = text;
  std::optional<std::uint64_t> stated = TakeNumber(rest, kSizeLimit);
  if (stated && rest.substr(0, 7) == " octets") announced = std::max(announced, *stated);

  std::string piece;
  piece.reserve(kPieceSize);
  std::uint64_t delivered = 0;
  std::uint64_t bareLineFeeds = 0;
  std::uint64_t stuffed = ReadMultiLine(
      name, kDataLineLimit, ReplyLimit(announced), [&](std::string_view line) {
        delivered += line.size();
        if (line.size() < 2 || line[line.size() - 2] != '\r') ++bareLineFeeds;
        if (!piece.empty() && piece.size() + line.size() > kPieceSize) {
          sink(piece);
          piece.clear();
        }
        if (line.size() >= kPieceSize) {
          sink(line);
        } else {
          piece.append(line.data(), line.size());
        }
      });
  if (!piece.empty()) sink(piece);
  // Dovecot counts what it sends, CRLF and unstuffed. Others count bare LF
  // line ends (they then send more than they said) or dot-stuffing, or are
  // a little off; the most such a server can have counted is what arrived
  // plus one byte for each line that came with a bare LF or was stuffed.
  // Short of that by more than a thirty-second part, the message has been
  // cut.
  const std::uint64_t mostCounted = delivered + bareLineFeeds + stuffed;
  if (mostCounted + announced / 32 + 16 < announced) {
    throw Error("the server " + server_ + " sent only " + std::to_string(delivered) + " of the " +
                std::to_string(announced) + " bytes it announced for " + name +
                "; the message is left on the server");
  }
  return delivered;
}

void Pop3Session::Delete(int message) {
  Send("DELE " + std::to_string(message));
  Expect("to delete message " + std::to_string(message));
}

void Pop3Session::Quit() {
  Send("QUIT");
  Expect("to end the session (QUIT)");
}

}  // namespace getmail
