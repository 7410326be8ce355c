// One job per mail folder. Two jobs in one folder (overlapping scheduled
// runs, a window open while the timer fires) would delete each other's
// header files and rename each other's results.
#pragma once

#include "retrieval/Job.h"

namespace quarrow {

// Holds the lock of the current folder (the mail folder) for one pass, or
// for the whole job where the job keeps it (batch mode). Waits a few
// seconds for another job to let go, then throws Failure with reason
// FolderBusy naming the folder, before anything in it has been touched.
class FolderLock {
 public:
  explicit FolderLock(Job& job);
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  // How long a second job waits: tries, and the pause between them.
  static constexpr int kTries = 25;
  static constexpr int kPauseMilliseconds = 200;

 private:
  Job& job_;
  bool taken_ = false;
};

// Lets go of a lock that the job kept past its passes.
void ReleaseJobLock(Job& job);

}  // namespace quarrow
