#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "retrieval/TaskRunner.h"
#include "support/FakePlatform.h"

namespace quarrow {
namespace {

using testing::FakePlatform;
using ::testing::ElementsAre;

TEST(TaskRunner, HidesProcessesEventsWaitsAndShowsInThatOrder) {
  FakePlatform p;
  Job job(p);
  std::vector<std::string> logWhenToolRan;
  p.tool = [&](const Text&) { logWhenToolRan = p.windowLog; };

  EXPECT_TRUE(RunTaskAndWait(job, L"c:\\q\\getmail.exe", L"c:\\q\\getmail.exe -x",
                             6, L"Header run"));

  EXPECT_THAT(logWhenToolRan, ElementsAre("hide", "events"));
  EXPECT_THAT(p.windowLog, ElementsAre("hide", "events", "show"));
  ASSERT_EQ(p.toolRuns.size(), 1u);
  EXPECT_EQ(p.toolRuns[0].program, L"c:\\q\\getmail.exe");
  EXPECT_EQ(p.toolRuns[0].command, L"c:\\q\\getmail.exe -x");
  EXPECT_EQ(p.toolRuns[0].windowStyle, 6);
  EXPECT_EQ(p.calls(testing::Op::WaitForProcess), 1);
}

TEST(TaskRunner, AFailedStartShowsTheErrorBoxWithoutThePassword) {
  FakePlatform p;
  p.toolMissing = true;
  Job job(p);

  EXPECT_FALSE(RunTaskAndWait(
      job, L"C:\\Program Files\\Quarrow\\getmail.exe",
      L"C:\\Program Files\\Quarrow\\getmail.exe -u me -pw s3cret -s h", 1,
      L"Message 1"));

  ASSERT_EQ(p.boxes.size(), 1u);
  EXPECT_EQ(p.boxes[0].title, L"Error");
  EXPECT_EQ(p.boxes[0].icon, MessageIcon::Exclamation);
  EXPECT_EQ(p.boxes[0].text,
            L"Error starting task C:\\Program Files\\Quarrow\\getmail.exe\r\n"
            L"The system cannot find the file specified.");
  // The window is not touched, and nothing is waited for.
  EXPECT_THAT(p.windowLog, ElementsAre("box"));
  EXPECT_EQ(p.calls(testing::Op::WaitForProcess), 0);
  EXPECT_EQ(job.failedStarts, 1);
}

TEST(TaskRunner, AFailingWaitPropagates) {
  FakePlatform p;
  p.FailOn(testing::Op::WaitForProcess, 1);
  Job job(p);
  EXPECT_THROW(RunTaskAndWait(job, L"c:\\q\\getmail.exe", L"c:\\q\\getmail.exe", 6,
                              L"Header run"),
               Failure);
  EXPECT_THAT(p.windowLog, ElementsAre("hide", "events"));
}

}  // namespace
}  // namespace quarrow
