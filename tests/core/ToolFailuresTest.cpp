// Tool runs that end reporting a failure: noted by the task runner, and
// told in one warning box at the end of the pass, which goes on as before.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "retrieval/Passes.h"
#include "retrieval/TaskRunner.h"
#include "platform/HeadlessDesktop.h"
#include "platform/ToolMessage.h"
#include "retrieval/ToolFailures.h"
#include "support/FakePlatform.h"

namespace quarrow {
namespace {

using testing::FakePlatform;
using ::testing::ElementsAre;

ProcessExit Exit(unsigned long code, int signal = 0, Text message = Text()) {
  return {true, code, signal, message};
}

// A header pass has counted three messages that all match, and every
// retrieval run leaves its body file, whatever its exit.
void ThreeMatchingMessages(FakePlatform& p, Job& job) {
  p.fs.AddFolder(L"c:\\mail");
  p.fs.ChangeFolder(L"c:\\mail");
  for (int n = 1; n <= 3; ++n)
    p.fs.WriteFile(L"c:\\mail\\MSG" + std::to_wstring(n) + L".TXT", "VELBRIN");
  p.tool = [&p](const Text&) { p.fs.WriteFile(L"c:\\mail\\msg4.txt", "body"); };
  job.settings.myPath = L"c:\\mail\\";
  job.settings.mySubj = L"VELBRIN";
  job.msgCount = 3;
}

TEST(ToolFailures, TheRunnerNotesEachRunThatReportsAFailure) {
  FakePlatform p;
  // Success, failure, an end the wait could not learn, a signal.
  p.exits = {Exit(0), Exit(2), ProcessExit(), Exit(0, 9)};
  Job job(p);
  for (const wchar_t* run : {L"A", L"B", L"C", L"D"})
    EXPECT_TRUE(RunTaskAndWait(job, L"c:\\q\\getmail.exe", L"c:\\q\\getmail.exe",
                               1, run));

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
  Job job(p);
  ThreeMatchingMessages(p, job);
  // Two of the runs fail after leaving their body file.
  p.exits = {Exit(1), Exit(0), Exit(0, 15)};

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

TEST(ToolFailures, EachRunGivesTheToolsOwnLastMessageWithoutThePassword) {
  FakePlatform p;
  Job job(p);
  ThreeMatchingMessages(p, job);
  p.exits = {
      Exit(1, 0,
           L"the certificate of localhost is not trusted (a private CA can be "
           L"named in QUARROW_GETMAIL_CAFILE)"),
      // A server that echoes the command, with a line break of its own.
      Exit(3, 0, L"the server refused the login: -ERR PASS s3cr et\r\nand s3cr\tet."),
      Exit(1, 0, L"  \t ")};
  job.settings.myPass = L"s3cr et";

  ReadBody_Click(job);

  // Same box, same moment: one after the pass, the runs in their order.
  ASSERT_EQ(p.boxes.size(), 1u);
  EXPECT_EQ(p.boxes[0].text,
            L"The mail tool reported a failure.\r\n"
            L"Message 3: exit status 1 \u2014 the certificate of localhost is "
            L"not trusted (a private CA can be named in "
            L"QUARROW_GETMAIL_CAFILE).\r\n"
            L"Message 2: exit status 3 \u2014 the server refused the login: -ERR "
            L"PASS ******** and ********.\r\n"
            L"Message 1: exit status 1.\r\n"
            L"The tool's messages: standard error.");
  // A headless run gives the same on one line.
  EXPECT_EQ(HeadlessDesktop::OneLine(L"a.\r\nMessage 3: exit status 1 \u2014 b.",
                                     L"Quarrow"),
            L"Quarrow: a. Message 3: exit status 1 \u2014 b.");
}

TEST(ToolFailures, TheShownReasonIsOneBoundedLine) {
  struct Case {
    Text message, password, shown;
  } cases[] = {
      {L"cannot reach pop.example.com", L"", L"cannot reach pop.example.com"},
      {L"\x1b[31mred\x7f\x85  \r\n  now ", L"pw", L"[31mred now"},
      {L"pwpwpw", L"pw", L"************************"},
      {L"a*b", L"*", L"a********b"},
      {Text(400, L'x'), L"", Text(kReasonLength - 1, L'x') + L"\u2026"},
      {L"", L"pw", L""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ShownReason(c.message, c.password), c.shown)
        << ToUtf8(c.message);
}

TEST(ToolFailures, TheLastMessageIsTheToolsLastPrefixedLine) {
  struct Case {
    std::string output;
    Text message;
  } cases[] = {
      {"getmail: cannot reach h\n", L"cannot reach h"},
      // The usage after a bad command line does not hide its message.
      {"getmail: unknown option -x\nusage: getmail -u LOGIN ...\n  more\n",
       L"unknown option -x"},
      {"getmail: first\r\ngetmail: second\r\n", L"second"},
      {"Segmentation fault\n\n  \n", L"Segmentation fault"},
      {"getmail: caf\xC3\xA9 \xE9", L"caf\u00e9 \u00e9"},
      {"", L""},
      {"\n\n", L""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(LastToolMessage(c.output), c.message) << c.output;
}

TEST(ToolFailures, TheLogGivesTheLinesOfOneProcess) {
  const std::string log =
      "2026-12-09 22:30:00 [12] getmail: other run\r\n"
      "2026-12-09 22:30:01 [7] getmail: ours\r\n"
      "2026-12-09 22:30:01 [127] getmail: not ours\r\n"
      "2026-12-09 22:30:02 [7] usage: getmail ...\r\n"
      "2026-12-09 22:30:03 [7";  // cut off while it was written
  EXPECT_EQ(ToolLogLinesOf(log, 7),
            "getmail: ours\r\nusage: getmail ...\r\n");
  EXPECT_EQ(LastToolMessage(ToolLogLinesOf(log, 7)), L"ours");
  EXPECT_EQ(ToolLogLinesOf(log, 99), "");
}

}  // namespace
}  // namespace quarrow
