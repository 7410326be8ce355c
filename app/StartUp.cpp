#include "app/StartUp.h"

#include "retrieval/Passes.h"

namespace quarrow {

Mode RunStartUp(Job& job) {
  const Mode mode = LoadSettings(job.platform.ArgumentText(), job.settings);
  if (mode == Mode::Interactive) return mode;
  GetMsgHdr_Click(job);
  if (job.msgCount > 0) ReadBody_Click(job);
  job.platform.CloseMainWindow();
  return mode;
}

}  // namespace quarrow
