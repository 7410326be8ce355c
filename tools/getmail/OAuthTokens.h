// What an OAuth 2.0 token endpoint and device authorization endpoint answer
// (RFC 6749, section 5; RFC 8628, section 3.2), read with nlohmann/json.
#pragma once

#include <cstdint>
#include <string>

#include "tools/getmail/HttpClient.h"

namespace getmail {

struct TokenAnswer {
  // Set when the endpoint gave tokens: status 200 and an access token.
  std::string accessToken;
  std::string refreshToken;  // empty when none was given (keep the old one)
  std::int64_t expiresIn = 0;
  // Otherwise the error code ("invalid_grant", "authorization_pending", ...;
  // "" when the answer had none) and its description, fit to be shown.
  std::string error;
  std::string description;

  bool ok() const { return !accessToken.empty(); }
};

// Reads a token endpoint's answer. Tokens are taken only if they are
// printable ASCII without blanks (they go into a SASL command line), and of
// a sane length; expires_in within a year.
TokenAnswer ReadTokenAnswer(const HttpResponse& response);

struct DeviceAuthorization {
  std::string deviceCode;
  std::string userCode;
  std::string verificationUri;
  std::string verificationUriComplete;  // may be empty
  std::int64_t interval = 5;            // seconds between polls
  std::int64_t expiresIn = 0;
};

// Reads a device authorization endpoint's answer. Throws Error when it is
// not a usable one.
DeviceAuthorization ReadDeviceAuthorization(const HttpResponse& response);

// "error: description" of a failed answer, for a message.
std::string Explained(const TokenAnswer& answer);

}  // namespace getmail
