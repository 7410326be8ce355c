// Random bytes and SHA-256 from OpenSSL, which the POP3 connection uses too.
#include <openssl/rand.h>
#include <openssl/sha.h>

#include "tools/getmail/Errors.h"
#include "tools/getmail/Pkce.h"

namespace getmail {

std::string Sha256(std::string_view data) {
  unsigned char digest[SHA256_DIGEST_LENGTH];
  SHA256(reinterpret_cast<const unsigned char*>(data.data()), data.size(), digest);
  return std::string(reinterpret_cast<const char*>(digest), sizeof digest);
}

std::string RandomBytes(std::size_t size) {
  std::string bytes(size, '\0');
  if (RAND_bytes(reinterpret_cast<unsigned char*>(bytes.data()), static_cast<int>(size)) != 1) {
    throw Error("cannot get random bytes from the system");
  }
  return bytes;
}

}  // namespace getmail
