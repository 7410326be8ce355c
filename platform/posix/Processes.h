// Starting the tool straight from its command line, with no shell in
// between, and waiting for it.
#pragma once

#include "platform/posix/Drives.h"
#include "platform/posix/ErrorRelay.h"

namespace quarrow::posix {

// A started program, and the pipe its standard error goes through.
struct StartedProgram {
  ProcessId id;
  ErrorPipe errors;
};

// Starts `program` (a Windows path, mapped to its file here; one ending in
// ".exe" is also found without it, as the tool is installed here) with the
// arguments that follow it in `commandLine`, split by the Windows rules.
// Nothing is searched for, and the text is never read to find the program.
// It inherits the working folder and standard output; its standard error
// goes through the pipe. Throws Failure with the system's description when
// it cannot start. `lockDescriptor` (-1 for none) stays open in the new
// process, which learns its number from the environment variable
// QUARROW_FOLDER_LOCK. The new process is the one a stop signal is passed
// on to while it runs.
StartedProgram StartProgram(const Drives& drives, const Text& program,
                            const Text& commandLine, int lockDescriptor = -1);

// Waits until process `id` has ended, reaps it and tells how it ended; one
// reaped already gives an unknown end.
ProcessExit WaitForProgram(ProcessId id);

}  // namespace quarrow::posix
