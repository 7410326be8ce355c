// A server's words as they may go into a message for the user: cut short,
// without control characters, which could forge lines of their own, and
// without the secrets the tool has sent, which a server may echo back
// ("-ERR unknown command: PASS ...").
#pragma once

#include <string>
#include <string_view>

namespace getmail {

// From now on, every occurrence of `secret` (a password or an access token)
// is masked in what Shown() and WithoutSecrets() give: as it stands (ASCII
// case aside), and in base64 at any offset within a longer base64 text. A
// secret under 6 bytes is masked only as it stands.
void KeepSecret(std::string_view secret);
// Like KeepSecret, for a text sent in base64 (a SASL initial response): its
// base64 form is masked as a whole, exactly.
void KeepSecretBase64(std::string_view encoded);

// `text` with every secret kept so far, of at least `shortest` bytes,
// replaced by "***".
std::string WithoutSecrets(std::string_view text, std::size_t shortest = 0);

// WithoutSecrets(text), each control character as "?", cut to 120 bytes.
std::string Shown(std::string_view text);

}  // namespace getmail
