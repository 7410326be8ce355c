#include "ui/win32/MainWindow.h"

#include "platform/win32/JobFiles.h"

#include <imm.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <stdexcept>

#include "ui/win32/CaptionFont.h"
#include "ui/win32/Resources.h"

namespace quarrow::win32 {

namespace {

constexpr wchar_t kClassName[] = L"QuarrowMainWindow";
constexpr DWORD kWindowStyle = WS_OVERLAPPEDWINDOW;

void ScreenDpi(int& dpiX, int& dpiY) {
  const HDC screen = GetDC(nullptr);
  dpiX = GetDeviceCaps(screen, LOGPIXELSX);
  dpiY = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
}

struct ControlClass {
  const wchar_t* name;
  DWORD style;
  DWORD extendedStyle;
};

ControlClass ClassOf(const layout::Control& c) {
  using layout::Kind;
  switch (c.kind) {
    case Kind::Label:
      return {L"STATIC", layout::IsRightAligned(c) ? DWORD{SS_RIGHT} : SS_LEFT,
              0};
    case Kind::TextBox:
      return {L"EDIT", WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE};
    case Kind::MaskedTextBox:
      return {L"EDIT", WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL | ES_PASSWORD,
              WS_EX_CLIENTEDGE};
    case Kind::Button:
      return {L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, 0};
  }
  return {L"STATIC", 0, 0};
}

// Quarrow's icon, `size` pixels square. Shared: the same handle every time,
// never to be destroyed.
HICON ProgramIcon(HINSTANCE instance, int size) {
  return static_cast<HICON>(LoadImageW(instance,
                                       MAKEINTRESOURCEW(QUARROW_ICON),
                                       IMAGE_ICON, size, size, LR_SHARED));
}

void RegisterWindowClass(HINSTANCE instance, WNDPROC procedure) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  if (GetClassInfoExW(instance, kClassName, &windowClass)) return;
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = instance;
  windowClass.hIcon = ProgramIcon(instance, GetSystemMetrics(SM_CXICON));
  windowClass.hIconSm = ProgramIcon(instance, GetSystemMetrics(SM_CXSMICON));
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kClassName;
  if (!RegisterClassExW(&windowClass))
    throw std::runtime_error("cannot register the main window's class");
}

Text WindowText(HWND window) {
  Text text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<size_t>(
      GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance, MainForm& form) : form_(form) {
  RegisterWindowClass(instance, &MainWindow::Procedure);
  int dpiX, dpiY;
  ScreenDpi(dpiX, dpiY);
  RECT frame{0, 0, layout::TwipsToPixels(layout::kClientWidth, dpiX),
             layout::TwipsToPixels(layout::kClientHeight, dpiY)};
  AdjustWindowRectEx(&frame, kWindowStyle, FALSE, 0);
  // Hidden until the start-up handler has run; WM_NCCREATE ties the
  // window to this object.
  CreateWindowExW(0, kClassName, layout::kTitle, kWindowStyle, CW_USEDEFAULT,
                  CW_USEDEFAULT, frame.right - frame.left,
                  frame.bottom - frame.top, nullptr, nullptr, instance, this);
  if (window_ == nullptr)
    throw std::runtime_error("cannot create the main window");
  font_ = CaptionFont(dpiX);
  CreateControls(instance, dpiX, dpiY);
  focus_ = control("Text2");
}

MainWindow::~MainWindow() {
  if (window_ != nullptr) DestroyWindow(window_);
  if (font_ != nullptr) DeleteObject(font_);
}

void MainWindow::CreateControls(HINSTANCE instance, int dpiX, int dpiY) {
  using layout::TwipsToPixels;
  // Created in tab order, which is the order Tab follows.
  for (int i = 0; i < kControlCount; ++i) {
    const layout::Control& c = layout::kControls[i];
    const ControlClass kind = ClassOf(c);
    const int left = TwipsToPixels(c.left, dpiX);
    const int top = TwipsToPixels(c.top, dpiY);
    const HWND control = CreateWindowExW(
        kind.extendedStyle, kind.name, c.text,
        WS_CHILD | WS_VISIBLE | kind.style, left, top,
        TwipsToPixels(c.left + c.width, dpiX) - left,
        TwipsToPixels(c.top + c.height, dpiY) - top, window_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstId + i)), instance,
        nullptr);
    controls_[i] = control;
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    // No length limit: 0 lifts the edit control's default of 32,767.
    if (c.action == layout::Action::TextBox)
      SendMessageW(control, EM_SETLIMITTEXT, 0, 0);
    if (c.kind == layout::Kind::MaskedTextBox) {
      SendMessageW(control, EM_SETPASSWORDCHAR, L'*', 0);
      // No input-method editor for the password.
      ImmAssociateContext(control, nullptr);
    }
  }
}

HWND MainWindow::control(const char* name) const {
  for (int i = 0; i < kControlCount; ++i)
    if (std::strcmp(layout::kControls[i].name, name) == 0) return controls_[i];
  return nullptr;
}

void MainWindow::SetBoxText(int box, const Text& text) {
  for (int i = 0; i < kControlCount; ++i) {
    const layout::Control& c = layout::kControls[i];
    // The edit control reports the change with EN_CHANGE, as for typing.
    if (c.action == layout::Action::TextBox && c.box == box)
      SetWindowTextW(controls_[i], text.c_str());
  }
}

LRESULT CALLBACK MainWindow::Procedure(HWND window, UINT message,
                                       WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<MainWindow*>(
        reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(self));
  }
  auto* self =
      reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  return self->Handle(message, wParam, lParam);
}

LRESULT MainWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  const HWND window = window_;
  switch (message) {
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
      return 0;
    case WM_ACTIVATE:
      // The focus goes back where it was, Text2 at first.
      if (LOWORD(wParam) == WA_INACTIVE) {
        const HWND focus = GetFocus();
        if (focus != nullptr && IsChild(window, focus)) focus_ = focus;
      } else if (focus_ != nullptr) {
        SetFocus(focus_);
      }
      return 0;
    case WM_CLOSE:
      form_.Form_QueryClose();
      return 0;
    case WM_QUERYENDSESSION:
      // Logoff or shutdown: no further tool run starts, and the job ends
      // once the run in progress is saved.
      win32::RequestStop();
      form_.StopRequested();
      return TRUE;
    case WM_ENDSESSION:
      if (wParam) {
        win32::RequestStop();
        form_.StopRequested();
      }
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY:
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      window_ = nullptr;
      std::fill(std::begin(controls_), std::end(controls_), nullptr);
      focus_ = nullptr;
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void MainWindow::OnCommand(int id, int code, HWND from) {
  // Enter, where the focused control is not the default button (which
  // IsDialogMessage presses itself): a button that has the focus, reached
  // with the mouse, is pressed all the same; a text box does nothing.
  if (id == IDOK) {
    const HWND focus = GetFocus();
    for (int i = 0; i < kControlCount; ++i) {
      if (controls_[i] == focus &&
          layout::kControls[i].kind == layout::Kind::Button)
        OnCommand(kFirstId + i, BN_CLICKED, focus);
    }
    return;
  }
  const int index = id - kFirstId;
  if (index < 0 || index >= kControlCount) return;  // Esc
  const layout::Control& c = layout::kControls[index];
  switch (c.action) {
    case layout::Action::TextBox:
      if (code == EN_CHANGE) form_.Text_Change(c.box, WindowText(from));
      break;
    case layout::Action::HeaderPass:
      if (code == BN_CLICKED) form_.GetMsgHdr_Click();
      break;
    case layout::Action::BodyPass:
      if (code == BN_CLICKED) form_.ReadBody_Click();
      break;
    case layout::Action::None:
      break;
  }
}

}  // namespace quarrow::win32
