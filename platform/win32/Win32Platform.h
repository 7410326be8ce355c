// Quarrow's operating-system layer for Windows, on the wide-character API.
#pragma once

#include <map>

#include "platform/PlatformOnDesktop.h"
#include "platform/win32/JobFiles.h"
#include "platform/win32/ProcessTable.h"

namespace quarrow {

class Win32Platform final : public PlatformOnDesktop {
 public:
  explicit Win32Platform(Desktop& desktop) : PlatformOnDesktop(desktop) {}

  ProcessId StartProcess(const Text& program, const Text& commandLine,
                         int windowStyle) override;
  ProcessExit WaitForProcess(ProcessId id) override;
  Text ToolMessagesPlace() override;

  void SelectDrive(wchar_t letter) override;
  void ChangeFolder(const Text& folder) override;

  std::vector<Text> ListFiles(const Text& pattern) override;
  void DeleteFiles(const Text& pattern) override;
  void RenameFile(const Text& from, const Text& to) override;
  FileState GetFileState(const Text& name) override;
  std::unique_ptr<TextReader> OpenTextFile(const Text& name) override;
  void SyncFolder() override;
  void WriteHiddenFile(const Text& name, const std::string& bytes) override;
  std::optional<std::string> ReadHiddenFile(const Text& name) override;
  void RemoveHiddenFile(const Text& name) override;
  bool TryLockFolder() override;
  void ReleaseFolderLock() override;
  bool StopRequested() override;
  Text UpperCase(const Text& text) override;

  LocalTime Now() override;
  void Sleep(std::chrono::milliseconds duration) override;

  Text ProgramFolder() override;
  Text ArgumentText() override;

 private:
  win32::ProcessTable processes_;
  // The tool's log size when each process not yet waited for was started.
  std::map<ProcessId, unsigned long long> logSizeAtStart_;
  win32::FolderLockHandle folderLock_;
};

}  // namespace quarrow
