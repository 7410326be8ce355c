// Small pieces of reading a mail server's replies that both protocols share.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace getmail {

// The largest size taken from a server; more is no real mailbox.
inline constexpr std::uint64_t kSizeLimit = std::uint64_t{1} << 50;

// `text` in upper case (ASCII letters only).
std::string Upper(std::string text);

// ": " and the server's text, if it gave one.
std::string Saying(const std::string& text);

// `line` without the "\r\n" or "\n" it ends in.
std::string StripLineEnd(std::string_view line);

// The decimal number at the start of `text` (after blanks), if it has one
// not above `limit`; `text` is left after it.
std::optional<std::uint64_t> TakeNumber(std::string_view& text, std::uint64_t limit);

}  // namespace getmail
