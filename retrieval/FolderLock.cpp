#include "retrieval/FolderLock.h"

#include "retrieval/Stop.h"

namespace quarrow {

FolderLock::FolderLock(Job& job) : job_(job) {
  if (job.folderLocked) return;
  Platform& platform = job.platform;
  for (int attempt = 1;; ++attempt) {
    if (platform.TryLockFolder()) break;
    if (attempt == kTries)
      throw Failure(L"Another Quarrow job is working in the mail folder " +
                        platform.DisplayPath(job.settings.myPath) +
                        L". This job has ended without changing anything "
                        L"there; the next one will fetch what is left.",
                    Failure::Reason::FolderBusy);
    StopIfRequested(job);
    platform.Sleep(std::chrono::milliseconds(kPauseMilliseconds));
  }
  job.folderLocked = true;
  taken_ = true;
}

FolderLock::~FolderLock() {
  if (!taken_ || job_.keepFolderLock) return;
  job_.folderLocked = false;
  try {
    job_.platform.ReleaseFolderLock();
  } catch (...) {
    // The system lets go when the process ends.
  }
}

void ReleaseJobLock(Job& job) {
  if (!job.folderLocked) return;
  job.folderLocked = false;
  job.keepFolderLock = false;
  job.platform.ReleaseFolderLock();
}

}  // namespace quarrow
