#include "tools/getmail/OAuth2.h"

#include <optional>

#include <nlohmann/json.hpp>

#include "tools/getmail/Base64.h"
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

std::string RefusalReason(std::string_view challenge) {
  const std::size_t start = challenge.find_first_not_of(' ');
  std::optional<std::string> json =
      Base64Decode(start == std::string_view::npos ? std::string() : std::string(challenge.substr(start)));
  OAuthRefusal refusal = ParseOAuthRefusal(json ? *json : std::string());
  std::string why;
  if (!refusal.status.empty()) why = "status " + refusal.status;
  if (!refusal.scope.empty()) why += (why.empty() ? "" : ", ") + std::string("scope ") + refusal.scope;
  return why;
}

}  // namespace getmail
