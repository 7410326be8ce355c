// The main window's handlers, apart from any window toolkit: the FLTK and
// Win32 windows forward their events here.
#pragma once

#include <optional>

#include "retrieval/Job.h"

namespace quarrow {

// What the handlers need of the window itself.
class FormView {
 public:
  virtual ~FormView() = default;
  // Puts `text` into text box `box` (1 for Text1 ... 6 for Text6). The
  // window calls the box's change handler, as for typing.
  virtual void SetBoxText(int box, const Text& text) = 0;
};

class MainForm {
 public:
  explicit MainForm(Platform& platform) : job_(platform) {}

  // Runs the start-up sequence; in interactive mode then fills the boxes.
  void Form_Load(FormView& view);
  void GetMsgHdr_Click();
  void ReadBody_Click();
  // Text box `box` (1 ... 6) now holds `text`.
  void Text_Change(int box, const Text& text);
  // The user asks to close the window. Carried out at once, or once the
  // running pass has ended.
  void Form_QueryClose();
  // The system or the user asked the program to end (a signal, logoff,
  // shutdown) while the window waits for the user: ends it with kFailed.
  // While a pass runs, the pass itself stops after the run in progress.
  void StopRequested();

  // Set once the program is to end: the window has been closed.
  std::optional<int> exitStatus() const { return exitStatus_; }
  const Job& job() const { return job_; }

  // Exit statuses. A batch run that went to its end gives kToolNotStarted
  // if a tool run could not be started, else kToolFailed if one ended
  // reporting a failure, else kOk.
  static constexpr int kOk = 0;
  static constexpr int kFailed = 1;
  static constexpr int kToolNotStarted = 2;
  static constexpr int kToolFailed = 3;

 private:
  // Runs `handler` unless another one is running (a click that arrived while
  // the task runner processed pending events), and ends the program with a
  // message box when it fails.
  template <typename Handler>
  void Guarded(Handler handler);
  void End(int status);
  // Tells why the program ends after a stop request, and ends it.
  void StopNow(const Text& notice);

  Job job_;
  bool busy_ = false;
  bool closeRequested_ = false;
  std::optional<int> exitStatus_;
};

}  // namespace quarrow
