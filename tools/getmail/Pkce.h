// Proof Key for Code Exchange (RFC 7636, method S256) and the other random
// values of an OAuth 2.0 sign-in.
#pragma once

#include <string>
#include <string_view>

namespace getmail {

// `bytes` bytes from the system's random source, as base64url without
// padding. Throws Error.
std::string RandomToken(std::size_t bytes);

// The S256 challenge of `verifier`: base64url(SHA-256(verifier)), no padding.
std::string PkceChallenge(std::string_view verifier);

// SHA-256 of `data` (32 bytes). One implementation per system.
std::string Sha256(std::string_view data);
// `size` random bytes. One implementation per system. Throws Error.
std::string RandomBytes(std::size_t size);

// base64url (RFC 4648, section 5) without padding.
std::string Base64Url(std::string_view data);

}  // namespace getmail
