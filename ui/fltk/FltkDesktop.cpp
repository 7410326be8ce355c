#include "ui/fltk/FltkDesktop.h"

#include <FL/Fl.H>

#include <iostream>

#include "platform/HeadlessDesktop.h"
#include "ui/fltk/MessageBox.h"

namespace quarrow::fltk {

void FltkDesktop::HideMainWindow() {
  if (window_ != nullptr) window_->hide();
}

void FltkDesktop::ShowMainWindow() {
  if (window_ != nullptr) window_->show();
}

void FltkDesktop::CloseMainWindow() {
  // The loop in main ends once the form has its exit status.
  if (window_ != nullptr) window_->hide();
}

void FltkDesktop::ProcessPendingEvents() { Fl::check(); }

void FltkDesktop::ShowMessage(const Text& text, const Text& title,
                              MessageIcon icon) {
  // In the main window's font size, which its label size carries.
  ShowMessageBox(text, title, icon,
                 window_ != nullptr ? window_->labelsize() : FL_NORMAL_SIZE);
}

void FltkDesktop::ShowStopNotice(const Text& text, const Text& title) {
  std::cerr << ToUtf8(HeadlessDesktop::OneLine(text, title)) << std::endl;
}

}  // namespace quarrow::fltk
