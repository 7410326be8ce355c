#include "ui/HeadlessRun.h"

#include "platform/HeadlessDesktop.h"
#include "ui/MainForm.h"

namespace quarrow {

namespace {

// The boxes of a batch run are never filled, so no window is needed.
class NoView : public FormView {
 public:
  void SetBoxText(int, const Text&) override {}
};

}  // namespace

int RunHeadless(Platform& platform, const char* programName,
                std::ostream& err) {
  Settings unused;
  if (LoadSettings(platform.ArgumentText(), unused) == Mode::Interactive) {
    // Stamped like the message lines, for the log of a scheduled run.
    err << ToUtf8(HeadlessDesktop::Timestamp(platform.Now())) << ' '
        << programName
        << ": there is no window (no display, or QUARROW_HEADLESS=1), and "
           "without one only a batch run works: "
        << programName << " /login/password/server/port/subject/folder\n";
    return MainForm::kFailed;
  }
  MainForm form(platform);
  NoView view;
  form.Form_Load(view);
  return form.exitStatus().value_or(MainForm::kOk);
}

}  // namespace quarrow
