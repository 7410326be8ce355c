#include "tools/getmail/Credentials.h"

#include <cstdlib>

#include "tools/getmail/Settings.h"
#include "tools/getmail/TokenCommand.h"

namespace getmail {

Credentials CredentialsFor(const Options& options) {
  Credentials credentials{options.login, options.password, std::nullopt};
  const char* command = std::getenv(kOAuthCommandVariable);
  if (command != nullptr && *command != '\0') {
    credentials.password.clear();
    credentials.token =
        RunTokenCommand(command, options.login, TimeoutFromEnvironment());
  }
  return credentials;
}

}  // namespace getmail
