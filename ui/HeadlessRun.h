// A run without any window: only batch mode works there.
#pragma once

#include <ostream>

#include "platform/Platform.h"

namespace quarrow {

// Runs the start-up sequence on `platform` (whose desktop has no window)
// and gives back the exit status. Interactive mode cannot run: says so on
// `err` with `programName` in the usage line and fails.
int RunHeadless(Platform& platform, const char* programName,
                std::ostream& err);

}  // namespace quarrow
