// What a run signs in with when a sign-in is kept for its login and server.
#pragma once

#include <optional>
#include <string>

#include "tools/getmail/Credentials.h"

namespace getmail {

// The kept sign-in's credentials for `login` on `server`, or nothing when
// none is kept. Throws Error when the store cannot be trusted or read.
std::optional<Credentials> StoredCredentials(const std::string& login,
                                             const std::string& server);

}  // namespace getmail
