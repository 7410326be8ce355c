#include "tools/getmail/Pkce.h"

#include "tools/getmail/Base64.h"

namespace getmail {

std::string Base64Url(std::string_view data) {
  std::string text = Base64Encode(data);
  while (!text.empty() && text.back() == '=') text.pop_back();
  for (char& c : text) {
    if (c == '+') c = '-';
    if (c == '/') c = '_';
  }
  return text;
}

std::string RandomToken(std::size_t bytes) { return Base64Url(RandomBytes(bytes)); }

std::string PkceChallenge(std::string_view verifier) { return Base64Url(Sha256(verifier)); }

}  // namespace getmail
