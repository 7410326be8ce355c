// The platform on Linux and other POSIX systems, with Windows meaning:
// drive letters mapped onto folders, names without regard to case, and the
// tool started straight from its command line. Window operations go to the
// desktop it was given.
#pragma once

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "platform/PlatformOnDesktop.h"
#include "platform/posix/Drives.h"
#include "platform/posix/ErrorRelay.h"
#include "platform/posix/FolderLockFile.h"

namespace quarrow::posix {

class PosixPlatform final : public PlatformOnDesktop {
 public:
  // `arguments`: the process's arguments after the program's own name.
  PosixPlatform(Desktop& desktop, std::vector<std::string> arguments,
                const Drives::Environment& environment = ::getenv);

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
  // A stop signal has arrived; see InstallStopHandlers.
  bool StopRequested() override;
  Text UpperCase(const Text& text) override;

  LocalTime Now() override;
  void Sleep(std::chrono::milliseconds duration) override;

  // The name, then the path it maps to here: "c:\mail (/home/ana/mail)".
  Text DisplayPath(const Text& name) override;

  Text ProgramFolder() override;
  Text ArgumentText() override;

 private:
  // The real path of the current folder.
  std::string CurrentFolder() const;

  std::vector<std::string> arguments_;
  Drives drives_;
  // The standard error of each started program not yet waited for.
  std::map<ProcessId, ErrorPipe> errorPipes_;
  FolderLockFile folderLock_;
};

}  // namespace quarrow::posix
