// main() of the sign-in commands.
#pragma once

#include <string>
#include <vector>

#include "tools/getmail/SignInCommandLine.h"

namespace getmail {

// Reads and runs the sign-in command `args`, reporting any failure; gives
// the exit status.
int SignInMain(const std::vector<std::string>& args);

}  // namespace getmail
