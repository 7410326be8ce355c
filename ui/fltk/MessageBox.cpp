#include "ui/fltk/MessageBox.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Return_Button.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>

#include <algorithm>

namespace quarrow::fltk {

namespace {

// The text with CR LF and CR as plain line ends, and "@" (which FLTK reads
// as a symbol) shown as it stands.
std::string Shown(const Text& text) {
  std::string shown;
  const std::string bytes = ToUtf8(text);
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r') {
      shown += '\n';
      if (i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    } else {
      shown += bytes[i];
      if (bytes[i] == '@') shown += '@';
    }
  }
  return shown;
}

void Dismiss(Fl_Widget*, void* window) { static_cast<Fl_Window*>(window)->hide(); }

}  // namespace

void ShowMessageBox(const Text& text, const Text& title, MessageIcon icon,
                    Fl_Fontsize size) {
  const std::string shown = Shown(text);
  // Everything measured in the font size: margins of one size, a symbol of
  // three, an OK button of seven by two.
  const int margin = size, side = 3 * size;
  const int buttonW = 7 * size, buttonH = 2 * size + 2;
  // As wide as its longest line, up to most of the screen, where it wraps.
  fl_font(FL_HELVETICA, size);
  int textW = 0, textH = 0;
  fl_measure(shown.c_str(), textW, textH, 0);
  const int widest = std::max(300, Fl::w() - 150);
  if (textW > widest) {
    textW = widest;
    fl_measure(shown.c_str(), textW, textH, 0);
  }
  textW = std::max(textW, 12 * size) + 8;  // the label's own margins
  textH = std::max(textH, side);

  const int w = margin + side + margin + textW + margin;
  const int h = margin + textH + margin + buttonH + margin;
  Fl_Window window(w, h);
  window.copy_label(ToUtf8(title).c_str());

  Fl_Box symbol(margin, margin, side, side);
  symbol.box(FL_THIN_UP_BOX);
  symbol.labelfont(FL_TIMES_BOLD);
  symbol.labelsize(2 * size);
  switch (icon) {
    case MessageIcon::Exclamation:
      symbol.label("!");
      symbol.labelcolor(FL_DARK_YELLOW);
      break;
    case MessageIcon::Critical:
      symbol.label("X");
      symbol.labelcolor(FL_RED);
      break;
    case MessageIcon::Information:
      symbol.label("i");
      symbol.labelcolor(FL_BLUE);
      break;
  }

  Fl_Box message(2 * margin + side, margin, textW, textH);
  message.copy_label(shown.c_str());
  message.labelsize(size);
  message.align(FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);

  Fl_Return_Button ok((w - buttonW) / 2, h - margin - buttonH, buttonW,
                      buttonH, "OK");
  ok.labelsize(size);
  ok.callback(Dismiss, &window);
  window.end();
  // A fixed size, so the window manager offers no resizing or maximize.
  window.resizable(nullptr);
  window.size_range(w, h, w, h);
  window.set_modal();
  window.position((Fl::w() - w) / 2, (Fl::h() - h) / 2);
  window.show();
  while (window.shown()) Fl::wait();
}

}  // namespace quarrow::fltk
