#include "retrieval/TaskRunner.h"

#include <cwctype>

namespace quarrow {

Text ProgramPart(const Text& command) {
  for (size_t at = 0; at + 4 <= command.size(); ++at) {
    const bool isExe = command[at] == L'.' &&
                       std::towlower(command[at + 1]) == L'e' &&
                       std::towlower(command[at + 2]) == L'x' &&
                       std::towlower(command[at + 3]) == L'e';
    const bool endsWord = at + 4 == command.size() || command[at + 4] == L' ';
    if (isExe && endsWord) return command.substr(0, at + 4);
  }
  return command.substr(0, command.find(L' '));
}

bool RunTaskAndWait(Job& job, const Text& command, int windowStyle) {
  Platform& platform = job.platform;
  ProcessId id;
  try {
    id = platform.StartProcess(command, windowStyle);
  } catch (const Failure& failure) {
    ++job.failedStarts;
    platform.ShowMessage(
        L"Error starting task " + platform.DisplayPath(ProgramPart(command)) +
            L"\r\n" +
            failure.message(),
        L"Error", MessageIcon::Exclamation);
    return false;
  }
  platform.HideMainWindow();
  platform.ProcessPendingEvents();
  // Waits on the process that was started, never on a later one with a
  // reused id, and never goes on while the tool still writes its files.
  platform.WaitForProcess(id);
  platform.ShowMainWindow();
  return true;
}

}  // namespace quarrow
