// The main window's top-level FLTK window, with the two keyboard habits
// that FLTK has and Windows has not taken out: Enter moves the focus, and a
// window that was hidden gets the focus back on the wrong control.
#pragma once

#include <FL/Fl_Double_Window.H>

namespace quarrow::fltk {

class FormWindow : public Fl_Double_Window {
 public:
  FormWindow(int width, int height) : Fl_Double_Window(width, height) {}

  int handle(int event) override;
  void show() override;
  void hide() override;

 private:
  // The control that had the focus when the window was hidden.
  Fl_Widget* focusWhenHidden_ = nullptr;
};

}  // namespace quarrow::fltk
