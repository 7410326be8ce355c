#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/FakePlatform.h"
#include "ui/MainForm.h"

namespace quarrow {
namespace {

using testing::FakePlatform;
using ::testing::ElementsAre;

// A window that records what is put into its boxes and, like a real one,
// fires the box's change handler.
class RecordingView : public FormView {
 public:
  explicit RecordingView(MainForm& form) : form_(form) {}
  void SetBoxText(int box, const Text& text) override {
    filled.push_back({box, text});
    form_.Text_Change(box, text);
  }
  std::vector<std::pair<int, Text>> filled;

 private:
  MainForm& form_;
};

class Form : public ::testing::Test {
 protected:
  Form() : form(p), view(form) { p.fs.AddFolder(L"c:\\mail"); }
  FakePlatform p;
  MainForm form;
  RecordingView view;
};

TEST_F(Form, InteractiveLoadFillsTheBoxesInOrderFromTheDefaults) {
  form.Form_Load(view);
  EXPECT_FALSE(form.exitStatus());
  ASSERT_EQ(view.filled.size(), 6u);
  EXPECT_EQ(view.filled[0], std::make_pair(2, Text(L"me@example.com")));
  EXPECT_EQ(view.filled[4], std::make_pair(6, Text(L"Velbrin")));
  EXPECT_EQ(view.filled[5],
            std::make_pair(1, Text(L"c:\\utils\\PDA\\Bluetooth Shared Folder")));
  EXPECT_EQ(form.job().settings.myPath,
            L"c:\\utils\\PDA\\Bluetooth Shared Folder");
}

TEST_F(Form, EveryEditReplacesItsSetting) {
  form.Form_Load(view);
  form.Text_Change(1, L"c:\\mail");
  form.Text_Change(2, L"login");
  form.Text_Change(3, L"p*ss");
  form.Text_Change(4, L"srv");
  form.Text_Change(5, L"995");
  form.Text_Change(6, L"abc");
  const Settings& s = form.job().settings;
  EXPECT_EQ(s.myPath, L"c:\\mail");
  EXPECT_EQ(s.myLogin, L"login");
  EXPECT_EQ(s.myPass, L"p*ss");
  EXPECT_EQ(s.mySrv, L"srv");
  EXPECT_EQ(s.myPort, L"995");
  EXPECT_EQ(s.mySubj, L"abc");
}

TEST_F(Form, ButtonsRunThePassesAndAnEditAfterwardsIsNotUpperCased) {
  form.Form_Load(view);
  form.Text_Change(1, L"c:\\mail");
  p.mailbox.push_back({"Subject: abc", "whole", {}});
  form.GetMsgHdr_Click();
  EXPECT_EQ(form.job().msgCount, 1);
  form.Text_Change(6, L"abc");
  form.ReadBody_Click();
  EXPECT_EQ(p.toolRuns.size(), 1u);
  EXPECT_FALSE(form.exitStatus());
}

TEST_F(Form, AFailingPassShowsTheFailureAndEndsTheProgram) {
  form.Form_Load(view);
  form.Text_Change(1, L"");
  form.GetMsgHdr_Click();
  ASSERT_EQ(p.boxes.size(), 1u);
  EXPECT_EQ(p.boxes[0].icon, MessageIcon::Critical);
  EXPECT_FALSE(p.boxes[0].text.empty());
  EXPECT_THAT(p.windowLog, ElementsAre("box", "close"));
  EXPECT_EQ(form.exitStatus(), MainForm::kFailed);
  // Nothing runs after the end.
  form.GetMsgHdr_Click();
  EXPECT_EQ(p.calls(testing::Op::ChangeFolder), 1);
}

TEST_F(Form, ClicksWhileAPassRunsAreIgnored) {
  form.Form_Load(view);
  form.Text_Change(1, L"c:\\mail");
  p.onPendingEvents = [&] {
    form.GetMsgHdr_Click();
    form.ReadBody_Click();
  };
  form.GetMsgHdr_Click();
  EXPECT_EQ(p.toolRuns.size(), 1u);
  EXPECT_FALSE(form.exitStatus());
}

TEST_F(Form, ACloseRequestedDuringAPassIsCarriedOutAfterIt) {
  form.Form_Load(view);
  form.Text_Change(1, L"c:\\mail");
  p.mailbox.push_back({"Subject: x", "", {}});
  p.onPendingEvents = [&] { form.Form_QueryClose(); };
  form.GetMsgHdr_Click();
  EXPECT_EQ(form.job().msgCount, 1);  // the pass went on to its end
  EXPECT_EQ(form.exitStatus(), MainForm::kOk);
  EXPECT_EQ(p.windowLog.back(), "close");
}

TEST_F(Form, ClosingWhenIdleEndsAtOnce) {
  form.Form_Load(view);
  form.Form_QueryClose();
  EXPECT_EQ(form.exitStatus(), MainForm::kOk);
}

TEST_F(Form, AFailedToolRunIsToldOnceAfterItsPass) {
  form.Form_Load(view);
  form.Text_Change(1, L"c:\\mail");
  p.mailbox.push_back({"Subject: Velbrin", "whole", {}});
  const ProcessExit ok{true, 0, 0, {}};
  p.exits = {{true, 1, 0, {}}, ok, {true, 7, 0, {}}};

  form.GetMsgHdr_Click();  // the header run fails and writes nothing
  ASSERT_EQ(p.boxes.size(), 1u);
  EXPECT_EQ(p.boxes[0].icon, MessageIcon::Exclamation);
  EXPECT_FALSE(form.exitStatus());  // the program goes on
  form.GetMsgHdr_Click();
  EXPECT_EQ(p.boxes.size(), 1u);

  // The retrieval fails and writes no body file, which ends the pass: one
  // box tells both.
  form.ReadBody_Click();
  ASSERT_EQ(p.boxes.size(), 2u);
  EXPECT_EQ(p.boxes[1].icon, MessageIcon::Critical);
  EXPECT_THAT(p.boxes[1].text,
              ::testing::EndsWith(L"it does not exist\r\n\r\n"
                                  L"The mail tool reported a failure.\r\n"
                                  L"Message 1: exit status 7.\r\n"
                                  L"The tool's messages: standard error."));
  EXPECT_EQ(form.exitStatus(), MainForm::kFailed);
}

TEST_F(Form, BatchExitStatusSaysHowTheToolRunsWent) {
  struct Case {
    const char* what;
    std::vector<ProcessExit> exits;
    int failedStart;  // the start that fails, from 1; 0 for none
    int status;
  };
  const ProcessExit ok{true, 0, 0, {}}, failed{true, 1, 0, {}};
  const Case cases[] = {
      {"every run reported success", {ok, ok}, 0, MainForm::kOk},
      {"the header run failed", {failed}, 0, MainForm::kToolFailed},
      {"the retrieval failed", {ok, failed}, 0, MainForm::kToolFailed},
      {"one failed, one did not start", {failed}, 2, MainForm::kToolNotStarted},
  };
  for (const Case& c : cases) {
    FakePlatform batch;
    batch.fs.AddFolder(L"c:\\mail");
    batch.argumentText = L"/me/pw/host/110/subj/c:\\mail";
    // Every run leaves a matching header file, and a retrieval run an
    // extract file, so no pass ends early for want of a body file.
    batch.tool = [&](const Text& command) {
      batch.fs.WriteFile(L"c:\\mail\\MSG1.TXT", "subj");
      if (command.find(L"-xtract") != Text::npos)
        batch.fs.WriteFile(L"c:\\mail\\Extract1-x", "x");
    };
    batch.exits = c.exits;
    if (c.failedStart) batch.FailOn(testing::Op::StartProcess, c.failedStart);
    MainForm batchForm(batch);
    RecordingView batchView(batchForm);
    batchForm.Form_Load(batchView);
    EXPECT_EQ(batchForm.exitStatus(), c.status) << c.what;
    // Any box comes before the window closes, while it can still be seen.
    EXPECT_EQ(batch.boxes.empty(), c.status == MainForm::kOk) << c.what;
    EXPECT_EQ(batch.windowLog.back(), "close") << c.what;
  }
}

TEST_F(Form, BatchExitStatusTellsWhetherTheToolCouldBeStarted) {
  p.argumentText = L"/me/pw/host/110/subj/c:\\mail";
  form.Form_Load(view);
  EXPECT_TRUE(view.filled.empty());  // the boxes keep their initial texts
  EXPECT_EQ(form.exitStatus(), MainForm::kOk);

  FakePlatform missing;
  missing.fs.AddFolder(L"c:\\mail");
  missing.argumentText = p.argumentText;
  missing.toolMissing = true;
  MainForm batch(missing);
  RecordingView batchView(batch);
  batch.Form_Load(batchView);
  EXPECT_EQ(batch.exitStatus(), MainForm::kToolNotStarted);
}

TEST_F(Form, ABatchFailureEndsWithStatusOne) {
  p.argumentText = L"/me/pw/host/110/subj/c:\\nowhere";
  form.Form_Load(view);
  EXPECT_EQ(form.exitStatus(), MainForm::kFailed);
  EXPECT_THAT(p.windowLog, ElementsAre("box", "close"));
  EXPECT_NE(p.boxes[0].text.find(L"c:\\nowhere"), Text::npos);
}

}  // namespace
}  // namespace quarrow
