// The main window's fixed layout, shared by the FLTK and Win32 windows.
// Positions and sizes are in twips (1440 to the inch; 15 to the pixel at
// 96 dpi) within the client area.
#pragma once

namespace quarrow::layout {

constexpr const wchar_t* kTitle = L"Form1";
constexpr int kClientWidth = 7320;
constexpr int kClientHeight = 3450;

enum class Kind { Label, TextBox, MaskedTextBox, Button };

// Which handler a control feeds: a text box's setting (1 ... 6 as in
// Text1 ... Text6) or one of the two buttons.
enum class Action { None, TextBox, HeaderPass, BodyPass };

struct Control {
  const char* name;
  Kind kind;
  // Initial text; "&&" in a button caption shows as one ampersand.
  const wchar_t* text;
  int left, top, width, height;
  Action action;
  int box;  // 1 ... 6 for Text1 ... Text6, else 0
};

// In tab order.
constexpr Control kControls[] = {
    {"Label1", Kind::Label, L"", 120, 120, 7095, 255, Action::None, 0},
    {"Label2", Kind::Label, L"User name:", 120, 600, 1575, 375, Action::None, 0},
    {"Text2", Kind::TextBox, L"Text2", 1800, 600, 1695, 285, Action::TextBox, 2},
    {"Label3", Kind::Label, L"Password:", 120, 1080, 1575, 255, Action::None, 0},
    {"Text3", Kind::MaskedTextBox, L"Text3", 1800, 1080, 1695, 285, Action::TextBox, 3},
    {"Label4", Kind::Label, L"email server:", 120, 1560, 1575, 255, Action::None, 0},
    {"Text4", Kind::TextBox, L"Text4", 1800, 1560, 1695, 285, Action::TextBox, 4},
    {"Label5", Kind::Label, L"Port:", 120, 2040, 1575, 255, Action::None, 0},
    {"Text5", Kind::TextBox, L"Text5", 1800, 2040, 1695, 285, Action::TextBox, 5},
    {"Label6", Kind::Label, L"Subject to look for:", 120, 2520, 1575, 255, Action::None, 0},
    {"Text6", Kind::TextBox, L"Text6", 1800, 2520, 1695, 285, Action::TextBox, 6},
    {"GetMsgHdr", Kind::Button, L"Get message headers", 4440, 600, 2535, 375, Action::HeaderPass, 0},
    {"Label7", Kind::Label, L"Path to save email:", 240, 3000, 1455, 255, Action::None, 0},
    {"Text1", Kind::TextBox, L"Text1", 1800, 3000, 3735, 285, Action::TextBox, 1},
    {"ReadBody", Kind::Button, L"Get message bodies && Delete", 4440, 2520, 2535, 375, Action::BodyPass, 0},
};

// Caption labels (all but Label1) are right-aligned; Label1 stays empty.
constexpr bool IsRightAligned(const Control& c) {
  return c.kind == Kind::Label && c.text[0] != L'\0';
}

// Pixels for `twips` at `dpi` dots per inch, rounded to the nearest.
constexpr int TwipsToPixels(int twips, int dpi) {
  return (twips * dpi + 720) / 1440;
}

}  // namespace quarrow::layout
