// Starting the tool straight from its command line, with no shell in
// between, and waiting for it.
#pragma once

#include "platform/posix/Drives.h"

namespace quarrow::posix {

// Starts the program that `commandLine` names, found like any other file
// (a "NAME.exe" that does not exist falls back to "NAME"; a bare name is
// also looked for along PATH), with the arguments split by the Windows
// rules. It inherits the working folder and standard output and error.
// Throws Failure with the system's description when it cannot start.
ProcessId StartProgram(const Drives& drives, const Text& commandLine);

// Waits until process `id` has ended and reaps it; one reaped already is
// not an error.
void WaitForProgram(ProcessId id);

}  // namespace quarrow::posix
