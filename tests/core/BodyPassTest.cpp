#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "retrieval/Passes.h"
#include "support/FakePlatform.h"

namespace quarrow {
namespace {

using testing::FakeMessage;
using testing::FakePlatform;
using testing::Op;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// A header pass has run: c:\mail is current, the settings are prepared.
class BodyPass : public ::testing::Test {
 protected:
  BodyPass() : job(p) {
    p.fs.AddFolder(L"c:\\mail");
    job.settings.myPath = L"c:\\mail";
    job.settings.mySubj = L"velbrin";
  }
  void Add(const std::string& header, const std::string& whole = "body",
           std::vector<std::pair<Text, std::string>> attachments = {}) {
    p.mailbox.push_back({header, whole, std::move(attachments)});
  }
  void Headers() { GetMsgHdr_Click(job); }
  std::vector<Text> Retrievals() {
    std::vector<Text> tails;
    for (const auto& run : p.toolRuns) {
      if (run.windowStyle != 1) continue;
      tails.push_back(run.command.substr(run.command.find(L" -m ")));
    }
    return tails;
  }

  FakePlatform p;
  Job job;
};

TEST_F(BodyPass, ScansFromTheHighestNumberDownAndFetchesOnlyMatches) {
  Add("Subject: one");
  Add("Subject: Velbrin news", "whole two");
  Add("Subject: three");
  Headers();
  p.FailOn(Op::OpenTextFile, 99);  // count the opens without failing

  ReadBody_Click(job);

  EXPECT_THAT(Retrievals(), ElementsAre(L" -m 2 -xtract Extract2- -delete"));
  EXPECT_EQ(p.toolRuns.back().windowStyle, 1);
  EXPECT_EQ(p.calls(Op::OpenTextFile), 3);
  EXPECT_THAT(p.mailbox, ::testing::SizeIs(2));
  // No attachment: the body file, msg4.txt, gets the stamp.
  EXPECT_EQ(p.fs.Read(L"c:\\mail\\07-01-28 09-36-14.vch"), "whole two");
  EXPECT_FALSE(p.fs.Exists(L"c:\\mail\\msg4.txt"));
  // The header files stay for the next header pass to delete.
  EXPECT_TRUE(p.fs.Exists(L"c:\\mail\\MSG3.TXT"));
}

TEST_F(BodyPass, MatchesAnyRecordOfAnyHeaderLine) {
  Add("From: \"Velbrin, Ltd\" <x@y>\r\nSubject: hi");
  Add("Subject: hello\r\nX-Tag: a, b, VELBRIN");
  Add("Subject: Vel brin");
  Headers();
  ReadBody_Click(job);
  EXPECT_THAT(Retrievals(), ElementsAre(L" -m 2 -xtract Extract2- -delete",
                                        L" -m 1 -xtract Extract1- -delete"));
}

TEST_F(BodyPass, ASubjectWithACommaMatchesOnlyInAQuotedRecord) {
  job.settings.mySubj = L"john, velbrin";
  Add("Subject: john, velbrin");
  Add("Subject: x\r\n\"John, Velbrin\"");
  Add("To: a@b,\r\n \"Smith,\r\n John, Velbrin\" <j@x>");  // one record
  Headers();
  ReadBody_Click(job);
  EXPECT_THAT(Retrievals(), ElementsAre(L" -m 3 -xtract Extract3- -delete",
                                        L" -m 2 -xtract Extract2- -delete"));
}

TEST_F(BodyPass, AnEmptySubjectMatchesEveryFileWithANonEmptyRecord) {
  job.settings.mySubj = L"";
  Add("Subject: x");
  Add("\r\n,,\r\n");
  Add("");
  Add(" , y");
  Headers();
  ReadBody_Click(job);
  EXPECT_THAT(Retrievals(), ElementsAre(L" -m 4 -xtract Extract4- -delete",
                                        L" -m 1 -xtract Extract1- -delete"));
}

TEST_F(BodyPass, ALowerCaseSubjectTypedAfterTheHeaderPassNeverMatches) {
  Add("Subject: abc");
  Headers();
  job.settings.mySubj = L"abc";
  ReadBody_Click(job);
  EXPECT_THAT(Retrievals(), IsEmpty());
}

TEST_F(BodyPass, ExtractFilesAreNumberedInListingOrderAndTheBodyFileStays) {
  Add("Subject: Velbrin", "whole",
      {{L"a.jpg", "jpeg"}, {L"b.txt", "text"}});
  Headers();
  ReadBody_Click(job);
  EXPECT_EQ(p.fs.Read(L"c:\\mail\\07-01-28 09-36-14-1.vch"), "jpeg");
  EXPECT_EQ(p.fs.Read(L"c:\\mail\\07-01-28 09-36-14-2.vch"), "text");
  EXPECT_EQ(p.fs.Read(L"c:\\mail\\msg2.txt"), "whole");
}

TEST_F(BodyPass, LeftoverExtractFilesAreSavedOnTheirOwnBeforeTheRun) {
  p.fs.WriteFile(L"c:\\mail\\Extract9-old.pdf", "old");
  Add("Subject: Velbrin", "whole, no attachments");
  Headers();
  ReadBody_Click(job);
  // Never counted as the message's results: its own text is saved too.
  EXPECT_EQ(p.fs.Read(L"c:\\mail\\07-01-28 09-36-14-1.vch"), "old");
  EXPECT_EQ(p.fs.Read(L"c:\\mail\\07-01-28 09-36-14.vch"),
            "whole, no attachments");
  ASSERT_EQ(p.boxes.size(), 1u);
  EXPECT_EQ(p.boxes[0].text,
            L"1 result of an interrupted job was saved as "
            L"\"07-01-28 09-36-14-1.vch\".");
  // Saved and synced before the tool ran.
  const std::vector<std::string> expected = {
      "rename Extract9-old.pdf 07-01-28 09-36-14-1.vch", "sync",
      "write .quarrow-retrieval", "start"};
  const auto start = std::find(p.diskLog.begin(), p.diskLog.end(),
                               "rename Extract9-old.pdf 07-01-28 09-36-14-1.vch");
  ASSERT_NE(start, p.diskLog.end());
  EXPECT_EQ(std::vector<std::string>(start, start + 4), expected);
}

TEST_F(BodyPass, ALeftBodyFileIsRenamedForALaterMessageWithoutAttachments) {
  Add("Subject: Velbrin 1", "first, no attachments");
  Add("Subject: Velbrin 2", "second", {{L"a.txt", "a"}});
  Headers();
  ReadBody_Click(job);
  // Message 2 left msg3.txt in place; message 1's run replaced it, and
  // that is the file renamed.
  EXPECT_EQ(p.fs.Read(L"c:\\mail\\07-01-28 09-36-14-1.vch"), "a");
  EXPECT_EQ(p.fs.Read(L"c:\\mail\\07-01-28 09-36-14.vch"),
            "first, no attachments");
  EXPECT_FALSE(p.fs.Exists(L"c:\\mail\\msg3.txt"));
}

TEST_F(BodyPass, ABodyFileThisRunDidNotWriteIsNeverTakenAsItsResult) {
  Add("Subject: Velbrin 1", "first");
  Add("Subject: Velbrin 2", "second", {{L"a.txt", "a"}});
  // Message 2's run leaves msg3.txt behind; message 1's run fails and
  // writes nothing.
  p.exits = {{true, 0, 0, {}}, {true, 0, 0, {}}, {true, 1, 0, {}}};
  Headers();
  try {
    ReadBody_Click(job);
    ADD_FAILURE() << "no failure";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.reason(), Failure::Reason::SourceMissing);
    EXPECT_EQ(failure.message(),
              L"Cannot rename 'msg3.txt': the tool did not write it in this run");
  }
  EXPECT_THAT(p.fs.List(L"c:\\mail\\*.vch"),
              ElementsAre(L"07-01-28 09-36-14-1.vch"));
  EXPECT_EQ(p.fs.Read(L"c:\\mail\\msg3.txt"), "second");
}

TEST_F(BodyPass, TwoResultsInOneSecondWaitForTheNextSecond) {
  Add("Subject: Velbrin a", "a");
  Add("Subject: Velbrin b", "b");
  p.clock = {2007, 12, 31, 23, 59, 59, 400};
  Headers();
  ReadBody_Click(job);
  // Message 2 first, then message 1 once the clock had moved on, across
  // midnight and the year's end.
  EXPECT_EQ(p.fs.Read(L"c:\\mail\\07-12-31 23-59-59.vch"), "b");
  EXPECT_EQ(p.fs.Read(L"c:\\mail\\08-01-01 00-00-00.vch"), "a");
  EXPECT_THAT(p.mailbox, IsEmpty());
}

TEST_F(BodyPass, TheStampTakesTheDateFirstAndThenTheTime) {
  Add("Subject: Velbrin");
  Headers();
  // The date is read just before midnight and the time just after it.
  p.clock = {2007, 1, 28, 23, 59, 59, 999};
  p.millisecondsPerReading = 1;
  ReadBody_Click(job);
  EXPECT_TRUE(p.fs.Exists(L"c:\\mail\\07-01-28 00-00-00.vch"));
}

TEST_F(BodyPass, ATaskThatCannotStartStillSavesWhatIsThere) {
  Add("Subject: Velbrin");
  Headers();
  p.fs.WriteFile(L"c:\\mail\\Extract5-left.txt", "left");
  p.toolMissing = true;
  // The run wrote nothing, so no body file is missed after it.
  ReadBody_Click(job);
  EXPECT_EQ(p.boxes.size(), 2u);  // the saved file, the failed start
  EXPECT_EQ(p.fs.Read(L"c:\\mail\\07-01-28 09-36-14-1.vch"), "left");
}

TEST_F(BodyPass, NoHeaderPassMeansNothingToDo) {
  ReadBody_Click(job);
  EXPECT_EQ(p.calls(Op::OpenTextFile), 0);
  EXPECT_TRUE(p.toolRuns.empty());
}

TEST_F(BodyPass, TheBoundsAreFixedWhenTheLoopStarts) {
  Add("Subject: Velbrin");
  Add("Subject: other");
  Headers();
  // The tool's run changes the count; the loop still goes 2, 1, and the
  // body file keeps its name.
  p.tool = [&](const Text&) {
    job.msgCount = 50;
    p.fs.WriteFile(L"c:\\mail\\msg3.txt", "x");
  };
  ReadBody_Click(job);
  EXPECT_EQ(p.calls(Op::OpenTextFile), 2);
}

TEST_F(BodyPass, AMissingHeaderFileStopsThePassAfterTheMessagesAbove) {
  Add("Subject: Velbrin 1");
  Add("Subject: Velbrin 2");
  Add("Subject: Velbrin 3");
  Headers();
  p.fs.DeleteMatching(L"c:\\mail\\MSG2.TXT");
  EXPECT_THROW(ReadBody_Click(job), Failure);
  // Message 3 is fetched, deleted and renamed; 1 and 2 are untouched.
  EXPECT_THAT(Retrievals(), ElementsAre(L" -m 3 -xtract Extract3- -delete"));
  EXPECT_THAT(p.mailbox, ::testing::SizeIs(2));
  EXPECT_TRUE(p.fs.Exists(L"c:\\mail\\07-01-28 09-36-14.vch"));
}

TEST_F(BodyPass, AMissingBodyFileStopsThePass) {
  Add("Subject: Velbrin");
  Headers();
  p.tool = [](const Text&) {};
  try {
    ReadBody_Click(job);
    ADD_FAILURE() << "no failure";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.reason(), Failure::Reason::SourceMissing);
    EXPECT_NE(failure.message().find(L"msg2.txt"), Text::npos);
  }
}

TEST_F(BodyPass, ARenameThatFailsOtherwiseStopsThePass) {
  Add("Subject: Velbrin", "whole", {{L"a", "1"}, {L"b", "2"}});
  Headers();
  p.FailOn(Op::RenameFile, 2);
  EXPECT_THROW(ReadBody_Click(job), Failure);
  EXPECT_TRUE(p.fs.Exists(L"c:\\mail\\07-01-28 09-36-14-1.vch"));
  EXPECT_TRUE(p.fs.Exists(L"c:\\mail\\Extract1-b"));
}

TEST_F(BodyPass, WithoutTheTrailingBackslashExtractsAreLookedForBesideTheFolder) {
  Add("Subject: Velbrin", "whole", {{L"a.txt", "a"}});
  Headers();
  job.settings.myPath = L"c:\\mail";  // as after an edit of Text1
  ReadBody_Click(job);
  EXPECT_EQ(p.fs.Read(L"c:\\mail\\07-01-28 09-36-14.vch"), "whole");
  EXPECT_TRUE(p.fs.Exists(L"c:\\mail\\Extract1-a.txt"));
}

TEST_F(BodyPass, MoreThan32767ExtractFilesOverflowTheCounter) {
  Add("Subject: Velbrin");
  Headers();
  p.tool = [&](const Text&) {
    for (int k = 0; k < 32768; ++k)
      p.fs.WriteFile(L"c:\\mail\\Extract1-" + std::to_wstring(k), "");
  };
  try {
    ReadBody_Click(job);
    ADD_FAILURE() << "no overflow";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.reason(), Failure::Reason::Overflow);
  }
  EXPECT_EQ(p.calls(Op::RenameFile), 32767);
}

}  // namespace
}  // namespace quarrow
