// Picking the mail tool's own last message out of what it wrote, for the
// note after a run that reported a failure. Portable: each system's layer
// gathers the text (a pipe on standard error, the tool's log on Windows)
// and hands it here.
#pragma once

#include <string>

#include "platform/Desktop.h"

namespace quarrow {

// What the tool writes before each of its messages.
constexpr char kToolMessagePrefix[] = "getmail: ";

// The last line of `output` (UTF-8, any line ends) that begins with the
// tool's prefix, without it: a usage text after the message does not hide
// it. Without such a line, the last line that is not blank. Empty when
// there is none. Only the last kToolOutputKept bytes need be given.
Text LastToolMessage(const std::string& output);

// How much of a run's output is kept to look for its last message.
constexpr size_t kToolOutputKept = 64 * 1024;

// The lines of the tool's log that process `processId` wrote, without
// their time and process id: the log stamps every line
// "YYYY-MM-DD HH:MM:SS [pid] ", and runs of other processes may be mixed in.
std::string ToolLogLinesOf(const std::string& log, unsigned long processId);

}  // namespace quarrow
