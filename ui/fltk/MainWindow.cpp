#include "ui/fltk/MainWindow.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>

#include <algorithm>
#include <climits>
#include <cmath>

#include "ui/MainWindowLayout.h"
#include "ui/fltk/MaskedInput.h"
#include "ui/fltk/TextWidth.h"
#include "ui/fltk/WindowIdentity.h"

namespace quarrow::fltk {

namespace {

using layout::Kind;

// A caption as shown: "&&" is one ampersand. Captions are drawn without
// access keys, so the "&" left shows as it stands.
std::string Caption(const wchar_t* text) {
  std::string caption = ToUtf8(text);
  for (size_t at = caption.find("&&"); at != std::string::npos;
       at = caption.find("&&", at + 1))
    caption.erase(at, 1);
  return caption;
}

// A push button without an access key: FLTK would otherwise take "&x" in
// its caption as Alt+x and underline the x.
class PlainButton : public Fl_Button {
 public:
  PlainButton(int x, int y, int w, int h) : Fl_Button(x, y, w, h) {
    clear_flag(SHORTCUT_LABEL);
  }
};

// The dialog font's 8 points, or less where a caption would not fit its
// control at that size: Helvetica runs wider than the Windows dialog font
// the layout was drawn for.
template <typename Scale>
Fl_Fontsize CaptionFontSize(Fl_Fontsize wanted, Scale x) {
  Fl_Fontsize size = wanted;
  for (; size > 6; --size) {
    bool fits = true;
    for (const layout::Control& c : layout::kControls) {
      const bool captioned = c.kind == Kind::Label || c.kind == Kind::Button;
      const int margin = c.kind == Kind::Button ? 8 : 0;
      if (captioned && TextWidth(Caption(c.text), size) + margin > x(c.width))
        fits = false;
    }
    if (fits) break;
  }
  return size;
}

}  // namespace

void ScreenDpi(float& dpiX, float& dpiY) {
  float h = 0, v = 0;
  Fl::screen_dpi(h, v);
  // X gives the screen's size in whole millimetres, so its dots per inch
  // are a little off; snap them to the steps of Windows' display scaling
  // (96, 120, 144 ... dpi), never below 100%.
  const auto step = [](float dpi) {
    return std::max(96.0f, std::round(dpi / 24) * 24);
  };
  dpiX = step(h);
  dpiY = step(v);
}

MainWindow::MainWindow(MainForm& form, float dpiX, float dpiY) : form_(form) {
  const auto x = [&](int twips) {
    return static_cast<int>(std::lround(twips * dpiX / 1440));
  };
  const auto y = [&](int twips) {
    return static_cast<int>(std::lround(twips * dpiY / 1440));
  };
  const Fl_Fontsize fontSize = CaptionFontSize(
      static_cast<Fl_Fontsize>(std::lround(8 * dpiY / 72)), x);

  UseQuarrowIdentity();
  window_ = std::make_unique<FormWindow>(x(layout::kClientWidth),
                                         y(layout::kClientHeight));
  window_->copy_label(ToUtf8(layout::kTitle).c_str());
  window_->labelsize(fontSize);
  window_->callback(OnClose, this);

  // Children in tab order, which is FLTK's focus order.
  for (const layout::Control& c : layout::kControls) {
    const int left = x(c.left), top = y(c.top), w = x(c.width), h = y(c.height);
    Fl_Widget* widget = nullptr;
    switch (c.kind) {
      case Kind::Label: {
        auto* label = new Fl_Box(left, top, w, h);
        label->align(FL_ALIGN_INSIDE | FL_ALIGN_TOP |
                     (layout::IsRightAligned(c) ? FL_ALIGN_RIGHT
                                                : FL_ALIGN_LEFT));
        widget = label;
        break;
      }
      case Kind::TextBox:
      case Kind::MaskedTextBox: {
        Fl_Input* input = c.kind == Kind::MaskedTextBox
                              ? new MaskedInput(left, top, w, h)
                              : new Fl_Input(left, top, w, h);
        input->textsize(fontSize);
        input->maximum_size(INT_MAX);  // no length limit
        input->value(ToUtf8(c.text).c_str());
        input->when(FL_WHEN_CHANGED);
        input->callback(OnBoxChanged, this);
        boxes_[c.box] = input;
        widget = input;
        break;
      }
      case Kind::Button: {
        auto* button = new PlainButton(left, top, w, h);
        button->callback(c.action == layout::Action::HeaderPass
                             ? OnHeaderButton
                             : OnBodyButton,
                         this);
        widget = button;
        break;
      }
    }
    if (c.kind != Kind::TextBox && c.kind != Kind::MaskedTextBox)
      widget->copy_label(Caption(c.text).c_str());
    widget->labelsize(fontSize);
  }

  // Resizing moves and stretches nothing: the only resizable part is an
  // empty corner below and right of every control.
  auto* corner = new Fl_Box(window_->w(), window_->h(), 1, 1);
  window_->resizable(corner);
  window_->size_range(1, 1);
  window_->end();
}

void MainWindow::Show() {
  window_->show();
  // Only once shown: FLTK shows a hidden window whose widget takes the
  // focus, and a batch run keeps the window hidden until a tool has run.
  boxes_[2]->take_focus();
}

void MainWindow::SetBoxText(int box, const Text& text) {
  boxes_[box]->value(ToUtf8(text).c_str());
  form_.Text_Change(box, text);
}

void MainWindow::OnBoxChanged(Fl_Widget* widget, void* data) {
  auto* self = static_cast<MainWindow*>(data);
  for (int box = 1; box <= 6; ++box) {
    if (self->boxes_[box] == widget)
      self->form_.Text_Change(box, FromUtf8(self->boxes_[box]->value()));
  }
}

void MainWindow::OnHeaderButton(Fl_Widget*, void* data) {
  static_cast<MainWindow*>(data)->form_.GetMsgHdr_Click();
}

void MainWindow::OnBodyButton(Fl_Widget*, void* data) {
  static_cast<MainWindow*>(data)->form_.ReadBody_Click();
}

void MainWindow::OnClose(Fl_Widget*, void* data) {
  // FLTK closes a window on Esc; here Esc presses nothing.
  if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
  static_cast<MainWindow*>(data)->form_.Form_QueryClose();
}

}  // namespace quarrow::fltk
