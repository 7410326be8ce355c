// Who signs in, and with what.
#pragma once

#include <optional>
#include <string>

#include "tools/getmail/CommandLine.h"

namespace getmail {

// The login with the password, or with an OAuth 2.0 access token where one
// is given (the password is then not used).
struct Credentials {
  std::string login;
  std::string password;
  std::optional<std::string> token;
};

// The credentials of a run: with QUARROW_GETMAIL_OAUTH2_COMMAND set, the
// token that command prints (it runs here, before any connection, so that
// nothing reaches the server when it fails); otherwise the sign-in kept for
// the login and server (-signin), and failing that the password. Throws
// Error.
Credentials CredentialsFor(const Options& options);

}  // namespace getmail
