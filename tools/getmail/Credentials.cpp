#include "tools/getmail/Credentials.h"

#include <cstdlib>

#include "tools/getmail/Settings.h"
#include "tools/getmail/SignInRuns.h"
#include "tools/getmail/TokenCommand.h"

namespace getmail {

Credentials CredentialsFor(const Options& options) {
  Credentials credentials{options.login, options.password, std::nullopt};
  const char* command = std::getenv(kOAuthCommandVariable);
  if (command != nullptr && *command != '\0') {
    credentials.password.clear();
    credentials.token =
        RunTokenCommand(command, options.login, TimeoutFromEnvironment());
    return credentials;
  }
  // A kept sign-in takes the place of -pw, which then holds a placeholder.
  if (std::optional<Credentials> stored = StoredCredentials(options.login, options.server)) {
    return *stored;
  }
  return credentials;
}

}  // namespace getmail
