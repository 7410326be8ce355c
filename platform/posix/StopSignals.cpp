#include "platform/posix/StopSignals.h"

#include <signal.h>

#include <initializer_list>

namespace quarrow::posix {

namespace {

volatile sig_atomic_t stopArrived = 0;
volatile sig_atomic_t runningTool = 0;

void OnStopSignal(int signal) {
  stopArrived = 1;
  const pid_t tool = runningTool;
  if (tool > 0) ::kill(tool, signal);
}

}  // namespace

void InstallStopHandlers() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  // Interrupted reads and waits go on as before; the job looks at the
  // request between tool runs.
  action.sa_flags = SA_RESTART;
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    struct sigaction old {};
    ::sigaction(signal, nullptr, &old);
    // A signal ignored by whoever started us (nohup) stays ignored.
    if (old.sa_handler == SIG_IGN) continue;
    ::sigaction(signal, &action, nullptr);
  }
}

bool StopSignalArrived() { return stopArrived != 0; }

void SetRunningTool(pid_t pid) { runningTool = pid; }

}  // namespace quarrow::posix
