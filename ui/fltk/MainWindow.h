// The main window on FLTK: the fixed layout of ui/MainWindowLayout.h, with
// every event forwarded to MainForm.
#pragma once

#include <FL/Fl_Input.H>

#include <memory>

#include "ui/MainForm.h"
#include "ui/fltk/FormWindow.h"

namespace quarrow::fltk {

class MainWindow : public FormView {
 public:
  // Builds the window, hidden, at `dpi` dots per inch (x, y).
  MainWindow(MainForm& form, float dpiX, float dpiY);

  void SetBoxText(int box, const Text& text) override;

  // Its label size is the controls' font size, which message boxes take.
  FormWindow& window() { return *window_; }
  // Shows the window with the focus on Text2.
  void Show();
  // The text box Text1 ... Text6.
  Fl_Input& box(int number) { return *boxes_[number]; }

 private:
  static void OnBoxChanged(Fl_Widget* widget, void* data);
  static void OnHeaderButton(Fl_Widget*, void* data);
  static void OnBodyButton(Fl_Widget*, void* data);
  static void OnClose(Fl_Widget*, void* data);

  MainForm& form_;
  std::unique_ptr<FormWindow> window_;
  Fl_Input* boxes_[7] = {};
};

// Dots per inch of the main screen, at the steps of display scaling.
void ScreenDpi(float& dpiX, float& dpiY);

}  // namespace quarrow::fltk
