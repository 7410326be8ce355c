// The window-system half of Platform. The system layers take one of these
// and forward their window operations to it, so the same layer serves the
// real window and unattended runs without one.
#pragma once

#include <string>

namespace quarrow {

using Text = std::wstring;

enum class MessageIcon { Exclamation, Critical, Information };

class Desktop {
 public:
  virtual ~Desktop() = default;
  virtual void HideMainWindow() = 0;
  virtual void ShowMainWindow() = 0;
  // Closes the main window; once control returns to the window system's loop
  // the program ends.
  virtual void CloseMainWindow() = 0;
  // Handles every window event pending at this moment, once, without waiting.
  virtual void ProcessPendingEvents() = 0;
  // Modal message box with an OK button; returns once it has been dismissed.
  virtual void ShowMessage(const Text& text, const Text& title,
                           MessageIcon icon) = 0;
  // Tells why the program ends when it was asked to stop. The user's
  // session may be ending, so a window desktop must not wait for anyone
  // here; the default suits desktops whose boxes never wait.
  virtual void ShowStopNotice(const Text& text, const Text& title) {
    ShowMessage(text, title, MessageIcon::Exclamation);
  }
};

}  // namespace quarrow
