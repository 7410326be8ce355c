// Reading a Windows command line the way Windows programs do, so the tool
// gets the arguments it would get there, without any shell.
#pragma once

#include <vector>

#include "platform/Platform.h"

namespace quarrow::posix {

// Splits arguments by the Windows rules: blanks (spaces, tabs) separate,
// double quotes group, "" inside quotes is one quote, and backslashes are
// plain except before a quote (2n backslashes + quote: n backslashes and
// the quote groups; 2n+1: n backslashes and a literal quote).
std::vector<Text> SplitArguments(const Text& text);

// A way to read the program part of a command line, with the arguments
// that follow it.
struct ProgramChoice {
  Text program;
  Text arguments;
};

// The readings to try in turn, as Windows does: a quoted program part is
// the only one; otherwise every blank may end it, shortest first, then the
// whole text.
std::vector<ProgramChoice> ProgramChoices(const Text& commandLine);

}  // namespace quarrow::posix
