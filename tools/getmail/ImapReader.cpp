#include "tools/getmail/ImapReader.h"

#include <algorithm>
#include <cctype>

#include "tools/getmail/Errors.h"
#include "tools/getmail/ReplyText.h"
#include "tools/getmail/ServerText.h"

namespace getmail {
namespace {

// Pieces of a streamed literal are handed on in reads of at most this size.
constexpr std::size_t kPieceSize = 64 * 1024;

bool EndsAtom(char c) {
  return c == ' ' || c == '(' || c == ')' || c == '"' || c == '{' ||
         static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
}

}  // namespace

ImapReader::ImapReader(LineReader& lines, std::string server)
    : lines_(lines), server_(std::move(server)) {}

void ImapReader::Fail(const std::string& what) const {
  throw Error("the server " + server_ + " sent " + what);
}

void ImapReader::Count(std::uint64_t bytes) {
  responseBytes_ += bytes;
  if (responseBytes_ > kImapResponseLimit) {
    Fail("a response of more than " + std::to_string(kImapResponseLimit) + " bytes");
  }
}

void ImapReader::Begin() {
  if (!ended_) SkipResponse();
  responseBytes_ = 0;
  ended_ = false;
  NextLine();
}

void ImapReader::NextLine() {
  std::string_view raw = lines_.ReadLine(kImapLineLimit + 2);
  Count(raw.size());
  line_ = StripLineEnd(raw);
  pos_ = 0;
}

ImapReader::Token ImapReader::Next() {
  Token token;
  if (literalPending_) SkipLiteral(kImapLineLimit);
  if (ended_) return token;
  while (pos_ < line_.size() && line_[pos_] == ' ') ++pos_;
  if (pos_ == line_.size()) {
    ended_ = true;
    return token;
  }
  const char c = line_[pos_];
  if (c == '(' || c == ')') {
    ++pos_;
    token.kind = c == '(' ? Kind::kOpen : Kind::kClose;
    return token;
  }
  if (c == '"') {
    token.kind = Kind::kQuoted;
    for (++pos_; pos_ < line_.size(); ++pos_) {
      char d = line_[pos_];
      if (d == '"') {
        ++pos_;
        return token;
      }
      if (d == '\\' && pos_ + 1 < line_.size()) d = line_[++pos_];
      token.text += d;
    }
    Fail("a quoted string without its end: " + Shown(line_));
  }
  if (c == '{') {
    // "{" size ["+"] "}" and the line's end: the literal's bytes follow.
    std::string_view rest = std::string_view(line_).substr(pos_ + 1);
    std::optional<std::uint64_t> size = TakeNumber(rest, kSizeLimit);
    if (!rest.empty() && rest[0] == '+') rest.remove_prefix(1);
    if (!size || rest != "}") Fail("a broken literal: " + Shown(line_.substr(pos_)));
    token.kind = Kind::kLiteral;
    token.size = *size;
    literal_ = *size;
    literalPending_ = true;
    pos_ = line_.size();
    return token;
  }
  token.kind = Kind::kAtom;
  const std::size_t start = pos_;
  int brackets = 0;
  while (pos_ < line_.size()) {
    const char d = line_[pos_];
    if (d == '[') {
      ++brackets;
    } else if (d == ']' && brackets > 0) {
      --brackets;
    } else if (brackets == 0 && EndsAtom(d)) {
      break;
    }
    ++pos_;
  }
  if (brackets > 0) Fail("an unclosed \"[\": " + Shown(line_.substr(start)));
  token.text = line_.substr(start, pos_ - start);
  if (token.text.empty()) Fail("something that is not IMAP: " + Shown(line_));
  return token;
}

std::string ImapReader::Rest() {
  if (literalPending_) Fail("a literal where text was due");
  std::string rest = line_.substr(std::min(pos_, line_.size()));
  if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
  pos_ = line_.size();
  ended_ = true;
  return rest;
}

std::string ImapReader::LiteralText(std::uint64_t limit, const std::string& what) {
  if (!literalPending_) Fail("no literal where one was due");
  if (literal_ > limit) {
    Fail(std::to_string(literal_) + " bytes for " + what + ", more than " +
         std::to_string(limit));
  }
  Count(literal_);
  std::string text;
  StreamLiteral([&text](std::string_view piece) { text.append(piece.data(), piece.size()); });
  return text;
}

void ImapReader::StreamLiteral(const std::function<void(std::string_view)>& sink) {
  if (!literalPending_) Fail("no literal where one was due");
  while (literal_ > 0) {
    std::string_view piece =
        lines_.ReadBytes(static_cast<std::size_t>(std::min<std::uint64_t>(literal_, kPieceSize)));
    literal_ -= piece.size();
    sink(piece);
  }
  literalPending_ = false;
  NextLine();
}

void ImapReader::SkipLiteral(std::uint64_t limit) {
  if (literal_ > limit) {
    Fail("a literal of " + std::to_string(literal_) + " bytes that was not asked for");
  }
  Count(literal_);
  StreamLiteral([](std::string_view) {});
}

void ImapReader::SkipValue() {
  int depth = 0;
  do {
    Token token = Next();
    switch (token.kind) {
      case Kind::kEnd:
        Fail("a response that ends inside a value");
      case Kind::kOpen:
        if (++depth > kImapDepthLimit) Fail("parentheses nested too deep");
        break;
      case Kind::kClose:
        if (--depth < 0) Fail("a \")\" without its \"(\"");
        break;
      case Kind::kLiteral:
        SkipLiteral(kImapLineLimit);
        break;
      default:
        break;
    }
  } while (depth > 0);
}

void ImapReader::SkipResponse() {
  while (Next().kind != Kind::kEnd) {
  }
}

void ReadFetchItems(ImapReader& reader, const std::function<void(const std::string&)>& item) {
  if (reader.Next().kind != ImapReader::Kind::kOpen) reader.Fail("a FETCH response without its list");
  for (;;) {
    ImapReader::Token name = reader.Next();
    if (name.kind == ImapReader::Kind::kClose) return;
    if (name.kind != ImapReader::Kind::kAtom) reader.Fail("a FETCH response with a broken list");
    item(Upper(name.text));
  }
}

std::uint64_t ReadNumber(ImapReader& reader, std::uint64_t limit, const std::string& what) {
  ImapReader::Token token = reader.Next();
  std::string_view text = token.text;
  std::optional<std::uint64_t> number = TakeNumber(text, limit);
  if (token.kind != ImapReader::Kind::kAtom || !number || !text.empty()) {
    reader.Fail("no number of at most " + std::to_string(limit) + " for " + what);
  }
  return *number;
}

bool IsAtom(const ImapReader::Token& token, std::string_view word) {
  if (token.kind != ImapReader::Kind::kAtom || token.text.size() != word.size()) return false;
  return Upper(token.text) == Upper(std::string(word));
}

bool Quotable(std::string_view text) {
  return std::none_of(text.begin(), text.end(), [](char c) {
    return c == '\0' || c == '\r' || c == '\n' || static_cast<unsigned char>(c) >= 0x80;
  });
}

std::string Quoted(std::string_view text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

}  // namespace getmail
