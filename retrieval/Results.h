// Giving what a retrieval run left its date-stamped ".vch" names.
#pragma once

#include <vector>

#include "retrieval/Job.h"
#include "retrieval/RetrievalRecord.h"

namespace quarrow {

// Gives every "Extract*" file in the mail folder a stamped name numbered
// from 1 in listing order; gives back the new names.
std::vector<Text> RenameExtractFiles(Job& job);

// The results of the run that `record` describes: its extract files, or
// where there are none, the body file if the run wrote it (its state is no
// longer the one recorded before the run). A body file that the run did
// not write is a failure after a run that went to its end, and nothing to
// do after an interrupted one. Gives back the new names.
std::vector<Text> RenameRunResults(Job& job, const RetrievalRecord& record,
                                   bool runEnded);

}  // namespace quarrow
