// Random bytes and SHA-256 from the system's CNG (bcrypt.dll).
#include <windows.h>
#include <bcrypt.h>

#include "tools/getmail/Errors.h"
#include "tools/getmail/Pkce.h"

namespace getmail {

std::string Sha256(std::string_view data) {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  unsigned char digest[32];
  bool done =
      BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) == 0 &&
      BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) == 0 &&
      BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(data.data())),
                     static_cast<ULONG>(data.size()), 0) == 0 &&
      BCryptFinishHash(hash, digest, sizeof digest, 0) == 0;
  if (hash != nullptr) BCryptDestroyHash(hash);
  if (algorithm != nullptr) BCryptCloseAlgorithmProvider(algorithm, 0);
  if (!done) throw Error("cannot compute SHA-256");
  return std::string(reinterpret_cast<const char*>(digest), sizeof digest);
}

std::string RandomBytes(std::size_t size) {
  std::string bytes(size, '\0');
  if (BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(bytes.data()),
                      static_cast<ULONG>(size), BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0) {
    throw Error("cannot get random bytes from the system");
  }
  return bytes;
}

}  // namespace getmail
