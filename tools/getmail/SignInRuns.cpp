#include "tools/getmail/SignInRuns.h"

#include "tools/getmail/OAuthSignIn.h"
#include "tools/getmail/SignInStore.h"

namespace getmail {

std::optional<Credentials> StoredCredentials(const std::string& login,
                                             const std::string& server) {
  std::optional<SignIn> signIn = LoadSignIn(login, server);
  if (!signIn) return std::nullopt;
  if (signIn->kind == SignIn::Kind::kPassword) {
    return Credentials{login, signIn->password, std::nullopt};
  }
  return Credentials{login, std::string(), AccessTokenFor(*signIn)};
}

}  // namespace getmail
