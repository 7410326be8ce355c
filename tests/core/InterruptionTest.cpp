// Jobs that are interrupted, stopped, or meet another job in their folder.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "app/StartUp.h"
#include "retrieval/FolderLock.h"
#include "retrieval/Passes.h"
#include "retrieval/RetrievalRecord.h"
#include "support/FakePlatform.h"
#include "ui/MainForm.h"

namespace quarrow {
namespace {

using testing::FakePlatform;
using testing::Killed;
using testing::Op;

const Text kFolder = L"c:\\mail";

struct NoView : FormView {
  void SetBoxText(int, const Text&) override {}
};

// Two messages with attachments and two without, all matching.
void FillMailbox(FakePlatform& p) {
  p.fs.AddFolder(kFolder);
  p.argumentText = L"/me/pw/host/110/velbrin/c:\\mail";
  p.mailbox = {
      {"Subject: velbrin 1", "text one", {}},
      {"Subject: velbrin 2", "text two", {{L"a.pdf", "attachment 2a"},
                                          {L"b.pdf", "attachment 2b"}}},
      {"Subject: velbrin 3", "text three", {}},
      {"Subject: velbrin 4", "text four", {{L"c.pdf", "attachment 4c"}}},
  };
}

// What each message leaves as results: its attachments, or its text.
std::vector<std::string> ExpectedContents(const FakePlatform& p) {
  std::vector<std::string> contents;
  for (const auto& message : p.mailbox) {
    if (message.attachments.empty()) contents.push_back(message.whole);
    for (const auto& attachment : message.attachments)
      contents.push_back(attachment.second);
  }
  return contents;
}

bool IsStamped(const Text& name) {
  return name.size() > 4 && name.substr(name.size() - 4) == L".vch";
}

std::vector<std::string> SavedContents(FakePlatform& p) {
  std::vector<std::string> saved;
  for (const Text& name : p.fs.NamesIn(kFolder))
    if (IsStamped(name)) saved.push_back(p.fs.Read(kFolder + L"\\" + name));
  return saved;
}

bool OnServer(const FakePlatform& p, const std::string& content) {
  for (const auto& message : p.mailbox) {
    if (message.whole == content) return true;
    for (const auto& attachment : message.attachments)
      if (attachment.second == content) return true;
  }
  return false;
}

int CountInterruptedNotes(const FakePlatform& p, size_t fromBox) {
  int names = 0;
  for (size_t k = fromBox; k < p.boxes.size(); ++k) {
    const Text& text = p.boxes[k].text;
    if (text.find(L"of an interrupted job") == Text::npos) continue;
    for (size_t at = text.find(L".vch"); at != Text::npos;
         at = text.find(L".vch", at + 1))
      ++names;
  }
  return names;
}

// A job killed at every single step it takes, each followed by a normal
// job: every message ends on the server or saved, and the next job names
// the results it saved for the interrupted one.
TEST(Interruption, AKillAtAnyStepLosesNoMessage) {
  FakePlatform whole;
  FillMailbox(whole);
  const std::vector<std::string> all = ExpectedContents(whole);
  whole.millisecondsPerReading = 300;  // results land in several seconds
  whole.killAtCall = 1 << 30;  // counts the calls without killing
  Job uninterrupted(whole);
  RunStartUp(uninterrupted);
  const int steps = whole.totalCalls();
  ASSERT_GT(steps, 40);

  for (int kill = 1; kill <= steps; ++kill) {
    FakePlatform p;
    FillMailbox(p);
    p.millisecondsPerReading = 300;
    p.killAtCall = kill;
    {
      Job killed(p);
      EXPECT_THROW(RunStartUp(killed), Killed) << "kill at step " << kill;
    }
    const size_t boxesBefore = p.boxes.size();
    const size_t savedBefore = SavedContents(p).size();
    p.killAtCall = 0;
    Job next(p);
    RunStartUp(next);

    for (const std::string& content : all) {
      const auto saved = SavedContents(p);
      EXPECT_TRUE(OnServer(p, content) ||
                  std::count(saved.begin(), saved.end(), content) > 0)
          << "kill at step " << kill << " lost \"" << content << "\"";
    }
    EXPECT_TRUE(p.mailbox.empty()) << "kill at step " << kill;
    EXPECT_FALSE(p.fs.Exists(kFolder + L"\\" + kRetrievalRecordName));
    // What the next job saved for the interrupted one, it named.
    const size_t savedByNext = SavedContents(p).size() - savedBefore;
    EXPECT_LE(static_cast<size_t>(next.recoveredResults), savedByNext);
    EXPECT_EQ(CountInterruptedNotes(p, boxesBefore), next.recoveredResults)
        << "kill at step " << kill;
  }
}

// The record of a run, left behind, is finished by the next header pass
// before any header or body file is deleted.
TEST(Interruption, ARecordLeftBehindIsFinishedBeforeAnythingIsDeleted) {
  struct Case {
    const char* what;
    bool runWroteBody;
    std::vector<Text> extracts;
    std::vector<Text> saved;  // expected new names, in order
  };
  const Case cases[] = {
      {"the run saved a message without attachments", true, {},
       {L"07-01-28 09-36-14.vch"}},
      {"the run had not written the body file yet", false, {}, {}},
      {"the run saved attachments", true, {L"Extract3-a.pdf", L"Extract3-b"},
       {L"07-01-28 09-36-14-1.vch", L"07-01-28 09-36-15-2.vch"}},
  };
  for (const Case& c : cases) {
    FakePlatform p;
    FillMailbox(p);
    p.mailbox.clear();
    p.millisecondsPerReading = 500;
    const Text body = kFolder + L"\\msg5.txt";
    p.fs.WriteFile(body, "an older message's text");
    RetrievalRecord record;
    record.message = 3;
    record.bodyFile = L"msg5.txt";
    record.bodyBefore = p.fs.State(body);
    p.fs.WriteFile(kFolder + L"\\" + kRetrievalRecordName,
                   FormatRecord(record));
    p.fs.Find(kFolder + L"\\" + kRetrievalRecordName)->hidden = true;
    if (c.runWroteBody) p.fs.WriteFile(body, "message 3's text");
    for (const Text& name : c.extracts)
      p.fs.WriteFile(kFolder + L"\\" + name, ToUtf8(name));

    Job job(p);
    RunStartUp(job);

    std::vector<Text> stamped;
    for (const Text& name : p.fs.NamesIn(kFolder))
      if (IsStamped(name)) stamped.push_back(name);
    EXPECT_EQ(stamped, c.saved) << c.what;
    if (c.extracts.empty() && c.runWroteBody) {
      EXPECT_EQ(p.fs.Read(kFolder + L"\\" + c.saved[0]), "message 3's text");
    }
    EXPECT_EQ(CountInterruptedNotes(p, 0), static_cast<int>(c.saved.size()))
        << c.what;
    EXPECT_FALSE(p.fs.Exists(kFolder + L"\\" + kRetrievalRecordName));
    // Renamed and synced before the header files went.
    const auto deleted = std::find(p.diskLog.begin(), p.diskLog.end(), "start");
    const auto synced = std::find(p.diskLog.begin(), p.diskLog.end(), "sync");
    EXPECT_LT(synced, deleted) << c.what;
  }
}

TEST(Interruption, AnUnreadableRecordStopsTheJobBeforeItDeletesAnything) {
  FakePlatform p;
  FillMailbox(p);
  p.fs.WriteFile(kFolder + L"\\msg5.txt", "a fetched message");
  p.fs.WriteFile(kFolder + L"\\" + kRetrievalRecordName, "quarrow retrieval");
  MainForm form(p);
  NoView view;
  form.Form_Load(view);
  EXPECT_EQ(form.exitStatus(), MainForm::kFailed);
  EXPECT_TRUE(p.fs.Exists(kFolder + L"\\msg5.txt"));
  EXPECT_TRUE(p.toolRuns.empty());
  ASSERT_EQ(p.boxes.size(), 1u);
  EXPECT_NE(p.boxes[0].text.find(L".quarrow-retrieval"), Text::npos);
}

// Each result's new name is on disk before the record goes, before the
// next tool run, and before the job ends; each record is on disk before
// its run.
TEST(Interruption, RenamesAreSyncedBeforeTheNextRunAndTheEnd) {
  FakePlatform p;
  FillMailbox(p);
  p.millisecondsPerReading = 400;
  Job job(p);
  RunStartUp(job);
  ASSERT_TRUE(p.mailbox.empty());
  bool unsynced = false, recorded = false;
  int retrievals = 0;
  for (const std::string& event : p.diskLog) {
    if (event.rfind("rename ", 0) == 0) unsynced = true;
    if (event == "sync") unsynced = false;
    if (event == "write .quarrow-retrieval") recorded = true;
    if (event == "remove .quarrow-retrieval") {
      EXPECT_FALSE(unsynced);
      recorded = false;
    }
    if (event == "start") {
      EXPECT_FALSE(unsynced) << "a run started before a rename was synced";
      if (retrievals++ > 0) {
        EXPECT_TRUE(recorded) << "a run without record";
      }
    }
  }
  EXPECT_FALSE(unsynced) << "the job ended before a rename was synced";
  EXPECT_EQ(retrievals, 5);  // the header run and four retrievals
}

TEST(Interruption, ASecondJobWaitsAFewSecondsThenLeavesTheFolderAlone) {
  struct Case {
    int busyTries;
    bool runs;
  };
  for (const Case c : {Case{3, true}, Case{FolderLock::kTries, false}}) {
    FakePlatform p;
    FillMailbox(p);
    p.fs.WriteFile(kFolder + L"\\MSG1.TXT", "another job's header file");
    p.lockBusyTries = c.busyTries;
    MainForm form(p);
    struct NoView : FormView {
      void SetBoxText(int, const Text&) override {}
    } view;
    form.Form_Load(view);
    if (c.runs) {
      EXPECT_EQ(form.exitStatus(), MainForm::kOk);
      EXPECT_TRUE(p.mailbox.empty());
      continue;
    }
    EXPECT_EQ(form.exitStatus(), MainForm::kFailed);
    EXPECT_EQ(p.calls(Op::Sleep), FolderLock::kTries - 1);
    EXPECT_TRUE(p.toolRuns.empty());
    EXPECT_EQ(p.calls(Op::DeleteFiles), 0);
    EXPECT_EQ(p.fs.Read(kFolder + L"\\MSG1.TXT"), "another job's header file");
    ASSERT_EQ(p.boxes.size(), 1u);
    EXPECT_NE(p.boxes[0].text.find(L"c:\\mail\\"), Text::npos);
    EXPECT_NE(p.boxes[0].text.find(L"Another Quarrow job"), Text::npos);
  }
}

TEST(Interruption, BatchHoldsTheLockForTheJobAndAWindowForEachPass) {
  FakePlatform batch;
  FillMailbox(batch);
  Job job(batch);
  batch.tool = [&](const Text&) { EXPECT_TRUE(batch.lockHeld); };
  batch.mailbox.resize(1);
  batch.tool = nullptr;
  RunStartUp(job);
  EXPECT_EQ(batch.calls(Op::TryLockFolder), 1);
  EXPECT_EQ(batch.calls(Op::ReleaseFolderLock), 1);
  EXPECT_FALSE(batch.lockHeld);

  FakePlatform window;
  FillMailbox(window);
  MainForm form(window);
  form.Text_Change(1, kFolder);
  form.Text_Change(6, L"velbrin");
  form.GetMsgHdr_Click();
  EXPECT_FALSE(window.lockHeld);
  form.ReadBody_Click();
  EXPECT_FALSE(window.lockHeld);
  EXPECT_EQ(window.calls(Op::TryLockFolder), 2);
  EXPECT_TRUE(window.mailbox.empty());
}

// Asked to stop during a retrieval run: that run's results are saved and
// synced, no further run starts, and the job ends with status 1.
TEST(Interruption, AStopRequestEndsTheJobAfterTheRunInProgress) {
  FakePlatform p;
  FillMailbox(p);
  p.stopDuringRun = 2;  // the first retrieval, of message 4
  MainForm form(p);
  NoView view;
  form.Form_Load(view);
  EXPECT_EQ(form.exitStatus(), MainForm::kFailed);
  EXPECT_EQ(p.toolRuns.size(), 2u);
  EXPECT_EQ(p.mailbox.size(), 3u);
  EXPECT_EQ(SavedContents(p), std::vector<std::string>{"attachment 4c"});
  EXPECT_FALSE(p.fs.Exists(kFolder + L"\\" + kRetrievalRecordName));
  EXPECT_EQ(p.diskLog.back(), "remove .quarrow-retrieval");
  ASSERT_FALSE(p.boxes.empty());
  EXPECT_NE(p.boxes.back().text.find(L"asked to end"), Text::npos);
}

// The tool, told to stop during the header run, ends by the signal: one
// notice says both, and no box waits for anyone.
TEST(Interruption, AStopDuringTheHeaderRunGivesOneNotice) {
  FakePlatform p;
  FillMailbox(p);
  p.stopDuringRun = 1;
  p.exits = {{true, 0, 15, L""}};
  MainForm form(p);
  NoView view;
  form.Form_Load(view);
  EXPECT_EQ(form.exitStatus(), MainForm::kFailed);
  EXPECT_EQ(p.toolRuns.size(), 1u);
  EXPECT_EQ(p.mailbox.size(), 4u);
  ASSERT_EQ(p.boxes.size(), 1u);
  EXPECT_NE(p.boxes[0].text.find(L"asked to end"), Text::npos);
  EXPECT_NE(p.boxes[0].text.find(L"Header run: ended by signal 15"), Text::npos);
}

TEST(Interruption, AStopRequestEndsAnIdleWindowButNotARunningPass) {
  FakePlatform p;
  FillMailbox(p);
  MainForm form(p);
  form.Text_Change(1, kFolder);
  p.onPendingEvents = [&] { form.StopRequested(); };
  form.GetMsgHdr_Click();
  EXPECT_FALSE(form.exitStatus());  // the pass was running
  p.onPendingEvents = nullptr;
  form.StopRequested();
  EXPECT_EQ(form.exitStatus(), MainForm::kFailed);
}

TEST(RetrievalRecordFormat, ReadsBackWhatItWroteAndNothingElse) {
  RetrievalRecord record;
  record.message = 12;
  record.bodyFile = L"msg13.txt";
  record.bodyBefore = {true, 1234567890123ULL, 42, 1700000000123456789LL};
  const std::string bytes = FormatRecord(record);
  ASSERT_TRUE(ParseRecord(bytes));
  EXPECT_EQ(*ParseRecord(bytes), record);

  const std::string cut = bytes.substr(0, bytes.size() - 4);
  std::string badMessage = bytes;
  badMessage.replace(badMessage.find("message 12"), 10, "message -1");
  std::string pathInName = bytes;
  pathInName.replace(pathInName.find("msg13.txt"), 9, "..\\x.txt");
  for (const std::string& bad :
       {std::string(), cut, badMessage, pathInName, bytes + std::string(5000, 'x'),
        std::string("quarrow retrieval record 2\n") + bytes.substr(27)})
    EXPECT_FALSE(ParseRecord(bad)) << bad;
}

}  // namespace
}  // namespace quarrow
