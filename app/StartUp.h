// The program's main sequence, run once when the main window is created.
#pragma once

#include "retrieval/Job.h"

namespace quarrow {

// Reads the settings from the process's argument text. In batch mode runs
// the whole job (header pass, then the body pass if messages were counted)
// and closes the main window; in interactive mode returns at once.
Mode RunStartUp(Job& job);

}  // namespace quarrow
