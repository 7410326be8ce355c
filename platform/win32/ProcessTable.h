// Starting the tool and waiting for it.
#pragma once

#include <map>

#include "platform/Platform.h"

namespace quarrow::win32 {

// Keeps the handle of every process it started until that process has been
// waited for, so the wait is on that very process even if it has already
// ended and its id has been given to another one.
class ProcessTable {
 public:
  ProcessTable() = default;
  ProcessTable(const ProcessTable&) = delete;
  ProcessTable& operator=(const ProcessTable&) = delete;
  ~ProcessTable();

  // Starts `program` by its full path; `commandLine` goes over unchanged.
  // `lock` (nullptr for none) is handed down to the new process, and the
  // only handle it inherits; QUARROW_FOLDER_LOCK tells it the value.
  ProcessId Start(const Text& program, const Text& commandLine,
                  int windowStyle, void* lock = nullptr);
  // Waits for the process and gives back its exit code, taken from the
  // handle kept since the start; a process this table did not start gives
  // an unknown end.
  ProcessExit Wait(ProcessId id);

 private:
  std::map<ProcessId, void*> handles_;
};

}  // namespace quarrow::win32
