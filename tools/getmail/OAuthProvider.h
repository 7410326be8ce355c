// Where an OAuth 2.0 provider signs users in: Microsoft's and Google's
// endpoints, or those an issuer publishes in its metadata (RFC 8414, else
// OpenID Connect discovery).
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace getmail {

struct OAuthProvider {
  std::string name;  // "microsoft", "google" or the issuer's URL
  std::string tenant;
  std::string authorizationEndpoint;
  std::string tokenEndpoint;
  std::string deviceEndpoint;      // empty: no device flow
  std::string revocationEndpoint;  // empty: no revocation
  std::string scope;
  bool deviceFlowAllowed = true;   // whether the provider's scope may use it
};

// The provider for a sign-in to `server`: `given` (-oauth2 PROVIDER), or,
// where that is empty, the one the server's name shows. Throws Error
// (status 2) when there is none.
std::string ProviderNameFor(const std::string& given, const std::string& server);

// Microsoft (tenant default "common") or Google; for an issuer's URL, its
// metadata fetched within `timeout`. Throws Error.
OAuthProvider ResolveProvider(const std::string& name, const std::string& tenant,
                              std::chrono::milliseconds timeout);

// The well-known addresses of `issuer`'s metadata: RFC 8414's (inserted
// before the issuer's path) and OpenID Connect's (appended to it).
std::string AuthorizationServerMetadataUrl(const std::string& issuer);
std::string OpenIdConfigurationUrl(const std::string& issuer);

// Whether two issuer identifiers name the same issuer (a trailing "/" aside).
bool SameIssuer(const std::string& a, const std::string& b);

// The provider `issuer` describes in the metadata document `json`. Throws
// Error when it is not one for this issuer (its "issuer" differs) or lacks
// the authorization or token endpoint.
OAuthProvider ProviderFromMetadata(const std::string& issuer, std::string_view json);

}  // namespace getmail
