// The responses of an IMAP server, read token by token from a LineReader:
// atoms (numbers, flags and "BODY[HEADER]"-like names with their bracketed
// part), quoted strings, literals ({n} and {n+}) and parentheses, and the
// end of each response, however many lines its literals spread it over.
//
// Nothing the server says sizes memory: a line is at most kImapLineLimit
// bytes, a literal is either taken as text up to a limit the caller sets,
// streamed to the caller in pieces, or skipped, and a response's lines and
// literals (streamed ones aside) may hold at most kImapResponseLimit bytes
// in all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "tools/getmail/LineReader.h"

namespace getmail {

// The longest line of a response between literals.
inline constexpr std::size_t kImapLineLimit = 64 * 1024;
// The most a response may hold beyond a literal the caller streams.
inline constexpr std::uint64_t kImapResponseLimit = 16 * 1024 * 1024;
// The most nested parentheses a value may have.
inline constexpr int kImapDepthLimit = 32;

class ImapReader {
 public:
  enum class Kind { kAtom, kQuoted, kLiteral, kOpen, kClose, kEnd };
  struct Token {
    Kind kind = Kind::kEnd;
    std::string text;        // an atom's or a quoted string's
    std::uint64_t size = 0;  // a literal's
  };

  // `server` names the server in messages.
  ImapReader(LineReader& lines, std::string server);

  // Reads the first line of the next response.
  void Begin();

  // The next token of the response, kEnd at its end (and again after it).
  // A literal that was not taken is skipped first, if it is no longer than
  // kImapLineLimit. Throws Error on what is no IMAP.
  Token Next();

  // The rest of the current line as it stands (the free text after OK, NO,
  // BAD, BYE, which holds no literal); the response ends with it.
  std::string Rest();

  // Takes the literal Next() just gave: as text, if no longer than `limit`
  // (Error naming `what` if it is longer; nothing of it is read then).
  std::string LiteralText(std::uint64_t limit, const std::string& what);
  // Hands it to `sink` in pieces as it arrives.
  void StreamLiteral(const std::function<void(std::string_view)>& sink);
  // Reads it and drops it, if no longer than `limit`.
  void SkipLiteral(std::uint64_t limit);

  // Skips one value: an atom, a string, a literal (if no longer than
  // kImapLineLimit) or a parenthesized list. Throws at the response's end.
  void SkipValue();
  // Skips what is left of the response.
  void SkipResponse();

  // An Error naming the server: it sent `what`.
  [[noreturn]] void Fail(const std::string& what) const;

 private:
  // Reads the line after a literal: the response goes on there.
  void NextLine();
  void Count(std::uint64_t bytes);

  LineReader& lines_;
  std::string server_;
  std::string line_;  // the current line without its line end
  std::size_t pos_ = 0;
  std::uint64_t literal_ = 0;  // bytes of a literal not yet taken
  bool literalPending_ = false;
  bool ended_ = true;
  std::uint64_t responseBytes_ = 0;
};

// Reads the list of a FETCH response's items: `item` gets each item's name
// in upper case ("UID", "BODY[HEADER]") and must take its value (SkipValue()
// for one it does not want). Throws Error.
void ReadFetchItems(ImapReader& reader, const std::function<void(const std::string&)>& item);
// Reads a number value, at most `limit`; Error naming `what` for anything
// else.
std::uint64_t ReadNumber(ImapReader& reader, std::uint64_t limit, const std::string& what);

// Whether the token is the atom `word`, in any case.
bool IsAtom(const ImapReader::Token& token, std::string_view word);

// Whether `text` can go to the server as a quoted string: 7-bit, without
// NUL, CR or LF.
bool Quotable(std::string_view text);
// `text` as a quoted string: in double quotes, with '"' and '\' escaped.
std::string Quoted(std::string_view text);

}  // namespace getmail
