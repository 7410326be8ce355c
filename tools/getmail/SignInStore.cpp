#include "tools/getmail/SignInStore.h"

#include <cctype>
#include <nlohmann/json.hpp>

#include "tools/getmail/Base64.h"
#include "tools/getmail/Errors.h"
#include "tools/getmail/PercentEncode.h"
#include "tools/getmail/SecretStore.h"

namespace getmail {
namespace {

using Json = nlohmann::json;

// Letters, digits and ".@_-" stand for themselves; every other byte is %XX,
// "," included, which separates login and server.
std::string KeyPart(std::string_view text) { return PercentEncode(text, ".@_-"); }

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// A string member, or "" where it is missing or not a string.
std::string Text(const Json& object, const char* name) {
  auto it = object.find(name);
  return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

std::int64_t Number(const Json& object, const char* name) {
  auto it = object.find(name);
  return it != object.end() && it->is_number_integer() ? it->get<std::int64_t>() : 0;
}

}  // namespace

std::string SignInKey(std::string_view login, std::string_view server) {
  std::string key = KeyPart(login) + "," + KeyPart(Lower(server));
  // Windows drops a dot that ends a file name.
  if (key.back() == '.') key.replace(key.size() - 1, 1, "%2E");
  return key;
}

std::string SerializeSignIn(const SignIn& s) {
  Json json = {{"login", s.login}, {"server", s.server}, {"port", s.port}};
  if (s.kind == SignIn::Kind::kPassword) {
    json["kind"] = "password";
    // In base64: a password is bytes, typed in whatever character set the
    // terminal has, and JSON strings take only UTF-8.
    json["password"] = Base64Encode(s.password);
  } else {
    json["kind"] = "oauth2";
    json["provider"] = s.provider;
    json["tenant"] = s.tenant;
    json["client_id"] = s.clientId;
    json["client_secret"] = s.clientSecret;
    json["token_endpoint"] = s.tokenEndpoint;
    json["revocation_endpoint"] = s.revocationEndpoint;
    json["scope"] = s.scope;
    json["refresh_token"] = s.refreshToken;
    json["access_token"] = s.accessToken;
    json["access_expires"] = s.accessExpires;
    json["last_used"] = s.lastUsed;
  }
  // Anything else that is not UTF-8 would be no server's name or token.
  return json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::optional<SignIn> ParseSignIn(std::string_view text) {
  Json json = Json::parse(text, nullptr, false);
  if (!json.is_object()) return std::nullopt;
  SignIn s;
  s.login = Text(json, "login");
  s.server = Text(json, "server");
  const std::int64_t port = Number(json, "port");
  s.port = port > 0 && port <= 65535 ? static_cast<int>(port) : 0;
  const std::string kind = Text(json, "kind");
  if (s.login.empty() || s.server.empty()) return std::nullopt;
  if (kind == "password") {
    s.kind = SignIn::Kind::kPassword;
    std::optional<std::string> password = Base64Decode(Text(json, "password"));
    if (!password || password->empty()) return std::nullopt;
    s.password = std::move(*password);
    return s;
  }
  if (kind != "oauth2") return std::nullopt;
  s.kind = SignIn::Kind::kOAuth2;
  s.provider = Text(json, "provider");
  s.tenant = Text(json, "tenant");
  s.clientId = Text(json, "client_id");
  s.clientSecret = Text(json, "client_secret");
  s.tokenEndpoint = Text(json, "token_endpoint");
  s.revocationEndpoint = Text(json, "revocation_endpoint");
  s.scope = Text(json, "scope");
  s.refreshToken = Text(json, "refresh_token");
  s.accessToken = Text(json, "access_token");
  s.accessExpires = Number(json, "access_expires");
  s.lastUsed = Number(json, "last_used");
  if (s.clientId.empty() || s.tokenEndpoint.empty() || s.refreshToken.empty()) {
    return std::nullopt;
  }
  return s;
}

std::optional<SignIn> LoadSignIn(const std::string& login, const std::string& server) {
  std::optional<std::string> blob = ReadSecret(SignInKey(login, server));
  if (!blob) return std::nullopt;
  std::optional<SignIn> signIn = ParseSignIn(*blob);
  if (!signIn) {
    throw Error("the stored sign-in of " + login + " on " + server +
                " in " + SecretStoreLocation() + " cannot be read; sign in again");
  }
  return signIn;
}

void SaveSignIn(const SignIn& signIn) {
  WriteSecret(SignInKey(signIn.login, signIn.server), SerializeSignIn(signIn));
}

bool RemoveSignIn(const std::string& login, const std::string& server) {
  return RemoveSecret(SignInKey(login, server));
}

std::vector<SignIn> AllSignIns() {
  std::vector<SignIn> all;
  for (const std::string& key : SecretKeys()) {
    std::optional<std::string> blob = ReadSecret(key);
    if (!blob) continue;
    if (std::optional<SignIn> signIn = ParseSignIn(*blob)) all.push_back(std::move(*signIn));
  }
  return all;
}

}  // namespace getmail
