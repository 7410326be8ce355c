#include "tools/getmail/OAuthProvider.h"

#include <algorithm>
#include <cctype>
#include <nlohmann/json.hpp>

#include "tools/getmail/Errors.h"
#include "tools/getmail/HttpClient.h"

namespace getmail {
namespace {

using Json = nlohmann::json;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string WithoutTrailingSlash(std::string url) {
  while (!url.empty() && url.back() == '/') url.pop_back();
  return url;
}

std::string Text(const Json& object, const char* name) {
  auto it = object.find(name);
  return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// An endpoint from the metadata: empty when missing; otherwise it must be
// one that may be reached.
std::string Endpoint(const Json& metadata, const char* name) {
  std::string url = Text(metadata, name);
  if (!url.empty()) CheckEndpointUrl(url);
  return url;
}

OAuthProvider Microsoft(const std::string& tenant) {
  const std::string base =
      "https://login.microsoftonline.com/" + FormEncode(tenant.empty() ? "common" : tenant) +
      "/oauth2/v2.0/";
  OAuthProvider p;
  p.name = "microsoft";
  p.tenant = tenant.empty() ? "common" : tenant;
  p.authorizationEndpoint = base + "authorize";
  p.tokenEndpoint = base + "token";
  p.deviceEndpoint = base + "devicecode";
  p.scope = "https://outlook.office.com/POP.AccessAsUser.All offline_access";
  return p;
}

OAuthProvider Google() {
  OAuthProvider p;
  p.name = "google";
  p.authorizationEndpoint = "https://accounts.google.com/o/oauth2/v2/auth";
  p.tokenEndpoint = "https://oauth2.googleapis.com/token";
  p.deviceEndpoint = "https://oauth2.googleapis.com/device/code";
  p.revocationEndpoint = "https://oauth2.googleapis.com/revoke";
  p.scope = "https://mail.google.com/";
  // Google's device flow does not grant the mail scope.
  p.deviceFlowAllowed = false;
  return p;
}

}  // namespace

std::string ProviderNameFor(const std::string& given, const std::string& server) {
  if (!given.empty()) {
    const std::string lower = Lower(given);
    if (lower == "microsoft" || lower == "google") return lower;
    if (lower.rfind("https://", 0) == 0 || lower.rfind("http://", 0) == 0) return given;
    throw Error("unknown OAuth 2.0 provider '" + given +
                    "': give microsoft, google or the issuer's URL",
                kUsage);
  }
  const std::string host = Lower(server);
  if (host == "outlook.office365.com" || host == "pop-mail.outlook.com" ||
      host == "outlook.office.com") {
    return "microsoft";
  }
  if (host == "pop.gmail.com" || host == "pop.googlemail.com") return "google";
  throw Error("cannot tell the OAuth 2.0 provider of " + server +
                  " from its name: give -oauth2 microsoft, google or the issuer's URL",
              kUsage);
}

bool SameIssuer(const std::string& a, const std::string& b) {
  return WithoutTrailingSlash(a) == WithoutTrailingSlash(b);
}

std::string AuthorizationServerMetadataUrl(const std::string& issuer) {
  const std::string base = WithoutTrailingSlash(issuer);
  const std::size_t hostStart = base.find("://") + 3;
  const std::size_t pathStart = base.find('/', hostStart);
  if (pathStart == std::string::npos) return base + "/.well-known/oauth-authorization-server";
  return base.substr(0, pathStart) + "/.well-known/oauth-authorization-server" +
         base.substr(pathStart);
}

std::string OpenIdConfigurationUrl(const std::string& issuer) {
  return WithoutTrailingSlash(issuer) + "/.well-known/openid-configuration";
}

OAuthProvider ProviderFromMetadata(const std::string& issuer, std::string_view json) {
  Json metadata = Json::parse(json, nullptr, false);
  if (!metadata.is_object()) {
    throw Error("the metadata of the OAuth 2.0 issuer " + issuer + " is not a JSON object");
  }
  // A document for another issuer could send the sign-in anywhere.
  if (!SameIssuer(Text(metadata, "issuer"), issuer)) {
    throw Error("the metadata at " + issuer + " is another issuer's");
  }
  OAuthProvider p;
  p.name = issuer;
  p.authorizationEndpoint = Endpoint(metadata, "authorization_endpoint");
  p.tokenEndpoint = Endpoint(metadata, "token_endpoint");
  p.deviceEndpoint = Endpoint(metadata, "device_authorization_endpoint");
  p.revocationEndpoint = Endpoint(metadata, "revocation_endpoint");
  if (p.authorizationEndpoint.empty() || p.tokenEndpoint.empty()) {
    throw Error("the metadata of the OAuth 2.0 issuer " + issuer +
                " names no authorization or token endpoint");
  }
  // A refresh token is what lets later runs sign in without the user.
  p.scope = "openid";
  auto scopes = metadata.find("scopes_supported");
  bool offline = true;
  if (scopes != metadata.end() && scopes->is_array()) {
    offline = std::find(scopes->begin(), scopes->end(), Json("offline_access")) != scopes->end();
  }
  if (offline) p.scope += " offline_access";
  return p;
}

OAuthProvider ResolveProvider(const std::string& name, const std::string& tenant,
                              std::chrono::milliseconds timeout) {
  if (name == "microsoft") return Microsoft(tenant);
  if (name == "google") return Google();
  CheckEndpointUrl(name);
  std::string why;
  for (const std::string& url : {AuthorizationServerMetadataUrl(name), OpenIdConfigurationUrl(name)}) {
    HttpResponse response = HttpExchange(url, nullptr, timeout);
    if (response.status == 200) {
      OAuthProvider provider = ProviderFromMetadata(name, response.body);
      provider.tenant = tenant;
      return provider;
    }
    why = "HTTP status " + std::to_string(response.status) + " at " + url;
  }
  throw Error("the OAuth 2.0 issuer " + name + " publishes no metadata (" + why + ")");
}

}  // namespace getmail
