#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/StartUp.h"
#include "support/FakePlatform.h"

namespace quarrow {
namespace {

using testing::FakePlatform;
using ::testing::ElementsAre;

TEST(StartUp, InteractiveModeTakesTheDefaultsAndRunsNothing) {
  FakePlatform p;
  p.argumentText = L"/a/b/c/d/e";
  Job job(p);
  EXPECT_EQ(RunStartUp(job), Mode::Interactive);
  EXPECT_EQ(job.settings.mySubj, L"Velbrin");
  EXPECT_TRUE(p.toolRuns.empty());
  EXPECT_TRUE(p.windowLog.empty());
}

TEST(StartUp, BatchModeRunsBothPassesAndClosesTheWindow) {
  FakePlatform p;
  p.fs.AddFolder(L"c:\\mail");
  p.argumentText = L"/me/pw/host/110/velbrin/c:\\mail";
  p.mailbox.push_back({"Subject: Velbrin", "whole", {}});
  p.mailbox.push_back({"Subject: other", "", {}});
  Job job(p);

  EXPECT_EQ(RunStartUp(job), Mode::Batch);

  ASSERT_EQ(p.toolRuns.size(), 2u);
  EXPECT_EQ(p.toolRuns[1].command,
            L"C:\\Program Files\\Quarrow\\getmail.exe -u me -pw pw -s host "
            L"-port 110 -m 1 -xtract Extract1- -delete");
  EXPECT_EQ(p.fs.Read(L"c:\\mail\\07-01-28 09-36-14.vch"), "whole");
  EXPECT_THAT(p.windowLog, ElementsAre("hide", "events", "show", "hide",
                                       "events", "show", "close"));
}

TEST(StartUp, BatchModeWithAnEmptyMailboxSkipsTheBodyPass) {
  FakePlatform p;
  p.fs.AddFolder(L"c:\\mail");
  p.argumentText = L"/me/pw/host/110/velbrin/c:\\mail";
  Job job(p);
  RunStartUp(job);
  EXPECT_EQ(p.toolRuns.size(), 1u);
  EXPECT_EQ(job.msgCount, 0);
  EXPECT_EQ(p.windowLog.back(), "close");
}

TEST(StartUp, BatchModeWithAMissingToolShowsOnlyTheErrorBox) {
  FakePlatform p;
  p.fs.AddFolder(L"c:\\mail");
  p.argumentText = L"/me/pw/host/110/velbrin/c:\\mail";
  p.toolMissing = true;
  Job job(p);
  RunStartUp(job);
  EXPECT_THAT(p.windowLog, ElementsAre("box", "close"));
  EXPECT_EQ(job.msgCount, 0);
  EXPECT_EQ(job.failedStarts, 1);
}

}  // namespace
}  // namespace quarrow
