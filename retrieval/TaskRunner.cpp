#include "retrieval/TaskRunner.h"

#include "retrieval/Stop.h"

namespace quarrow {

bool RunTaskAndWait(Job& job, const Text& program, const Text& command,
                    int windowStyle, const Text& runName) {
  Platform& platform = job.platform;
  StopIfRequested(job);
  ProcessId id;
  try {
    id = platform.StartProcess(program, command, windowStyle);
  } catch (const Failure& failure) {
    ++job.failedStarts;
    platform.ShowMessage(
        L"Error starting task " + platform.DisplayPath(program) +
            L"\r\n" +
            failure.message(),
        L"Error", MessageIcon::Exclamation);
    return false;
  }
  platform.HideMainWindow();
  platform.ProcessPendingEvents();
  // Waits on the process that was started, never on a later one with a
  // reused id, and never goes on while the tool still writes its files.
  const ProcessExit exit = platform.WaitForProcess(id);
  platform.ShowMainWindow();
  if (exit.Failed()) {
    ++job.failedRuns;
    job.unreportedFailures.push_back({runName, exit});
  }
  return true;
}

}  // namespace quarrow
