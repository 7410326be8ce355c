// What the sign-in command asks the user, and how the process keeps what it
// is told. One implementation per system: posix/Console.cpp and
// win32/Console.cpp.
#pragma once

#include <string>

namespace getmail {

// The longest password taken.
inline constexpr std::size_t kPasswordLimit = 4096;

// One line from the user, as UTF-8 and without its line end: typed at the
// terminal without echo after `prompt` (on standard error), or read from
// standard input when that is not a terminal. Throws Error when nothing can
// be read, or the line is longer than kPasswordLimit.
std::string ReadHiddenLine(const std::string& prompt);

// Keeps this process's memory, which holds passwords and tokens, out of core
// dumps and away from other processes of the same user where the system
// allows it.
void KeepSecretsInProcess();

}  // namespace getmail
