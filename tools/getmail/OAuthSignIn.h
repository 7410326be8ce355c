// Signing in with an OAuth 2.0 provider: the authorization code flow with
// PKCE through the browser and a loopback redirect (RFC 7636, RFC 8252), or
// the device flow (RFC 8628); then using, refreshing and revoking the grant.
#pragma once

#include <string>

#include "tools/getmail/SignInCommandLine.h"
#include "tools/getmail/SignInStore.h"

namespace getmail {

// Signs in with the provider, proves the access token on the mail server
// (one sign-in, then QUIT) and keeps the grant. Gives the exit status.
// Throws Error (status 3 when the user or the provider refuses).
int SignInWithOAuth(const SignInRequest& request);

// An access token for a run: the kept one while it has five minutes left,
// else a new one for the refresh token, which is kept (with the refresh
// token the provider may have rotated) before it is given back. Throws Error:
// status 3 with the command to sign in again when the grant is gone
// (invalid_grant); status 1 when the token endpoint cannot be reached.
std::string AccessTokenFor(SignIn& signIn);

// Revokes the refresh token where the provider has a revocation endpoint
// (RFC 7009): gives what to tell the user ("" where nothing was revoked).
// Never throws: a sign-out removes the sign-in all the same.
std::string RevokeGrant(const SignIn& signIn);

}  // namespace getmail
