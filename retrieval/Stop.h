// Ending a job politely when the program is asked to stop.
#pragma once

#include "retrieval/Job.h"

namespace quarrow {

// Throws Failure with reason Stopped once the program has been asked to
// end. Called where no tool runs and every result so far has its stamped
// name on disk.
void StopIfRequested(Job& job);

}  // namespace quarrow
