// A server's words as they may go into a message for the user: cut short,
// and without control characters, which could forge lines of their own.
#pragma once

#include <string>
#include <string_view>

namespace getmail {

// At most 120 bytes of `text`, each control character as "?".
inline std::string Shown(std::string_view text) {
  std::string shown(text.substr(0, 120));
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  return shown;
}

}  // namespace getmail
