#include "tools/getmail/OAuth2.h"

#include <nlohmann/json.hpp>

#include "tools/getmail/ServerText.h"

namespace getmail {
namespace {

constexpr char kSeparator = '\x01';

// A SASL name in the GS2 header: "," and "=" are escaped (RFC 5801).
std::string SaslName(std::string_view login) {
  std::string out;
  for (char c : login) {
    if (c == ',') {
      out += "=2C";
    } else if (c == '=') {
      out += "=3D";
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

const char* MechanismName(OAuthMechanism mechanism) {
  return mechanism == OAuthMechanism::kOAuthBearer ? "OAUTHBEARER" : "XOAUTH2";
}

std::string OAuthInitialResponse(OAuthMechanism mechanism,
                                 std::string_view login,
                                 std::string_view token) {
  std::string out;
  if (mechanism == OAuthMechanism::kOAuthBearer) {
    out = "n,a=" + SaslName(login) + ",";
  } else {
    out = "user=" + std::string(login);
  }
  out += kSeparator;
  out += "auth=Bearer ";
  out += token;
  out += kSeparator;
  out += kSeparator;
  return out;
}

OAuthRefusal ParseOAuthRefusal(std::string_view json) {
  OAuthRefusal refusal;
  const nlohmann::json object = nlohmann::json::parse(json, nullptr, false);
  if (!object.is_object()) return refusal;
  auto text = [&object](const char* name) {
    auto it = object.find(name);
    return it != object.end() && it->is_string() ? Shown(it->get<std::string>()) : std::string();
  };
  refusal.status = text("status");
  refusal.scope = text("scope");
  return refusal;
}

}  // namespace getmail
