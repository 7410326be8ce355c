#include "tools/getmail/StateFile.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "tools/getmail/Errors.h"
#include "tools/getmail/Files.h"

namespace getmail {
namespace {

constexpr const char* kMagic = "getmail-state 3";
// The version before, without protocol, mailbox and uidvalidity: POP3's.
constexpr const char* kMagicPop3Only = "getmail-state 2";
// The longest line the file may have: far more than a login, a server name
// or a message's line needs, and a bound on what a damaged file can make us
// read.
constexpr std::size_t kLineLimit = 64 * 1024;
constexpr std::size_t kPrintLength = 16;

// One line, without its "\n"; false at the end or for a longer one.
bool ReadLine(std::istream& in, std::string& buffer, std::string& line) {
  buffer.resize(kLineLimit + 1);
  if (!in.getline(&buffer[0], static_cast<std::streamsize>(buffer.size()))) return false;
  line.assign(buffer.data(), static_cast<std::size_t>(in.gcount()) - (in.eof() ? 0 : 1));
  return true;
}

// "key value" lines: the value after the first blank.
bool TakeLine(std::istream& in, std::string& buffer, const std::string& key,
              std::string& value) {
  std::string line;
  if (!ReadLine(in, buffer, line)) return false;
  if (line.compare(0, key.size() + 1, key + " ") != 0) return false;
  value = line.substr(key.size() + 1);
  return true;
}

bool ToInt(const std::string& text, int& out) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  out = std::stoi(text);
  return true;
}

bool ToUint32(const std::string& text, std::uint32_t& out) {
  if (text.empty() || text.size() > 10) return false;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (value > 0xffffffffu) return false;
  out = static_cast<std::uint32_t>(value);
  return true;
}

bool IsFingerprint(const std::string& text) {
  return text.size() == kPrintLength &&
         text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

bool HasLineBreak(const std::string& text) {
  return text.find_first_of("\r\n") != std::string::npos;
}

// The last line of the stream, found from its end, and the stream back where
// it was.
std::optional<std::string> LastLine(std::istream& in) {
  // A read that ran into the end leaves the stream failed, and tellg() then
  // says -1: start from a clean state, and give up on any position unknown.
  in.clear();
  const std::streampos here = in.tellg();
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (here < 0 || size < 0) return std::nullopt;
  const std::streamoff tail = std::min<std::streamoff>(size, kLineLimit + 2);
  std::string text(static_cast<std::size_t>(tail), '\0');
  in.seekg(size - tail);
  if (!in.read(&text[0], tail)) return std::nullopt;
  in.seekg(here);
  if (text.empty() || text.back() != '\n') return std::nullopt;
  text.pop_back();
  std::size_t start = text.rfind('\n');
  if (start == std::string::npos) return std::nullopt;
  return text.substr(start + 1);
}

}  // namespace

std::string FormatState(const State& state) {
  std::ostringstream out;
  out << kMagic << "\n";
  out << "server " << state.server << "\n";
  out << "port " << state.port << "\n";
  out << "login " << state.login << "\n";
  out << "protocol " << state.protocol << "\n";
  out << "mailbox " << state.mailbox << "\n";
  out << "uidvalidity " << state.uidValidity << "\n";
  out << "count " << state.count << "\n";
  for (int n = 1; n <= state.count; ++n) {
    const MessageMark& mark = state.marks[n - 1];
    out << n << " " << mark.print;
    if (!mark.uid.empty()) out << " " << mark.uid;
    out << "\n";
  }
  return out.str();
}

std::optional<State> ParseState(std::istream& in, int through) {
  std::string buffer, line, value;
  State state;
  if (!ReadLine(in, buffer, line) || (line != kMagic && line != kMagicPop3Only)) {
    return std::nullopt;
  }
  if (!TakeLine(in, buffer, "server", state.server)) return std::nullopt;
  if (!TakeLine(in, buffer, "port", value) || !ToInt(value, state.port)) return std::nullopt;
  if (!TakeLine(in, buffer, "login", state.login)) return std::nullopt;
  if (line == kMagic) {
    if (!TakeLine(in, buffer, "protocol", state.protocol) ||
        (state.protocol != "pop3" && state.protocol != "imap")) {
      return std::nullopt;
    }
    if (!TakeLine(in, buffer, "mailbox", state.mailbox)) return std::nullopt;
    if (!TakeLine(in, buffer, "uidvalidity", value) || !ToUint32(value, state.uidValidity)) {
      return std::nullopt;
    }
  }
  if (!TakeLine(in, buffer, "count", value) || !ToInt(value, state.count)) return std::nullopt;
  // A cheap check that the count is the file's own: the last line must be
  // message N's (or the count line itself for none), so a damaged count
  // cannot make a run name its body file after it.
  std::optional<std::string> last = LastLine(in);
  std::string expected = state.count == 0 ? "count 0" : std::to_string(state.count) + " ";
  if (!last || last->compare(0, expected.size(), expected) != 0) return std::nullopt;
  // The marks are read as far as asked, each line checked.
  for (int n = 1; n <= state.count && n <= through; ++n) {
    if (!TakeLine(in, buffer, std::to_string(n), value)) return std::nullopt;
    MessageMark mark;
    mark.print = value.substr(0, kPrintLength);
    if (!IsFingerprint(mark.print)) return std::nullopt;
    if (value.size() > kPrintLength) {
      if (value[kPrintLength] != ' ' || value.size() == kPrintLength + 1) return std::nullopt;
      mark.uid = value.substr(kPrintLength + 1);
    }
    state.marks.push_back(std::move(mark));
  }
  return state;
}

std::optional<State> LoadState(int through) {
  std::ifstream file(kStateFileName, std::ios::binary);
  if (!file) {
    if (errno == ENOENT) return std::nullopt;
    throw Error(std::string("cannot read ") + kStateFileName + ": " +
                std::strerror(errno));
  }
  std::optional<State> state = ParseState(file, through);
  if (!state) {
    throw Error(std::string("the file ") + kStateFileName +
                " is damaged or from another version of getmail; run a header "
                "run (-headersonly) again");
  }
  return state;
}

void SaveState(const State& state) {
  if (HasLineBreak(state.server) || HasLineBreak(state.login) || HasLineBreak(state.mailbox) ||
      state.server.size() > kLineLimit / 2 || state.login.size() > kLineLimit / 2 ||
      state.mailbox.size() > kLineLimit / 2) {
    throw Error("the server name, login or mailbox holds a line break or is too long");
  }
  for (const MessageMark& mark : state.marks) {
    if (HasLineBreak(mark.uid)) throw Error("the server sent a unique id with a line break");
  }
  // Whose mail is where is no one else's business.
  WriteFileAtomically(kStateFileName, FormatState(state), true, Readers::kOwnerOnly);
}

void ForgetState() { RemoveIfPresent(kStateFileName); }

}  // namespace getmail
