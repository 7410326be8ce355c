// Retrieval runs that survive an interruption. Before each run a record of
// it is made durable in the mail folder; once the run's results carry their
// stamped names on disk the record goes. Whatever moment the job is
// stopped at, the next job finds the record and finishes those renames, so
// a message the server no longer has is never left under a name that a
// later step deletes or hands to another message.
#pragma once

#include "retrieval/Job.h"

namespace quarrow {

// Finishes the run that a record left behind names, if there is one:
// renames its results as after a normal run, makes that durable, removes
// the record and says which results were saved. Throws Failure when a
// record is there but cannot be read; nothing is renamed or deleted then.
void FinishInterruptedRun(Job& job);

// Runs the retrieval of message `message`, whose body file is `bodyFile`,
// and gives its results their stamped names. Extract files already in the
// folder are saved as results of their own first, so they never count as
// this message's.
void RunRecordedRetrieval(Job& job, int message, const Text& bodyFile);

// "2 results of an interrupted job were saved as "a.vch" and "b.vch"."
Text SavedAfterInterruptionNote(const std::vector<Text>& names);

}  // namespace quarrow
