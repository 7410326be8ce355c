// The in-memory platform the core's tests run on: a FakeFileSystem, a
// settable clock, a scripted mail tool that plays a mailbox, a record of
// window operations and message boxes, and failures injected on the Nth call
// of any operation.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "support/FakeFileSystem.h"

namespace quarrow::testing {

struct FakeMessage {
  std::string header;  // what the header run writes for it
  std::string whole;   // what the retrieval run writes as the body file
  std::vector<std::pair<Text, std::string>> attachments;  // name, bytes
};

enum class Op {
  StartProcess, WaitForProcess, SelectDrive, ChangeFolder, ListFiles,
  DeleteFiles, RenameFile, GetFileState, OpenTextFile, UpperCase, Now, Sleep,
  ProgramFolder, ArgumentText, HideMainWindow, ShowMainWindow,
  CloseMainWindow, ProcessPendingEvents, ShowMessage, SyncFolder,
  WriteHiddenFile, ReadHiddenFile, RemoveHiddenFile, TryLockFolder,
  ReleaseFolderLock
};

// Thrown by the call at which a test ends the program as a kill would: it
// is no Failure and no std::exception, so nothing in the program catches it.
struct Killed {};

class FakePlatform : public Platform {
 public:
  FakePlatform();

  // --- What the tests set up and look at --------------------------------
  FakeFileSystem fs;
  // The mail server: message n is mailbox[n - 1].
  std::vector<FakeMessage> mailbox;
  // When set, the tool cannot be started.
  bool toolMissing = false;
  // How the tool's runs end, in the order they were started; the runs past
  // the end report success. A scripted run that reports a failure writes
  // and deletes nothing, like a tool that could not reach the server.
  std::vector<ProcessExit> exits;
  Text programFolder = L"C:\\Program Files\\Quarrow";
  Text argumentText;
  LocalTime clock{2007, 1, 28, 9, 36, 14, 0};
  // How far the clock moves on at every reading.
  long long millisecondsPerReading = 0;
  // Pieces of this many characters come out of OpenTextFile's reader.
  size_t readPieceSize = 5;

  struct ToolRun {
    Text program;  // the program started, by its full path
    Text command;
    int windowStyle;
    Text folder;  // the current folder the tool inherited
  };
  std::vector<ToolRun> toolRuns;
  // Window operations in order: "hide", "show", "close", "events", "box".
  std::vector<std::string> windowLog;
  struct Box {
    Text text, title;
    MessageIcon icon;
  };
  std::vector<Box> boxes;
  // Runs when pending window events are processed: a click or a close
  // request that arrived while a pass was busy.
  std::function<void()> onPendingEvents;
  // Replaces the scripted tool for one test; runs when the process is
  // waited for, in the folder the tool inherited, whatever its exit.
  std::function<void(const Text& command)> tool;

  // What the folder saw, in order: "rename FROM TO", "sync", "start",
  // "write NAME", "remove NAME" (hidden files).
  std::vector<std::string> diskLog;
  // Another job holds the folder for this many more tries of the lock.
  int lockBusyTries = 0;
  bool lockHeld = false;
  // The stop request arrives while the tool run with this number (from 1)
  // is waited for; 0 for never.
  int stopDuringRun = 0;
  bool stopRequested = false;
  // The program dies as a kill would just before this call (from 1) of any
  // operation; the tool run being waited for then still goes to its end,
  // as a tool outlives a program killed alone. 0 for never.
  int killAtCall = 0;
  int totalCalls() const { return totalCalls_; }

  // The `nth` call (from 1) of `op` throws a Failure.
  void FailOn(Op op, int nth) { failOn_[op] = nth; }
  int calls(Op op) const;
  // The clock plus `ms` milliseconds, across days, months and years.
  static LocalTime Add(LocalTime t, long long ms);

  // --- Platform -----------------------------------------------------------
  ProcessId StartProcess(const Text& program, const Text& commandLine,
                         int windowStyle) override;
  ProcessExit WaitForProcess(ProcessId id) override;
  Text ToolMessagesPlace() override { return L"standard error"; }
  void SelectDrive(wchar_t letter) override;
  void ChangeFolder(const Text& folder) override;
  std::vector<Text> ListFiles(const Text& pattern) override;
  void DeleteFiles(const Text& pattern) override;
  void RenameFile(const Text& from, const Text& to) override;
  FileState GetFileState(const Text& name) override;
  std::unique_ptr<TextReader> OpenTextFile(const Text& name) override;
  Text UpperCase(const Text& text) override;
  LocalTime Now() override;
  void Sleep(std::chrono::milliseconds duration) override;
  Text ProgramFolder() override;
  Text ArgumentText() override;
  void HideMainWindow() override;
  void ShowMainWindow() override;
  void CloseMainWindow() override;
  void ProcessPendingEvents() override;
  void ShowMessage(const Text& text, const Text& title,
                   MessageIcon icon) override;
  void SyncFolder() override;
  void WriteHiddenFile(const Text& name, const std::string& bytes) override;
  std::optional<std::string> ReadHiddenFile(const Text& name) override;
  void RemoveHiddenFile(const Text& name) override;
  bool TryLockFolder() override;
  void ReleaseFolderLock() override;
  bool StopRequested() override { return stopRequested; }

 private:
  void Call(Op op);
  void RunScriptedTool(const Text& command);

  std::map<Op, int> calls_;
  int totalCalls_ = 0;
  std::map<Op, int> failOn_;
  struct Running {
    Text command;
    ProcessExit exit;
  };
  std::map<ProcessId, Running> running_;
  ProcessId nextId_ = 100;
  size_t headerRunCount_ = 0;  // N of the last header run
};

}  // namespace quarrow::testing
