// The state that one run of the program shares between the window, the
// start-up sequence and the two passes.
#pragma once

#include "app/Settings.h"
#include "platform/Platform.h"

namespace quarrow {

struct Job {
  explicit Job(Platform& p) : platform(p) {}

  Platform& platform;
  Settings settings;
  // Header files counted by the last header pass; 0 before the first.
  int msgCount = 0;
  // Tool runs that could not be started, for the batch exit status.
  int failedStarts = 0;
};

}  // namespace quarrow
