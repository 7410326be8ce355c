#include "tools/getmail/Pop3Session.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "tools/getmail/Errors.h"
#include "tools/getmail/HeaderText.h"

namespace getmail {
namespace {

// Commands kept in flight in a pipelined header run. The replies to them
// (a header each) fit easily in the socket buffers, so the server never
// stalls on output while we are still sending commands.
constexpr int kWindow = 128;

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string StripLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
    line.remove_suffix(1);
  }
  return std::string(line);
}

std::string Base64(const std::string& data) {
  static const char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  std::size_t i = 0;
  for (; i + 2 < data.size(); i += 3) {
    unsigned v = (static_cast<unsigned char>(data[i]) << 16) |
                 (static_cast<unsigned char>(data[i + 1]) << 8) |
                 static_cast<unsigned char>(data[i + 2]);
    out += kDigits[v >> 18];
    out += kDigits[(v >> 12) & 63];
    out += kDigits[(v >> 6) & 63];
    out += kDigits[v & 63];
  }
  if (i + 1 == data.size()) {
    unsigned v = static_cast<unsigned char>(data[i]) << 16;
    out += kDigits[v >> 18];
    out += kDigits[(v >> 12) & 63];
    out += "==";
  } else if (i + 2 == data.size()) {
    unsigned v = (static_cast<unsigned char>(data[i]) << 16) |
                 (static_cast<unsigned char>(data[i + 1]) << 8);
    out += kDigits[v >> 18];
    out += kDigits[(v >> 12) & 63];
    out += kDigits[(v >> 6) & 63];
    out += '=';
  }
  return out;
}

}  // namespace

Pop3Session::Pop3Session(const std::string& server, int port,
                         const std::string& login, const std::string& password,
                         std::chrono::milliseconds timeout)
    : server_(server),
      connection_(std::make_unique<Connection>(server, port, timeout)) {
  bool implicitTls = IsImplicitTlsPort(port);
  if (implicitTls) connection_->StartTls();
  std::string greeting;
  if (!ReadStatus(&greeting)) {
    throw Error("the server " + server + " turned the connection away: " +
                greeting);
  }
  ReadCapabilities();
  if (!implicitTls && Offers("STLS")) {
    Send("STLS");
    Expect("starting TLS (STLS)");
    connection_->StartTls();
    // RFC 2595: forget what was learnt before TLS and ask again.
    ReadCapabilities();
  }
  Login(login, password);
}

bool Pop3Session::Offers(const std::string& capability) const {
  std::string wanted = Upper(capability);
  for (const std::string& line : capabilities_) {
    if (line == wanted || line.rfind(wanted + " ", 0) == 0) return true;
  }
  return false;
}

void Pop3Session::Send(const std::string& command) {
  connection_->Write(command + "\r\n");
}

bool Pop3Session::ReadStatus(std::string* text) {
  std::string_view raw = connection_->ReadLine();
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
    throw Error("the server " + server_ + " sent something that is not POP3: " +
                line.substr(0, 80));
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
    throw Error("the server " + server_ + " refused " + what +
                (text.empty() ? std::string() : ": " + text));
  }
  return text;
}

void Pop3Session::ReadMultiLine(std::string& out) {
  for (;;) {
    std::string_view line = connection_->ReadLine();
    if (!line.empty() && line[0] == '.') {
      if (line == ".\r\n" || line == ".\n") return;
      line.remove_prefix(1);
    }
    out.append(line.data(), line.size());
  }
}

void Pop3Session::ReadCapabilities() {
  capabilities_.clear();
  Send("CAPA");
  capaWorked_ = ReadStatus();
  if (!capaWorked_) return;
  std::string lines;
  ReadMultiLine(lines);
  std::size_t pos = 0;
  while (pos < lines.size()) {
    std::size_t end = lines.find('\n', pos);
    if (end == std::string::npos) end = lines.size();
    std::string line = StripLineEnd(std::string_view(lines).substr(pos, end - pos));
    if (!line.empty()) capabilities_.insert(Upper(line));
    pos = end + 1;
  }
}

void Pop3Session::Login(const std::string& login,
                        const std::string& password) {
  bool useUser = !capaWorked_ || Offers("USER");
  bool usePlain = false;
  if (!useUser) {
    for (const std::string& line : capabilities_) {
      if (line.rfind("SASL ", 0) == 0 &&
          (" " + line + " ").find(" PLAIN ") != std::string::npos) {
        usePlain = true;
      }
    }
    if (!usePlain) useUser = true;  // nothing else to try
  }
  std::string text;
  bool ok;
  if (usePlain) {
    // RFC 4616: authorization id (empty), NUL, login, NUL, password.
    std::string token;
    token += '\0';
    token += login;
    token += '\0';
    token += password;
    Send("AUTH PLAIN " + Base64(token));
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
                    login + (text.empty() ? std::string() : ": " + text),
                kLoginRefused);
  }
}

int Pop3Session::MessageCount() {
  Send("STAT");
  std::string text = Expect("to count the messages (STAT)");
  char* end = nullptr;
  long count = std::strtol(text.c_str(), &end, 10);
  if (end == text.c_str() || count < 0 || count > 100000000) {
    throw Error("the server " + server_ + " gave a STAT reply without a count: " +
                text);
  }
  return static_cast<int>(count);
}

bool Pop3Session::MayHaveUidl() const { return !capaWorked_ || Offers("UIDL"); }

std::optional<std::vector<std::string>> Pop3Session::UniqueIds() {
  if (!MayHaveUidl()) return std::nullopt;
  Send("UIDL");
  return ReadUniqueIds();
}

std::optional<std::vector<std::string>> Pop3Session::ReadUniqueIds() {
  if (!ReadStatus()) return std::nullopt;
  std::string lines;
  ReadMultiLine(lines);
  std::vector<std::string> ids;
  std::size_t pos = 0;
  while (pos < lines.size()) {
    std::size_t end = lines.find('\n', pos);
    if (end == std::string::npos) end = lines.size();
    std::string line = StripLineEnd(std::string_view(lines).substr(pos, end - pos));
    pos = end + 1;
    std::size_t space = line.find(' ');
    if (space == std::string::npos) continue;
    long number = std::strtol(line.c_str(), nullptr, 10);
    if (number < 1 || number > 100000000) continue;
    std::string id = line.substr(space + 1);
    while (!id.empty() && id[0] == ' ') id.erase(0, 1);
    if (ids.size() < static_cast<std::size_t>(number)) ids.resize(number);
    ids[number - 1] = id;
  }
  return ids;
}

std::optional<std::string> Pop3Session::UniqueId(int message) {
  Send("UIDL " + std::to_string(message));
  std::string text;
  if (!ReadStatus(&text)) return std::nullopt;
  std::size_t space = text.find(' ');
  if (space == std::string::npos ||
      std::strtol(text.c_str(), nullptr, 10) != message) {
    return std::nullopt;
  }
  std::string id = text.substr(space + 1);
  while (!id.empty() && id[0] == ' ') id.erase(0, 1);
  return id;
}

std::optional<std::vector<std::string>> Pop3Session::HeadersAndUniqueIds(
    int count, const std::function<void(int, std::string_view)>& take) {
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
  std::string batch, reply;
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
                  std::to_string(n) + (text.empty() ? "" : ": " + text));
    }
    reply.clear();
    ReadMultiLine(reply);
    // TOP n 0 sends the header and the empty line after it; RETR all.
    take(n, HeaderPart(reply));
  }
  if (!askUidl) return std::nullopt;
  if (!uidlSent) Send("UIDL");
  return ReadUniqueIds();
}

std::uint64_t Pop3Session::Retrieve(
    int message, const std::function<void(std::string_view)>& sink) {
  Send("RETR " + std::to_string(message));
  Expect("to send message " + std::to_string(message));
  std::uint64_t handed = 0;
  for (;;) {
    std::string_view line = connection_->ReadLine();
    if (!line.empty() && line[0] == '.') {
      if (line == ".\r\n" || line == ".\n") return handed;
      line.remove_prefix(1);
    }
    sink(line);
    handed += line.size();
  }
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
