// The stop watch on Windows: the console's events. Ctrl+C and Ctrl+Break,
// and closing the console window, logging off and shutting down, which end
// the process soon after the handler returns; so a handler that must let
// the session finish does not return, and the process ends when the run
// does.
#include <windows.h>

#include <string>

#include "tools/getmail/Stopping.h"

namespace getmail {
namespace {

BOOL WINAPI OnConsoleEvent(DWORD event) {
  const char* name = nullptr;
  switch (event) {
    case CTRL_C_EVENT: name = "Ctrl+C"; break;
    case CTRL_BREAK_EVENT: name = "Ctrl+Break"; break;
    case CTRL_CLOSE_EVENT: name = "the console window was closed"; break;
    case CTRL_LOGOFF_EVENT: name = "the user logs off"; break;
    case CTRL_SHUTDOWN_EVENT: name = "the system shuts down"; break;
    default: return FALSE;
  }
  StopRequested(std::string("asked to stop (") + name + ")");
  // The deletion is under way: the run ends the process once the session
  // is finished.
  for (;;) Sleep(INFINITE);
}

}  // namespace

void WatchForStop() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

// At once, like _exit: no DLL or library clean-up that could wait on a lock
// another thread holds.
void EndProcessNow(int status) {
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
  for (;;) Sleep(INFINITE);
}

}  // namespace getmail
