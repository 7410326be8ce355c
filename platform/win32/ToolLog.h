// The mail tool's log on Windows, %LOCALAPPDATA%\Quarrow\getmail.log: its
// console window closes when it ends, so the tool appends every message
// there, each line stamped with the time and its process id. A failed run's
// own last message is read back from what that run added.
#pragma once

#include <string>

#include "platform/Platform.h"

namespace quarrow::win32 {

// The log's full path; with the variable's name when LOCALAPPDATA is unset.
Text ToolLogPath();

// The log's size now, in bytes; 0 while there is none.
unsigned long long ToolLogSize();

// What was added to the log after it had `before` bytes, at most the last
// kToolOutputKept bytes of it; all of it when the log has since been made
// anew (is shorter). Empty when it cannot be read.
std::string ToolLogAddedSince(unsigned long long before);

}  // namespace quarrow::win32
