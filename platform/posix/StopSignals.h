// Stopping politely on SIGTERM, SIGINT and SIGHUP: the program notes the
// request, passes the signal on to the tool run in progress (so the tool
// ends its POP3 session properly), and the job stops once that run's
// results are saved, instead of dying between a deletion on the server and
// the rename that saves the message.
#pragma once

#include <sys/types.h>

namespace quarrow::posix {

// Installs the handlers; once per process, before the first tool run.
void InstallStopHandlers();
// True once one of those signals has arrived.
bool StopSignalArrived();
// The tool run that a stop signal is passed on to; 0 for none. Cleared
// before the process is reaped, so a signal never reaches a reused id.
void SetRunningTool(pid_t pid);

}  // namespace quarrow::posix
