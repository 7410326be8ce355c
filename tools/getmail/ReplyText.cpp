#include "tools/getmail/ReplyText.h"

#include <cctype>

#include "tools/getmail/ServerText.h"

namespace getmail {

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}


std::string Saying(const std::string& text) {
  return text.empty() ? std::string() : ": " + Shown(text);
}


std::string StripLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
    line.remove_suffix(1);
  }
  return std::string(line);
}


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

}  // namespace getmail
