// The sign-ins the tool keeps for its runs: a password, or an OAuth 2.0
// grant, for one login on one server. Kept in the system's secret store
// (SecretStore.h), one blob each, as JSON.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace getmail {

struct SignIn {
  enum class Kind { kPassword, kOAuth2 };

  std::string login;
  std::string server;  // as given; found again without regard to case
  int port = 0;        // the port it was signed in on, for the command shown again
  Kind kind = Kind::kPassword;
  std::string password;  // kPassword

  // kOAuth2: the grant and what it takes to use it.
  std::string provider;  // "microsoft", "google" or the issuer's URL
  std::string tenant;    // microsoft
  std::string clientId;
  std::string clientSecret;  // some providers give "desktop" apps one
  std::string tokenEndpoint;
  std::string revocationEndpoint;  // empty where the provider has none
  std::string scope;
  std::string refreshToken;
  std::string accessToken;          // the last one, while it lasts
  std::int64_t accessExpires = 0;   // when it ends, in seconds since 1970
  std::int64_t lastUsed = 0;        // when the grant was last used, likewise
};

// The store's name for the sign-in of `login` on `server`: both in the
// characters SecretStore.h allows, the server in lower case.
std::string SignInKey(std::string_view login, std::string_view server);

// A sign-in as stored, and back. ParseSignIn gives nothing for anything that
// is not one (its text is never shown).
std::string SerializeSignIn(const SignIn& signIn);
std::optional<SignIn> ParseSignIn(std::string_view text);

// The sign-in for `login` on `server`, or nothing. Throws Error when the
// store cannot be read or is open to other users.
std::optional<SignIn> LoadSignIn(const std::string& login, const std::string& server);
// Stores `signIn` (durably, replacing the one before). Throws Error.
void SaveSignIn(const SignIn& signIn);
// Removes the sign-in: false if there was none. Throws Error.
bool RemoveSignIn(const std::string& login, const std::string& server);
// Every stored sign-in that can be read, in the store's order.
std::vector<SignIn> AllSignIns();

}  // namespace getmail
