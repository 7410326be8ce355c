// The desktop of an interactive run on Windows: the main window, the
// message loop and modal message boxes.
#pragma once

#include <windows.h>

#include "platform/Desktop.h"
#include "ui/win32/MainWindow.h"

namespace quarrow::win32 {

class Win32Desktop final : public Desktop {
 public:
  // `firstShow` is the show state the program was started with; it applies
  // the first time the window is shown.
  explicit Win32Desktop(int firstShow) : firstShow_(firstShow) {}

  // The window to hide, show and close; until then those do nothing.
  void Attach(MainWindow& window) { window_ = &window; }

  void HideMainWindow() override;
  void ShowMainWindow() override;
  void CloseMainWindow() override;
  void ProcessPendingEvents() override;
  void ShowMessage(const Text& text, const Text& title,
                   MessageIcon icon) override;
  // A line on standard error: the session may be ending, and a box would
  // keep the program from doing so.
  void ShowStopNotice(const Text& text, const Text& title) override;

  // Handles messages until the window has been closed (WM_QUIT); stops
  // early when `done` says so.
  template <typename Done>
  void RunUntil(Done done) {
    MSG message;
    while (!done() && GetMessageW(&message, nullptr, 0, 0) > 0)
      Dispatch(message);
  }

 private:
  HWND Handle() const;
  void Dispatch(MSG& message);

  MainWindow* window_ = nullptr;
  int firstShow_;
  bool shown_ = false;
};

}  // namespace quarrow::win32
