// Quarrow on Windows: the main window, or with QUARROW_HEADLESS=1 an
// unattended run that writes its message boxes to standard error, so a
// scheduled task never waits on a box that nobody sees.
#include <windows.h>

#include <iostream>

#include "platform/HeadlessDesktop.h"
#include "platform/win32/JobFiles.h"
#include "platform/win32/SessionEnd.h"
#include "platform/win32/Win32Platform.h"
#include "ui/HeadlessRun.h"
#include "ui/MainForm.h"
#include "ui/win32/MainWindow.h"
#include "ui/win32/Win32Desktop.h"

namespace {

using quarrow::MainForm;

bool Headless() {
  wchar_t value[4];
  const DWORD length =
      GetEnvironmentVariableW(L"QUARROW_HEADLESS", value, 4);
  return length == 1 && value[0] == L'1';
}

int RunHeadless() {
  quarrow::HeadlessDesktop desktop(std::cerr);
  quarrow::Win32Platform platform(desktop);
  desktop.SetClock([&platform] { return platform.Now(); });
  return quarrow::RunHeadless(platform, "Quarrow.exe", std::cerr);
}

int RunWithWindow(HINSTANCE instance, int show) {
  // Twips become pixels at the screen's real resolution, not at a scaled
  // 96 dots per inch.
  SetProcessDPIAware();
  quarrow::win32::Win32Desktop desktop(show);
  quarrow::Win32Platform platform(desktop);
  MainForm form(platform);
  quarrow::win32::MainWindow window(instance, form);
  desktop.Attach(window);

  // A batch run ends here; the task runner showed the window meanwhile.
  form.Form_Load(window);
  if (form.exitStatus()) return *form.exitStatus();

  desktop.ShowMainWindow();
  desktop.RunUntil([&] { return form.exitStatus().has_value(); });
  return form.exitStatus().value_or(MainForm::kOk);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  // The current folder becomes the mail folder, which others may write to:
  // a DLL the system loads later on our behalf comes from System32 only,
  // never from there or from the program's folder.
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  quarrow::win32::InstallConsoleStopHandler();
  quarrow::win32::WatchForSessionEnd();
  const int status = Headless() ? RunHeadless() : RunWithWindow(instance, show);
  // A console event waiting for the job may let the system end us now.
  quarrow::win32::JobStopped();
  return status;
}
