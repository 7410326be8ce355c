#include "tools/getmail/SignInCommand.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "tools/getmail/Console.h"
#include "tools/getmail/Errors.h"
#include "tools/getmail/OAuthSignIn.h"
#include "tools/getmail/Pop3Session.h"
#include "tools/getmail/SecretStore.h"
#include "tools/getmail/Settings.h"
#include "tools/getmail/SignInStore.h"

namespace getmail {
namespace {

std::string UtcTime(std::int64_t seconds) {
  const std::time_t time = static_cast<std::time_t>(seconds);
  std::tm parts{};
#ifdef _WIN32
  gmtime_s(&parts, &time);
#else
  gmtime_r(&time, &parts);
#endif
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", &parts);
  return text;
}

int SignInWithPassword(const SignInRequest& request) {
  SignIn signIn;
  signIn.login = request.login;
  signIn.server = request.server;
  signIn.port = request.port;
  signIn.kind = SignIn::Kind::kPassword;
  signIn.password = ReadHiddenLine("Password for " + request.login + " on " +
                                   request.server + ": ");
  if (signIn.password.empty()) throw Error("no password was given; nothing was kept");
  // Only a password the server takes is kept.
  Pop3Session session(request.server, request.port,
                      Credentials{request.login, signIn.password, std::nullopt},
                      TimeoutFromEnvironment());
  session.Quit();
  SaveSignIn(signIn);
  std::printf("Signed in %s on %s; runs for them now need no password.\n",
              request.login.c_str(), request.server.c_str());
  return kOk;
}

}  // namespace

std::string SignInListing(std::vector<SignIn> signIns) {
  std::sort(signIns.begin(), signIns.end(), [](const SignIn& a, const SignIn& b) {
    return SignInKey(a.login, a.server) < SignInKey(b.login, b.server);
  });
  std::string out;
  for (const SignIn& s : signIns) {
    out += s.login + " on " + s.server + ": ";
    if (s.kind == SignIn::Kind::kPassword) {
      out += "password\n";
    } else {
      out += "OAuth 2.0 (" + s.provider + "), " +
             (s.lastUsed > 0 ? "last used " + UtcTime(s.lastUsed) : "not used yet") + "\n";
    }
  }
  return out;
}

std::string SignInAgainCommand(const SignIn& s) {
  std::string command = "getmail -signin -u " + s.login + " -s " + s.server;
  if (s.port != 0 && s.port != 995) command += " -port " + std::to_string(s.port);
  if (s.kind == SignIn::Kind::kOAuth2) {
    command += " -oauth2 " + s.provider;
    if (!s.tenant.empty() && s.tenant != "common") command += " -tenant " + s.tenant;
    command += " -client-id " + s.clientId;
    // The client secret of an installed app is no secret, but it is not
    // printed all the same: the user has it where they registered the app.
    if (!s.clientSecret.empty()) command += " -client-secret SECRET";
  }
  return command;
}

int RunSignInCommand(const SignInRequest& request) {
  switch (request.action) {
    case SignInRequest::Action::kList: {
      std::vector<SignIn> all = AllSignIns();
      if (all.empty()) {
        std::printf("No sign-ins are kept (in %s).\n", SecretStoreLocation().c_str());
      } else {
        std::fputs(SignInListing(std::move(all)).c_str(), stdout);
      }
      return kOk;
    }
    case SignInRequest::Action::kSignOut: {
      std::optional<SignIn> signIn = LoadSignIn(request.login, request.server);
      if (!signIn) {
        throw Error("there is no sign-in for " + request.login + " on " + request.server);
      }
      std::string revoked;
      if (signIn->kind == SignIn::Kind::kOAuth2) revoked = RevokeGrant(*signIn);
      RemoveSignIn(request.login, request.server);
      std::printf("Signed out %s on %s%s.\n", request.login.c_str(),
                  request.server.c_str(), revoked.c_str());
      return kOk;
    }
    case SignInRequest::Action::kSignIn:
      return request.oauth2 ? SignInWithOAuth(request) : SignInWithPassword(request);
  }
  return kFailed;
}

}  // namespace getmail
