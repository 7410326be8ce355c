// Base64 (RFC 4648, with padding) for SASL exchanges.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace getmail {

std::string Base64Encode(std::string_view data);

// Nothing if `text` is not well-formed base64 (blanks are not allowed; the
// padding may be left out).
std::optional<std::string> Base64Decode(std::string_view text);

}  // namespace getmail
