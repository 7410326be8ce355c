#include "retrieval/Stop.h"

namespace quarrow {

void StopIfRequested(Job& job) {
  if (!job.platform.StopRequested()) return;
  throw Failure(
      L"Quarrow was asked to end and has stopped its job. Every message it "
      L"fetched is saved in the mail folder; the rest are still on the "
      L"server for the next job.",
      Failure::Reason::Stopped);
}

}  // namespace quarrow
