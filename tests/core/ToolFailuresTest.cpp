// Tool runs that end reporting a failure: noted by the task runner, and
// told in one warning box at the end of the pass, which goes on as before.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "retrieval/Passes.h"
#include "retrieval/TaskRunner.h"
#include "retrieval/ToolFailures.h"
#include "support/FakePlatform.h"

namespace quarrow {
namespace {

using testing::FakePlatform;
using ::testing::ElementsAre;

ProcessExit Exit(unsigned long code, int signal = 0) {
  return {true, code, signal};
}

TEST(ToolFailures, TheRunnerNotesEachRunThatReportsAFailure) {
  FakePlatform p;
  // Success, failure, an end the wait could not learn, a signal.
  p.exits = {Exit(0), Exit(2), ProcessExit(), Exit(0, 9)};
  Job job(p);
  for (const wchar_t* run : {L"A", L"B", L"C", L"D"})
    EXPECT_TRUE(RunTaskAndWait(job, L"c:\\q\\getmail.exe", 1, run));

  EXPECT_EQ(job.failedRuns, 2);
  ASSERT_EQ(job.unreportedFailures.size(), 2u);
  EXPECT_EQ(job.unreportedFailures[0].run, L"B");
  EXPECT_EQ(job.unreportedFailures[1].run, L"D");
  EXPECT_TRUE(p.boxes.empty());  // told after the pass, not after each run
  EXPECT_EQ(DescribeExit(Exit(0xC0000005)), L"exit status 0xC0000005");
}

TEST(ToolFailures, AFailedHeaderRunIsToldInOneBoxAfterThePass) {
  FakePlatform p;
  p.fs.AddFolder(L"c:\\mail");
  p.mailbox.push_back({"Subject: x", "", {}});
  p.exits = {Exit(1)};
  Job job(p);
  job.settings.myPath = L"c:\\mail";

  GetMsgHdr_Click(job);

  EXPECT_EQ(job.msgCount, 0);  // the failed run wrote nothing
  ASSERT_EQ(p.boxes.size(), 1u);
  EXPECT_EQ(p.boxes[0].title, L"Quarrow");
  EXPECT_EQ(p.boxes[0].icon, MessageIcon::Exclamation);
  EXPECT_EQ(p.boxes[0].text,
            L"The mail tool reported a failure.\r\n"
            L"Header run: exit status 1.\r\n"
            L"The tool's messages: standard error.");
  EXPECT_THAT(p.windowLog, ElementsAre("hide", "events", "show", "box"));
  EXPECT_TRUE(job.unreportedFailures.empty());
  EXPECT_EQ(job.failedRuns, 1);
}

TEST(ToolFailures, TheBodyPassGoesOnAndNamesEveryFailedRunInOneBox) {
  FakePlatform p;
  p.fs.AddFolder(L"c:\\mail");
  p.fs.ChangeFolder(L"c:\\mail");
  for (int n = 1; n <= 3; ++n)
    p.fs.WriteFile(L"c:\\mail\\MSG" + std::to_wstring(n) + L".TXT", "VELBRIN");
  // Every run leaves its body file, and two of them fail afterwards.
  p.tool = [&](const Text&) { p.fs.WriteFile(L"c:\\mail\\msg4.txt", "body"); };
  p.exits = {Exit(1), Exit(0), Exit(0, 15)};
  Job job(p);
  job.settings.myPath = L"c:\\mail\\";
  job.settings.mySubj = L"VELBRIN";
  job.msgCount = 3;

  ReadBody_Click(job);

  EXPECT_EQ(p.toolRuns.size(), 3u);
  EXPECT_EQ(p.fs.List(L"c:\\mail\\*.vch").size(), 3u);
  ASSERT_EQ(p.boxes.size(), 1u);
  EXPECT_EQ(p.boxes[0].text,
            L"The mail tool reported a failure.\r\n"
            L"Message 3: exit status 1.\r\n"
            L"Message 1: ended by signal 15.\r\n"
            L"The tool's messages: standard error.");
}

}  // namespace
}  // namespace quarrow
