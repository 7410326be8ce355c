#include "ui/MainForm.h"

#include <exception>

#include "app/StartUp.h"
#include "retrieval/Passes.h"
#include "retrieval/ToolFailures.h"

namespace quarrow {

template <typename Handler>
void MainForm::Guarded(Handler handler) {
  if (busy_ || exitStatus_) return;
  busy_ = true;
  Text failure;
  bool stopped = false;
  try {
    handler();
  } catch (const Failure& f) {
    failure = f.message();
    stopped = f.reason() == Failure::Reason::Stopped;
  } catch (const std::exception& e) {
    failure = FromUtf8(e.what());
  }
  busy_ = false;
  if (stopped) {
    StopNow(failure);
  } else if (!failure.empty()) {
    // A tool run that reported a failure usually explains the one that
    // ended the pass (no body file after a failed retrieval): one box.
    const Text toolNote = TakeToolFailureNote(job_);
    if (!toolNote.empty()) failure += L"\r\n\r\n" + toolNote;
    job_.platform.ShowMessage(failure, L"Quarrow", MessageIcon::Critical);
    End(kFailed);
  } else if (closeRequested_) {
    End(kOk);
  }
}

void MainForm::StopNow(const Text& notice) {
  // Tool failures so far go into the same notice, since nobody may be
  // there to dismiss a second one.
  Text text = notice;
  const Text toolNote = TakeToolFailureNote(job_);
  if (!toolNote.empty()) text += L"\r\n\r\n" + toolNote;
  job_.platform.ShowStopNotice(text, L"Quarrow");
  End(kFailed);
}

void MainForm::StopRequested() {
  // A running pass stops by itself once the run in progress is saved.
  if (busy_ || exitStatus_) return;
  StopNow(L"Quarrow was asked to end.");
}

void MainForm::End(int status) {
  if (exitStatus_) return;
  exitStatus_ = status;
  job_.platform.CloseMainWindow();
}

void MainForm::Form_Load(FormView& view) {
  Guarded([&] {
    if (RunStartUp(job_) == Mode::Batch) {
      // The sequence has closed the window already.
      exitStatus_ = job_.failedStarts > 0 ? kToolNotStarted
                    : job_.failedRuns > 0  ? kToolFailed
                                           : kOk;
    }
  });
  if (exitStatus_) return;
  const Settings& s = job_.settings;
  // Each assignment fires the box's change handler, which writes the same
  // value back; take copies so that does not read a changing source.
  const Settings shown = s;
  view.SetBoxText(2, shown.myLogin);
  view.SetBoxText(3, shown.myPass);
  view.SetBoxText(4, shown.mySrv);
  view.SetBoxText(5, shown.myPort);
  view.SetBoxText(6, shown.mySubj);
  view.SetBoxText(1, shown.myPath);
}

void MainForm::GetMsgHdr_Click() {
  Guarded([&] { quarrow::GetMsgHdr_Click(job_); });
}

void MainForm::ReadBody_Click() {
  Guarded([&] { quarrow::ReadBody_Click(job_); });
}

void MainForm::Text_Change(int box, const Text& text) {
  Settings& s = job_.settings;
  Text* const bound[] = {nullptr,   &s.myPath, &s.myLogin, &s.myPass,
                         &s.mySrv,  &s.myPort, &s.mySubj};
  if (box >= 1 && box <= 6) *bound[box] = text;
}

void MainForm::Form_QueryClose() {
  if (busy_) {
    closeRequested_ = true;
  } else {
    End(kOk);
  }
}

}  // namespace quarrow
