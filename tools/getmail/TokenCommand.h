// The access token for an OAuth 2.0 sign-in, from a command the user
// configures: the tool never stores tokens or speaks to a provider itself.
#pragma once

#include <chrono>
#include <string>

namespace getmail {

// The command that prints an access token; when set, the tool signs in with
// OAuth 2.0 and ignores the password.
inline constexpr const char* kOAuthCommandVariable =
    "QUARROW_GETMAIL_OAUTH2_COMMAND";
// The login, as the command finds it in its environment.
inline constexpr const char* kLoginVariable = "QUARROW_GETMAIL_LOGIN";

// Runs `command` through the system's shell (/bin/sh -c; cmd /c on Windows)
// with kLoginVariable set to `login`, no input, and its standard output read
// through a pipe (its standard error is the tool's own). Gives back what it
// printed, trimmed. Throws Error, naming the variable but never the output,
// when it cannot be started, ends with a failure, prints nothing, prints
// more than one token, or has not ended within `timeout`; the command and
// whatever it started are then stopped, and never left running.
std::string RunTokenCommand(const std::string& command,
                            const std::string& login,
                            std::chrono::milliseconds timeout);

// The token in what the command printed: the output without surrounding
// blanks and line ends. Throws Error if nothing is left, or if what is left
// holds a blank or a control character (it goes into a command line to the
// server, where a line end would start a command of its own).
std::string TokenFromOutput(const std::string& output);

}  // namespace getmail
