// A Platform whose window operations go to the Desktop it is given: the
// real window, or the headless desktop of an unattended run.
#pragma once

#include "platform/Platform.h"

namespace quarrow {

class PlatformOnDesktop : public Platform {
 public:
  explicit PlatformOnDesktop(Desktop& desktop) : desktop_(desktop) {}

  void HideMainWindow() override { desktop_.HideMainWindow(); }
  void ShowMainWindow() override { desktop_.ShowMainWindow(); }
  void CloseMainWindow() override { desktop_.CloseMainWindow(); }
  void ProcessPendingEvents() override { desktop_.ProcessPendingEvents(); }
  void ShowMessage(const Text& text, const Text& title,
                   MessageIcon icon) override {
    desktop_.ShowMessage(text, title, icon);
  }
  void ShowStopNotice(const Text& text, const Text& title) override {
    desktop_.ShowStopNotice(text, title);
  }

 private:
  Desktop& desktop_;
};

}  // namespace quarrow
