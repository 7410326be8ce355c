// Quarrow's operating-system layer for Windows, on the wide-character API.
// Window operations go to the Desktop it is given: the real window, or the
// headless desktop of an unattended run.
#pragma once

#include "platform/Desktop.h"
#include "platform/Platform.h"
#include "platform/win32/ProcessTable.h"

namespace quarrow {

class Win32Platform final : public Platform {
 public:
  explicit Win32Platform(Desktop& desktop) : desktop_(desktop) {}

  ProcessId StartProcess(const Text& commandLine, int windowStyle) override;
  void WaitForProcess(ProcessId id) override;

  void SelectDrive(wchar_t letter) override;
  void ChangeFolder(const Text& folder) override;

  std::vector<Text> ListFiles(const Text& pattern) override;
  void DeleteFiles(const Text& pattern) override;
  void RenameFile(const Text& from, const Text& to) override;
  std::unique_ptr<TextReader> OpenTextFile(const Text& name) override;
  Text UpperCase(const Text& text) override;

  LocalTime Now() override;
  void Sleep(std::chrono::milliseconds duration) override;

  Text ProgramFolder() override;
  Text ArgumentText() override;

  void HideMainWindow() override { desktop_.HideMainWindow(); }
  void ShowMainWindow() override { desktop_.ShowMainWindow(); }
  void CloseMainWindow() override { desktop_.CloseMainWindow(); }
  void ProcessPendingEvents() override { desktop_.ProcessPendingEvents(); }
  void ShowMessage(const Text& text, const Text& title,
                   MessageIcon icon) override {
    desktop_.ShowMessage(text, title, icon);
  }

 private:
  Desktop& desktop_;
  win32::ProcessTable processes_;
};

}  // namespace quarrow
