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
// description when it cannot start. `lockDescriptor` (-1 for none) stays
// open in the new process, which learns its number from the environment
// variable QUARROW_FOLDER_LOCK. The new process is the one a stop signal
// is passed on to while it runs.
ProcessId StartProgram(const Drives& drives, const Text& commandLine,
                       int lockDescriptor = -1);

// Waits until process `id` has ended, reaps it and tells how it ended; one
// reaped already gives an unknown end.
ProcessExit WaitForProgram(ProcessId id);

}  // namespace quarrow::posix
