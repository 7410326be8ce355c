// The program part of an unquoted command line, for messages that name the
// program without its arguments, which carry the password.
#pragma once

#include "platform/Desktop.h"

namespace quarrow {

// Through the first ".exe" that ends a word, else up to the first blank.
Text ProgramPart(const Text& command);

}  // namespace quarrow
