// The desktop of a run with a display: the main window on FLTK, and modal
// message boxes.
#pragma once

#include <FL/Fl_Window.H>

#include "platform/Desktop.h"

namespace quarrow::fltk {

class FltkDesktop : public Desktop {
 public:
  // The window to hide, show and close; until then those do nothing.
  void Attach(Fl_Window& window) { window_ = &window; }

  void HideMainWindow() override;
  void ShowMainWindow() override;
  void CloseMainWindow() override;
  void ProcessPendingEvents() override;
  void ShowMessage(const Text& text, const Text& title,
                   MessageIcon icon) override;
  // A line on standard error: the session may be ending, and a box would
  // keep the program from doing so.
  void ShowStopNotice(const Text& text, const Text& title) override;

 private:
  Fl_Window* window_ = nullptr;
};

}  // namespace quarrow::fltk
