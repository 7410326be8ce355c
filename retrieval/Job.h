// The state that one run of the program shares between the window, the
// start-up sequence and the two passes.
#pragma once

#include <vector>

#include "app/Settings.h"
#include "platform/Platform.h"

namespace quarrow {

// A tool run that ended reporting a failure: which run, and how it ended.
struct ToolRunFailure {
  Text run;  // "Header run", "Message 3"
  ProcessExit exit;
};

struct Job {
  explicit Job(Platform& p) : platform(p) {}

  Platform& platform;
  Settings settings;
  // Header files counted by the last header pass; 0 before the first.
  int msgCount = 0;
  // Tool runs that could not be started, for the batch exit status.
  int failedStarts = 0;
  // Tool runs that ended reporting a failure, for the batch exit status.
  int failedRuns = 0;
  // Those of them that have not been reported to the user yet.
  std::vector<ToolRunFailure> unreportedFailures;
  // Results of an interrupted job that this job saved.
  int recoveredResults = 0;
  // The mail folder's lock is held; kept past each pass where the job
  // keeps it (batch mode holds it for the whole job).
  bool folderLocked = false;
  bool keepFolderLock = false;
};

}  // namespace quarrow
