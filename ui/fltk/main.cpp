// Quarrow on Linux: the window on FLTK when there is a display. Batch runs
// without one (cron, systemd timers) write their message boxes to standard
// error instead and never open a window.
#include <FL/Fl.H>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "platform/HeadlessDesktop.h"
#include "platform/posix/PosixPlatform.h"
#include "platform/posix/StopSignals.h"
#include "ui/HeadlessRun.h"
#include "ui/MainForm.h"
#include "ui/fltk/FltkDesktop.h"
#include "ui/fltk/MainWindow.h"

namespace {

using quarrow::MainForm;
using quarrow::posix::PosixPlatform;

bool Headless() {
  const char* display = std::getenv("DISPLAY");
  const char* headless = std::getenv("QUARROW_HEADLESS");
  return display == nullptr || *display == '\0' ||
         (headless != nullptr && std::strcmp(headless, "1") == 0);
}

int RunHeadless(const std::vector<std::string>& arguments) {
  quarrow::HeadlessDesktop desktop(std::cerr);
  PosixPlatform platform(desktop, arguments);
  desktop.SetClock([&platform] { return platform.Now(); });
  return quarrow::RunHeadless(platform, "quarrow", std::cerr);
}

int RunWithWindow(const std::vector<std::string>& arguments) {
  quarrow::fltk::FltkDesktop desktop;
  PosixPlatform platform(desktop, arguments);
  MainForm form(platform);
  float dpiX, dpiY;
  quarrow::fltk::ScreenDpi(dpiX, dpiY);
  quarrow::fltk::MainWindow window(form, dpiX, dpiY);
  desktop.Attach(window.window());

  // A batch run ends here; the task runner showed the window meanwhile.
  form.Form_Load(window);
  if (form.exitStatus()) return *form.exitStatus();

  window.Show();
  // Waits in short steps, so a stop signal ends an idle window too.
  while (!form.exitStatus() && Fl::first_window() != nullptr) {
    Fl::wait(0.25);
    if (platform.StopRequested()) form.StopRequested();
  }
  return form.exitStatus().value_or(MainForm::kOk);
}

}  // namespace

int main(int argc, char** argv) {
  // Upper-casing and the reading of header files follow the user's locale.
  std::setlocale(LC_ALL, "");
  quarrow::posix::InstallStopHandlers();
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  return Headless() ? RunHeadless(arguments) : RunWithWindow(arguments);
}
