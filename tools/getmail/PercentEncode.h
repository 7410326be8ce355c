// Percent-encoding (RFC 3986): for forms and queries, and for names made of
// a login and a server.
#pragma once

#include <cctype>
#include <string>
#include <string_view>

namespace getmail {

// `text` with every byte other than an ASCII letter, a digit or one of
// `kept` written as "%XX".
inline std::string PercentEncode(std::string_view text, std::string_view kept) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if ((c < 0x80 && std::isalnum(c)) || kept.find(static_cast<char>(c)) != std::string_view::npos) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

}  // namespace getmail
