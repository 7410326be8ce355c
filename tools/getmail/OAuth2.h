// OAuth 2.0 sign-in over SASL: OAUTHBEARER (RFC 7628) and XOAUTH2, the
// older mechanism that Google and Microsoft document for POP3.
#pragma once

#include <string>
#include <string_view>

namespace getmail {

enum class OAuthMechanism { kOAuthBearer, kXOAuth2 };

const char* MechanismName(OAuthMechanism mechanism);

// The client's first message for `mechanism`, before base64: it carries the
// login and the access token.
std::string OAuthInitialResponse(OAuthMechanism mechanism,
                                 std::string_view login,
                                 std::string_view token);

// What a server says in the challenge it sends when it rejects a token: a
// JSON object (RFC 7628, section 3.2.2) with "status" and, often, "scope".
struct OAuthRefusal {
  std::string status;  // empty when the server gave none
  std::string scope;
};

// Reads the decoded challenge. Anything that is not such an object gives
// empty fields; the text is never shown as it stands, since a server could
// echo what it was sent.
OAuthRefusal ParseOAuthRefusal(std::string_view json);

// What the refusal challenge `challenge` (base64, as the server sent it)
// says, for a message: "status S, scope C", either part left out where the
// server gave none; empty for none.
std::string RefusalReason(std::string_view challenge);

// What the client answers to that challenge so that the server ends the
// exchange with a plain failure: a single 0x01 (RFC 7628, section 3.2.3).
inline constexpr const char* kOAuthAbortResponse = "AQ==";

}  // namespace getmail
