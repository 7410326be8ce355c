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

// The arguments part of `commandLine` for a program started by its path
// `program`: what follows that path where the text begins with it (blanks
// in its folders included, case aside), else what follows the program part
// as Windows programs read their own name (quoted, or up to a blank).
Text ArgumentsAfterProgram(const Text& commandLine, const Text& program);

}  // namespace quarrow::posix
