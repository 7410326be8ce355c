#include "tools/getmail/OAuthSignIn.h"

#include <cstdio>
#include <ctime>
#include <thread>

#include "tools/getmail/Errors.h"
#include "tools/getmail/LoopbackRedirect.h"
#include "tools/getmail/OAuthProvider.h"
#include "tools/getmail/OAuthRedirect.h"
#include "tools/getmail/OAuthTokens.h"
#include "tools/getmail/Pkce.h"
#include "tools/getmail/Pop3Session.h"
#include "tools/getmail/ServerText.h"
#include "tools/getmail/Settings.h"
#include "tools/getmail/SignInCommand.h"

namespace getmail {
namespace {

using Clock = std::chrono::steady_clock;

// How long the user has to sign in in the browser.
constexpr std::chrono::minutes kBrowserWait{5};
// An access token is not used in its last five minutes.
constexpr std::int64_t kExpiryMargin = 5 * 60;
// The longest a device code is polled for, whatever the provider says.
constexpr std::int64_t kLongestDeviceWait = 30 * 60;

std::int64_t Now() { return static_cast<std::int64_t>(std::time(nullptr)); }

// The client's part of every token request: its id, and the secret some
// providers give installed apps.
void AddClient(FormFields& form, const std::string& clientId, const std::string& clientSecret) {
  form.emplace_back("client_id", clientId);
  if (!clientSecret.empty()) form.emplace_back("client_secret", clientSecret);
}

TokenAnswer PostToTokenEndpoint(const std::string& endpoint, const FormFields& form) {
  return ReadTokenAnswer(HttpExchange(endpoint, &form, TimeoutFromEnvironment()));
}

std::string QueryString(const FormFields& fields) {
  std::string query;
  for (const auto& [name, value] : fields) {
    query += (query.empty() ? "" : "&") + FormEncode(name) + "=" + FormEncode(value);
  }
  return query;
}

TokenAnswer CodeFlow(const OAuthProvider& provider, const SignInRequest& request) {
  LoopbackListener listener;
  const std::string redirectUri = "http://127.0.0.1:" + std::to_string(listener.port()) + "/";
  const std::string verifier = RandomToken(32);
  const std::string state = RandomToken(16);
  FormFields query = {{"response_type", "code"},
                      {"client_id", request.clientId},
                      {"redirect_uri", redirectUri},
                      {"scope", provider.scope},
                      {"state", state},
                      {"code_challenge", PkceChallenge(verifier)},
                      {"code_challenge_method", "S256"},
                      {"login_hint", request.login}};
  const std::string url = provider.authorizationEndpoint +
                          (provider.authorizationEndpoint.find('?') == std::string::npos ? "?" : "&") +
                          QueryString(query);
  std::printf("Sign in to %s as %s in the browser; if none opens, open this address:\n%s\n",
              provider.name.c_str(), request.login.c_str(), url.c_str());
  std::fflush(stdout);
  try {
    OpenBrowser(url);
  } catch (const Error& error) {
    std::fprintf(stderr, "getmail: %s\n", error.what());
  }

  const Clock::time_point deadline = Clock::now() + kBrowserWait;
  for (;;) {
    std::optional<std::map<std::string, std::string>> answer =
        RedirectParameters(listener.NextRequestLine(deadline));
    if (!answer || (!answer->count("code") && !answer->count("error"))) {
      listener.Answer(404, AnswerPage("Not here", "This address only takes the sign-in."));
      continue;
    }
    // Another page could send the browser here: only the answer to this
    // sign-in counts, and any other ends it.
    if ((*answer)["state"] != state) {
      listener.Answer(400, AnswerPage("Sign-in refused",
                                      "This answer does not belong to the sign-in that getmail "
                                      "started. Nothing was kept."));
      throw Error("the browser brought back an answer that does not belong to this sign-in "
                  "(its state differs); nothing was kept");
    }
    // An issuer that names itself in the answer (RFC 9207) must be the one
    // asked: an answer from another would be a mix-up.
    if (answer->count("iss") && provider.name.find("://") != std::string::npos &&
        !SameIssuer((*answer)["iss"], provider.name)) {
      listener.Answer(400, AnswerPage("Sign-in refused",
                                      "This answer comes from another issuer. Nothing was kept."));
      throw Error("the browser brought back an answer from another issuer than " +
                  provider.name + "; nothing was kept");
    }
    if (answer->count("error")) {
      const std::string why = Shown((*answer)["error"]) +
                              (answer->count("error_description")
                                   ? ": " + Shown((*answer)["error_description"])
                                   : "");
      listener.Answer(200, AnswerPage("Sign-in not completed",
                                      "The provider said: " + why + ". Nothing was kept."));
      throw Error("the provider did not grant the sign-in (" + why + "); nothing was kept",
                  kLoginRefused);
    }
    listener.Answer(200, AnswerPage("Signed in",
                                    "getmail has the sign-in. You may close this page."));
    FormFields form = {{"grant_type", "authorization_code"},
                       {"code", (*answer)["code"]},
                       {"redirect_uri", redirectUri},
                       {"code_verifier", verifier}};
    AddClient(form, request.clientId, request.clientSecret);
    return PostToTokenEndpoint(provider.tokenEndpoint, form);
  }
}

TokenAnswer DeviceFlow(const OAuthProvider& provider, const SignInRequest& request) {
  FormFields start = {{"scope", provider.scope}};
  AddClient(start, request.clientId, request.clientSecret);
  DeviceAuthorization device = ReadDeviceAuthorization(
      HttpExchange(provider.deviceEndpoint, &start, TimeoutFromEnvironment()));
  std::printf("To sign in as %s, open %s on any device and enter the code %s\n",
              request.login.c_str(), device.verificationUri.c_str(), device.userCode.c_str());
  if (!device.verificationUriComplete.empty()) {
    std::printf("(or open %s)\n", device.verificationUriComplete.c_str());
  }
  std::fflush(stdout);
  // The provider says when the code has expired (expired_token); this is
  // only for one that never does.
  const Clock::time_point deadline =
      Clock::now() + std::chrono::seconds(std::min(device.expiresIn, kLongestDeviceWait) +
                                          2 * device.interval + 10);
  std::int64_t interval = device.interval;
  for (;;) {
    std::this_thread::sleep_for(std::chrono::seconds(interval));
    if (Clock::now() > deadline) {
      throw Error("the code was not entered in time; nothing was kept", kLoginRefused);
    }
    FormFields poll = {{"grant_type", "urn:ietf:params:oauth:grant-type:device_code"},
                       {"device_code", device.deviceCode}};
    AddClient(poll, request.clientId, request.clientSecret);
    TokenAnswer answer = PostToTokenEndpoint(provider.tokenEndpoint, poll);
    if (answer.ok()) return answer;
    if (answer.error == "authorization_pending") continue;
    if (answer.error == "slow_down") {
      interval = std::min<std::int64_t>(interval + 5, 60);
      continue;
    }
    if (answer.error == "access_denied") {
      throw Error("the sign-in was refused on the provider's page; nothing was kept",
                  kLoginRefused);
    }
    if (answer.error == "expired_token") {
      throw Error("the code expired before it was entered; nothing was kept", kLoginRefused);
    }
    throw Error("the token endpoint refused the sign-in (" + Explained(answer) +
                "); nothing was kept", kLoginRefused);
  }
}

}  // namespace

int SignInWithOAuth(const SignInRequest& request) {
  if (request.clientId.empty()) {
    throw Error("-client-id is missing: register an app with the provider (see README.md) "
                "and give its client id",
                kUsage);
  }
  const std::string name = ProviderNameFor(request.provider, request.server);
  if (request.device && name == "google") {
    throw Error("Google does not allow its mail scope in the device flow: sign in without "
                "-device, in a browser",
                kUsage);
  }
  OAuthProvider provider = ResolveProvider(name, request.tenant, TimeoutFromEnvironment());
  if (request.device && provider.deviceEndpoint.empty()) {
    throw Error("the provider " + name + " has no device flow: sign in without -device",
                kUsage);
  }
  TokenAnswer tokens = request.device ? DeviceFlow(provider, request) : CodeFlow(provider, request);
  if (!tokens.ok()) {
    throw Error("the token endpoint gave no tokens (" + Explained(tokens) +
                    "); nothing was kept",
                tokens.error == "invalid_grant" ? kLoginRefused : kFailed);
  }
  if (tokens.refreshToken.empty()) {
    throw Error("the provider gave no refresh token, so later runs could not sign in; "
                "nothing was kept (the app may lack offline access)");
  }
  // The grant is kept only once the mail server takes its token.
  Pop3Session session(request.server, request.port,
                      Credentials{request.login, std::string(), tokens.accessToken},
                      TimeoutFromEnvironment());
  session.Quit();

  SignIn signIn;
  signIn.login = request.login;
  signIn.server = request.server;
  signIn.port = request.port;
  signIn.kind = SignIn::Kind::kOAuth2;
  signIn.provider = provider.name;
  signIn.tenant = provider.tenant;
  signIn.clientId = request.clientId;
  signIn.clientSecret = request.clientSecret;
  signIn.tokenEndpoint = provider.tokenEndpoint;
  signIn.revocationEndpoint = provider.revocationEndpoint;
  signIn.scope = provider.scope;
  signIn.refreshToken = tokens.refreshToken;
  signIn.accessToken = tokens.accessToken;
  signIn.accessExpires = Now() + tokens.expiresIn;
  signIn.lastUsed = Now();
  SaveSignIn(signIn);
  std::printf("Signed in %s on %s with %s; runs for them now need no password.\n",
              request.login.c_str(), request.server.c_str(), provider.name.c_str());
  return kOk;
}

std::string AccessTokenFor(SignIn& signIn) {
  const std::int64_t now = Now();
  if (!signIn.accessToken.empty() && signIn.accessExpires - kExpiryMargin > now) {
    // -signins shows when the grant was last used, to the hour.
    if (now - signIn.lastUsed >= 3600) {
      signIn.lastUsed = now;
      SaveSignIn(signIn);
    }
    return signIn.accessToken;
  }
  FormFields form = {{"grant_type", "refresh_token"}, {"refresh_token", signIn.refreshToken}};
  AddClient(form, signIn.clientId, signIn.clientSecret);
  TokenAnswer answer = PostToTokenEndpoint(signIn.tokenEndpoint, form);
  if (!answer.ok()) {
    if (answer.error == "invalid_grant") {
      throw Error("the sign-in of " + signIn.login + " on " + signIn.server +
                      " has expired or was revoked (" + Explained(answer) +
                      "); sign in again with: " + SignInAgainCommand(signIn),
                  kLoginRefused);
    }
    throw Error("the token endpoint " + signIn.tokenEndpoint +
                " gave no access token (" + Explained(answer) + "); nothing was sent to " +
                signIn.server);
  }
  // The provider may have rotated the refresh token and voided the old one:
  // the new one is on disk before anything is done with the tokens.
  if (!answer.refreshToken.empty()) signIn.refreshToken = answer.refreshToken;
  signIn.accessToken = answer.accessToken;
  signIn.accessExpires = now + answer.expiresIn;
  signIn.lastUsed = now;
  SaveSignIn(signIn);
  return signIn.accessToken;
}

std::string RevokeGrant(const SignIn& signIn) {
  if (signIn.revocationEndpoint.empty()) {
    return " (the provider has no way to revoke the grant from here; remove the app's "
           "access in your account's settings if you no longer use it)";
  }
  FormFields form = {{"token", signIn.refreshToken}, {"token_type_hint", "refresh_token"}};
  AddClient(form, signIn.clientId, signIn.clientSecret);
  try {
    HttpResponse response = HttpExchange(signIn.revocationEndpoint, &form, TimeoutFromEnvironment());
    if (response.status == 200) return "; the grant is revoked";
    return "; the provider did not revoke the grant (HTTP status " +
           std::to_string(response.status) + ")";
  } catch (const Error& error) {
    return std::string("; the grant could not be revoked: ") + error.what();
  }
}

}  // namespace getmail
