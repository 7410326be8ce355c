// The desktop of an unattended run: there is no window, and every message
// box becomes one line on standard error ("Title: text") that nobody has to
// dismiss, so a scheduled run can never hang on a box that nobody sees.
#pragma once

#include <ostream>

#include "platform/Desktop.h"

namespace quarrow {

class HeadlessDesktop : public Desktop {
 public:
  explicit HeadlessDesktop(std::ostream& out) : out_(out) {}

  void HideMainWindow() override {}
  void ShowMainWindow() override {}
  void CloseMainWindow() override {}
  void ProcessPendingEvents() override {}
  void ShowMessage(const Text& text, const Text& title,
                   MessageIcon icon) override;

  // "Title: text" with every line break (CR LF, CR or LF) as one blank.
  static Text OneLine(const Text& text, const Text& title);

 private:
  std::ostream& out_;
};

}  // namespace quarrow
