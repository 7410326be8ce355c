#include "tools/getmail/SignInRuns.h"

#include "tools/getmail/Errors.h"
#include "tools/getmail/OAuthSignIn.h"
#include "tools/getmail/SecretStore.h"
#include "tools/getmail/Settings.h"
#include "tools/getmail/SignInStore.h"

namespace getmail {

std::optional<Credentials> StoredCredentials(const std::string& login,
                                             const std::string& server) {
  std::optional<SignIn> signIn = LoadSignIn(login, server);
  if (!signIn) return std::nullopt;
  if (signIn->kind == SignIn::Kind::kPassword) {
    return Credentials{login, signIn->password, std::nullopt};
  }
  // Refreshed by one run at a time, each with what the one before it kept.
  SecretLock lock(SignInKey(login, server), 2 * TimeoutFromEnvironment());
  signIn = LoadSignIn(login, server);
  if (!signIn) throw Error("the sign-in of " + login + " on " + server + " was removed");
  return Credentials{login, std::string(), AccessTokenFor(*signIn)};
}

}  // namespace getmail
