#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "retrieval/Passes.h"
#include "support/FakePlatform.h"

namespace quarrow {
namespace {

using testing::FakeMessage;
using testing::FakePlatform;
using testing::Op;
using ::testing::ElementsAre;

class HeaderPass : public ::testing::Test {
 protected:
  HeaderPass() : job(p) {
    p.fs.AddFolder(L"c:\\mail");
    job.settings.myPath = L"c:\\mail";
    job.settings.mySubj = L"Velbrin";
    job.settings.myLogin = L"me";
    job.settings.myPass = L"pw";
    job.settings.mySrv = L"host";
    job.settings.myPort = L"110";
  }
  void Messages(int n) {
    for (int i = 1; i <= n; ++i)
      p.mailbox.push_back({"Subject: " + std::to_string(i), "", {}});
  }

  FakePlatform p;
  Job job;
};

TEST_F(HeaderPass, PreparesTheFolderRunsTheToolMinimizedAndCounts) {
  Messages(3);
  GetMsgHdr_Click(job);

  EXPECT_EQ(job.settings.mySubj, L"VELBRIN");
  EXPECT_EQ(job.settings.myPath, L"c:\\mail\\");
  EXPECT_EQ(p.fs.CurrentFolder(), L"C:\\mail");
  ASSERT_EQ(p.toolRuns.size(), 1u);
  EXPECT_EQ(p.toolRuns[0].command,
            L"C:\\Program Files\\Quarrow\\getmail.exe -u me -pw pw -s host "
            L"-port 110 -headersonly");
  // The program is handed over by its path, not looked for in the text.
  EXPECT_EQ(p.toolRuns[0].program,
            L"C:\\Program Files\\Quarrow\\getmail.exe");
  EXPECT_EQ(p.toolRuns[0].windowStyle, 6);
  EXPECT_EQ(p.toolRuns[0].folder, L"C:\\mail");
  EXPECT_EQ(job.msgCount, 3);
}

TEST_F(HeaderPass, ATrailingBackslashIsKept) {
  job.settings.myPath = L"c:\\mail\\";
  GetMsgHdr_Click(job);
  EXPECT_EQ(job.settings.myPath, L"c:\\mail\\");
  EXPECT_EQ(p.fs.CurrentFolder(), L"C:\\mail");
}

TEST_F(HeaderPass, OldHeaderAndBodyFilesGoAndOtherFilesStay) {
  p.fs.WriteFile(L"c:\\mail\\MSG1.TXT", "old");
  p.fs.WriteFile(L"c:\\mail\\msg7.txt", "old body");
  p.fs.WriteFile(L"c:\\mail\\notes.txt", "mine");
  p.fs.WriteFile(L"c:\\mail\\07-01-28 09-36-14.vch", "result");
  p.tool = [](const Text&) {};  // a tool that writes nothing

  GetMsgHdr_Click(job);

  EXPECT_THAT(p.fs.NamesIn(L"c:\\mail"),
              ElementsAre(L"notes.txt", L"07-01-28 09-36-14.vch"));
  EXPECT_EQ(job.msgCount, 0);
}

TEST_F(HeaderPass, CountsEveryHeaderFileWhateverItsNumber) {
  p.tool = [&](const Text&) {
    p.fs.WriteFile(L"c:\\mail\\MSG1.TXT", "");
    p.fs.WriteFile(L"c:\\mail\\MSG9.TXT", "");
    p.fs.WriteFile(L"c:\\mail\\msgx.txt", "");
    p.fs.WriteFile(L"c:\\mail\\MSG2.TXT.bak", "");
  };
  GetMsgHdr_Click(job);
  EXPECT_EQ(job.msgCount, 3);
  EXPECT_EQ(p.calls(Op::ListFiles), 1);
}

TEST_F(HeaderPass, AToolThatCannotStartIsReportedAndCountsZero) {
  p.fs.WriteFile(L"c:\\mail\\MSG1.TXT", "old");
  p.toolMissing = true;
  job.msgCount = 5;
  GetMsgHdr_Click(job);
  EXPECT_EQ(p.boxes.size(), 1u);
  EXPECT_EQ(job.msgCount, 0);
}

TEST_F(HeaderPass, ARelativeFolderSelectsTheDriveOfItsFirstLetter) {
  p.fs.AddDrive(L'M');
  p.fs.AddFolder(L"m:\\mail\\mail");
  p.fs.WriteFile(L"m:\\mail\\MSG1.TXT", "old, not deleted");
  job.settings.myPath = L"mail";
  p.tool = [](const Text&) {};

  GetMsgHdr_Click(job);

  EXPECT_EQ(p.fs.currentDrive(), L'M');
  EXPECT_EQ(p.fs.CurrentFolder(), L"M:\\mail");
  // "mail\MSG*.TXT" now means m:\mail\mail.
  EXPECT_TRUE(p.fs.Exists(L"m:\\mail\\MSG1.TXT"));
  EXPECT_EQ(job.msgCount, 0);
}

TEST_F(HeaderPass, ARelativeFolderOnAMissingDriveFails) {
  job.settings.myPath = L"mail";
  EXPECT_THROW(GetMsgHdr_Click(job), Failure);
  EXPECT_EQ(p.calls(Op::ChangeFolder), 0);
}

// Each failure stops the pass at its step: what was done stays done, and
// msgCount keeps its old value.
TEST_F(HeaderPass, FailuresStopThePassAtTheirStep) {
  struct Case {
    const wchar_t* path;
    const wchar_t* named;  // what the message names
    const char* what;
    int changes, deletes;
  };
  for (const Case& c :
       {Case{L"q:\\mail", L"q:", "missing drive", 0, 0},
        Case{L"c:\\nowhere", L"'c:\\nowhere'", "missing folder", 1, 0},
        Case{L"", L"''", "empty path", 1, 0}}) {
    FakePlatform fresh;
    Job j(fresh);
    j.msgCount = 4;
    j.settings.myPath = c.path;
    j.settings.mySubj = L"abc";
    try {
      GetMsgHdr_Click(j);
      ADD_FAILURE() << c.what << ": no failure";
    } catch (const Failure& failure) {
      EXPECT_NE(failure.message().find(c.named), Text::npos) << c.what;
    }
    EXPECT_EQ(j.msgCount, 4) << c.what;
    EXPECT_EQ(j.settings.mySubj, L"ABC") << c.what;
    EXPECT_EQ(fresh.calls(Op::ChangeFolder), c.changes) << c.what;
    EXPECT_EQ(fresh.calls(Op::DeleteFiles), c.deletes) << c.what;
    EXPECT_TRUE(fresh.toolRuns.empty()) << c.what;
  }
}

TEST_F(HeaderPass, AReadOnlyHeaderFileStopsThePassAfterEarlierDeletes) {
  p.fs.WriteFile(L"c:\\mail\\MSG1.TXT", "");
  p.fs.WriteFile(L"c:\\mail\\MSG2.TXT", "");
  p.fs.WriteFile(L"c:\\mail\\MSG3.TXT", "");
  p.fs.Find(L"c:\\mail\\MSG2.TXT")->readOnly = true;
  job.msgCount = 9;

  EXPECT_THROW(GetMsgHdr_Click(job), Failure);

  EXPECT_FALSE(p.fs.Exists(L"c:\\mail\\MSG1.TXT"));
  EXPECT_TRUE(p.fs.Exists(L"c:\\mail\\MSG2.TXT"));
  EXPECT_TRUE(p.fs.Exists(L"c:\\mail\\MSG3.TXT"));
  EXPECT_TRUE(p.toolRuns.empty());
  EXPECT_EQ(job.msgCount, 9);
  EXPECT_EQ(job.settings.myPath, L"c:\\mail\\");
}

TEST_F(HeaderPass, HiddenAndSystemFilesAreNeitherDeletedNorCounted) {
  p.fs.WriteFile(L"c:\\mail\\MSG5.TXT", "");
  p.fs.Find(L"c:\\mail\\MSG5.TXT")->hidden = true;
  Messages(2);
  GetMsgHdr_Click(job);
  EXPECT_TRUE(p.fs.Exists(L"c:\\mail\\MSG5.TXT"));
  EXPECT_EQ(job.msgCount, 2);
}

TEST_F(HeaderPass, AFailedCountKeepsTheOldValue) {
  Messages(2);
  job.msgCount = 7;
  p.FailOn(Op::ListFiles, 1);
  EXPECT_THROW(GetMsgHdr_Click(job), Failure);
  EXPECT_EQ(p.toolRuns.size(), 1u);
  EXPECT_EQ(job.msgCount, 7);
}

}  // namespace
}  // namespace quarrow
