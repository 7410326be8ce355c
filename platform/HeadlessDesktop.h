// The desktop of an unattended run: there is no window, and every message
// box becomes one line on standard error ("Title: text") that nobody has to
// dismiss, so a scheduled run can never hang on a box that nobody sees.
// Each line begins with the local time it was written, so a log that grows
// over weeks can be read.
#pragma once

#include <functional>
#include <ostream>

#include "platform/Platform.h"

namespace quarrow {

class HeadlessDesktop : public Desktop {
 public:
  using Clock = std::function<LocalTime()>;

  explicit HeadlessDesktop(std::ostream& out) : out_(out) {}
  // Lines begin with a reading of `clock` (the platform's) once it is given.
  void SetClock(Clock clock) { clock_ = std::move(clock); }

  void HideMainWindow() override {}
  void ShowMainWindow() override {}
  void CloseMainWindow() override {}
  void ProcessPendingEvents() override {}
  void ShowMessage(const Text& text, const Text& title,
                   MessageIcon icon) override;

  // "Title: text" with every line break (CR LF, CR or LF) as one blank.
  static Text OneLine(const Text& text, const Text& title);
  // ISO 8601 local time with its offset from UTC: "2026-12-09T01:23:45+01:00".
  static Text Timestamp(const LocalTime& time);

 private:
  std::ostream& out_;
  Clock clock_;
};

}  // namespace quarrow
