#include "tools/getmail/Credentials.h"

#include <cstdlib>

#include "tools/getmail/ServerText.h"
#include "tools/getmail/Settings.h"
#include "tools/getmail/SignInRuns.h"
#include "tools/getmail/TokenCommand.h"

namespace getmail {

Credentials CredentialsFor(const Options& options) {
  Credentials credentials{options.login, options.password, std::nullopt};
  // A server may echo what it was sent: no secret that goes to it is shown
  // again. -pw is one only where it is sent: with a token or a kept sign-in
  // it may be a placeholder such as "*", which is no secret to hide.
  const char* command = std::getenv(kOAuthCommandVariable);
  if (command != nullptr && *command != '\0') {
    credentials.password.clear();
    credentials.token =
        RunTokenCommand(command, options.login, TimeoutFromEnvironment());
    KeepSecret(*credentials.token);
    return credentials;
  }
  // A kept sign-in takes the place of -pw, which then holds a placeholder.
  if (std::optional<Credentials> stored = StoredCredentials(options.login, options.server)) {
    KeepSecret(stored->password);
    if (stored->token) KeepSecret(*stored->token);
    return *stored;
  }
  KeepSecret(options.password);
  return credentials;
}

}  // namespace getmail
