// The window-system half of Platform: each system layer forwards its window
// operations to one of these, so the same layer serves the real window and
// unattended runs without one.
#pragma once

#include "platform/Platform.h"

namespace quarrow {

class Desktop {
 public:
  virtual ~Desktop() = default;
  virtual void HideMainWindow() = 0;
  virtual void ShowMainWindow() = 0;
  virtual void CloseMainWindow() = 0;
  virtual void ProcessPendingEvents() = 0;
  virtual void ShowMessage(const Text& text, const Text& title,
                           MessageIcon icon) = 0;
};

}  // namespace quarrow
