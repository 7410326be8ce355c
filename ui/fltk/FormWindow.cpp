#include "ui/fltk/FormWindow.h"

#include <FL/Fl.H>
#include <FL/Fl_Button.H>

namespace quarrow::fltk {

int FormWindow::handle(int event) {
  // A text box leaves Enter to its window, whose group would take it as a
  // move to the next control. As in the Windows build, Enter presses the
  // button that has the focus and does nothing anywhere else.
  if (event == FL_KEYBOARD &&
      (Fl::event_key() == FL_Enter || Fl::event_key() == FL_KP_Enter)) {
    auto* button = dynamic_cast<Fl_Button*>(Fl::focus());
    if (button != nullptr && contains(button)) button->do_callback();
    return 1;
  }
  return Fl_Double_Window::handle(event);
}

void FormWindow::hide() {
  // Hiding drops the focus without telling the window, which would later
  // hand it to the control that had it before the last one: after a pass
  // started from a button, the text box before it, all selected.
  Fl_Widget* focus = Fl::focus();
  focusWhenHidden_ = contains(focus) ? focus : nullptr;
  Fl_Double_Window::hide();
}

void FormWindow::show() {
  Fl_Double_Window::show();
  if (focusWhenHidden_ != nullptr) {
    focusWhenHidden_->take_focus();
    focusWhenHidden_ = nullptr;
  }
}

}  // namespace quarrow::fltk
