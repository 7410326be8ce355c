// Runs one command line as a new process and blocks until it has ended, with
// the main window hidden meanwhile.
#pragma once

#include "retrieval/Job.h"

namespace quarrow {

// Returns false when the command could not be started; that has been shown
// in the "Error" message box and the caller goes on as after a finished run.
// A run that ends reporting a failure is noted in `job` under `runName`
// ("Header run", "Message 3"), and the caller goes on as after any other.
// `program` is the tool that `command` begins with, started by that path.
bool RunTaskAndWait(Job& job, const Text& program, const Text& command,
                    int windowStyle, const Text& runName);

}  // namespace quarrow
