#include "app/StartUp.h"

#include "retrieval/FolderLock.h"
#include "retrieval/Passes.h"

namespace quarrow {

Mode RunStartUp(Job& job) {
  const Mode mode = LoadSettings(job.platform.ArgumentText(), job.settings);
  if (mode == Mode::Interactive) return mode;
  // One job: no other may come between its two passes.
  job.keepFolderLock = true;
  GetMsgHdr_Click(job);
  if (job.msgCount > 0) ReadBody_Click(job);
  ReleaseJobLock(job);
  job.platform.CloseMainWindow();
  return mode;
}

}  // namespace quarrow
