// Carrying out the sign-in commands (SignInCommandLine.h).
#pragma once

#include <string>
#include <vector>

#include "tools/getmail/SignInCommandLine.h"
#include "tools/getmail/SignInStore.h"

namespace getmail {

// Runs `request`; gives the tool's exit status. Throws Error.
//  - sign-in without OAuth 2.0: asks for the password (ReadHiddenLine),
//    signs in to the server with it and ends the session, and only then
//    keeps it;
//  - sign-in with OAuth 2.0: see OAuthSignIn.h;
//  - sign-out: removes the sign-in (revoking an OAuth 2.0 grant where the
//    provider can);
//  - list: prints login, server and kind of each sign-in, never a secret.
int RunSignInCommand(const SignInRequest& request);

// The lines -signins prints for `signIns`, sorted by login and server.
std::string SignInListing(std::vector<SignIn> signIns);

// The command that signs `login` in to `server` again, as the user typed it.
std::string SignInAgainCommand(const SignIn& signIn);

}  // namespace getmail
