#include "tools/getmail/Credentials.h"

#include <cstdlib>

#include "tools/getmail/ServerText.h"
#include "tools/getmail/Settings.h"
#include "tools/getmail/TokenCommand.h"

namespace getmail {

Credentials CredentialsFor(const Options& options) {
  Credentials credentials{options.login, options.password, std::nullopt};
  // A server may echo what it was sent: neither secret is shown again.
  KeepSecret(options.password);
  const char* command = std::getenv(kOAuthCommandVariable);
  if (command != nullptr && *command != '\0') {
    credentials.password.clear();
    credentials.token =
        RunTokenCommand(command, options.login, TimeoutFromEnvironment());
    KeepSecret(*credentials.token);
  }
  return credentials;
}

}  // namespace getmail
