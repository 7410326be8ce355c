// The two passes of a mail job, named after the buttons that run them.
#pragma once

#include "retrieval/Job.h"

namespace quarrow {

// Header pass: makes the mail folder current, clears old header files, has
// the tool write one header file per message and counts them into msgCount.
// Throws Failure when a step other than starting the tool fails.
void GetMsgHdr_Click(Job& job);

// Body pass: from message msgCount down to 1, fetches, extracts and deletes
// every message whose header file holds the subject text, and gives what it
// leaves date-stamped ".vch" names. Throws Failure like the header pass.
void ReadBody_Click(Job& job);

}  // namespace quarrow
