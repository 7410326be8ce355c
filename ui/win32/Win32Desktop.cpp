#include "ui/win32/Win32Desktop.h"

#include <iostream>

#include "platform/HeadlessDesktop.h"

namespace quarrow::win32 {

namespace {

UINT IconStyle(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Exclamation:
      return MB_ICONEXCLAMATION;
    case MessageIcon::Critical:
      return MB_ICONERROR;
    case MessageIcon::Information:
      return MB_ICONINFORMATION;
  }
  return 0;
}

}  // namespace

HWND Win32Desktop::Handle() const {
  return window_ != nullptr ? window_->handle() : nullptr;
}

void Win32Desktop::HideMainWindow() {
  if (const HWND window = Handle()) ShowWindow(window, SW_HIDE);
}

void Win32Desktop::ShowMainWindow() {
  const HWND window = Handle();
  if (window == nullptr) return;
  ShowWindow(window, shown_ ? SW_SHOW : firstShow_);
  shown_ = true;
}

void Win32Desktop::CloseMainWindow() {
  // WM_DESTROY posts WM_QUIT, which ends the message loop.
  if (const HWND window = Handle()) DestroyWindow(window);
}

void Win32Desktop::ProcessPendingEvents() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // Leave it for the message loop, which ends on it.
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    Dispatch(message);
  }
}

void Win32Desktop::ShowMessage(const Text& text, const Text& title,
                               MessageIcon icon) {
  // Owned by the window while it is on screen; otherwise modal for the
  // whole program, so no hidden window takes input behind the box.
  HWND owner = Handle();
  UINT style = MB_OK | IconStyle(icon);
  if (owner != nullptr && !IsWindowVisible(owner)) owner = nullptr;
  if (owner == nullptr) style |= MB_TASKMODAL;
  MessageBoxW(owner, text.c_str(), title.c_str(), style);
}

void Win32Desktop::Dispatch(MSG& message) {
  // Tab and Shift+Tab move between the controls.
  const HWND window = Handle();
  if (window != nullptr && IsDialogMessageW(window, &message)) return;
  TranslateMessage(&message);
  DispatchMessageW(&message);
}

void Win32Desktop::ShowStopNotice(const Text& text, const Text& title) {
  std::cerr << ToUtf8(HeadlessDesktop::OneLine(text, title)) << std::endl;
}

}  // namespace quarrow::win32
