// Starting the tool straight from its command line, with no shell in
// between, and waiting for it.
#pragma once

#include "platform/posix/Drives.h"

namespace quarrow::posix {

// Starts the program that `commandLine` names, found as Windows finds it:
// a name without an extension is looked for with ".exe" added, and a bare
// name is also looked for along PATH. A "NAME.exe" that does not exist
// falls back to "NAME", since the tool is installed here without ".exe".
// The arguments are split by the Windows rules. It inherits the working
// folder and standard output and error. Throws Failure with the system's
// description when it cannot start.
ProcessId StartProgram(const Drives& drives, const Text& commandLine);

// Waits until process `id` has ended, reaps it and tells how it ended; one
// reaped already gives an unknown end.
ProcessExit WaitForProgram(ProcessId id);

}  // namespace quarrow::posix
