#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/posix/CommandLine.h"

namespace quarrow::posix {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(SplitArguments, BlanksSeparateAndQuotesGroup) {
  EXPECT_THAT(SplitArguments(L"-u  me\t-pw pw "),
              ElementsAre(L"-u", L"me", L"-pw", L"pw"));
  EXPECT_THAT(SplitArguments(L"\"a b\" c\"d e\"f \"\""),
              ElementsAre(L"a b", L"cd ef", L""));
  EXPECT_THAT(SplitArguments(L"\"say \"\"hi\"\"\""),
              ElementsAre(L"say \"hi\""));
  EXPECT_THAT(SplitArguments(L"  "), IsEmpty());
}

TEST(SplitArguments, BackslashesArePlainExceptBeforeAQuote) {
  EXPECT_THAT(SplitArguments(L"c:\\mail\\ a\\\\b"),
              ElementsAre(L"c:\\mail\\", L"a\\\\b"));
  EXPECT_THAT(SplitArguments(L"a\\\"b"), ElementsAre(L"a\"b"));
  EXPECT_THAT(SplitArguments(L"\"a\\\\\" b"), ElementsAre(L"a\\", L"b"));
  EXPECT_THAT(SplitArguments(L"a\\\\\\\"b"), ElementsAre(L"a\\\"b"));
}

TEST(SplitArguments, ShellCharactersArePlainText) {
  EXPECT_THAT(SplitArguments(L"-u me;rm $(touch x) `id` | cat > f"),
              ElementsAre(L"-u", L"me;rm", L"$(touch", L"x)", L"`id`", L"|",
                          L"cat", L">", L"f"));
}

TEST(ProgramChoices, EveryBlankMayEndTheProgramShortestFirst) {
  const auto choices = ProgramChoices(L"C:\\My Tools\\getmail.exe -u me");
  ASSERT_EQ(choices.size(), 4u);
  EXPECT_EQ(choices[0].program, L"C:\\My");
  EXPECT_EQ(choices[0].arguments, L"Tools\\getmail.exe -u me");
  EXPECT_EQ(choices[1].program, L"C:\\My Tools\\getmail.exe");
  EXPECT_EQ(choices[1].arguments, L"-u me");
  EXPECT_EQ(choices[3].program, L"C:\\My Tools\\getmail.exe -u me");
  EXPECT_EQ(choices[3].arguments, L"");
}

TEST(ProgramChoices, AQuotedProgramIsTheOnlyReading) {
  const auto choices = ProgramChoices(L"  \"C:\\My Tools\\x.exe\" -a \"b c\"");
  ASSERT_EQ(choices.size(), 1u);
  EXPECT_EQ(choices[0].program, L"C:\\My Tools\\x.exe");
  EXPECT_THAT(SplitArguments(choices[0].arguments), ElementsAre(L"-a", L"b c"));
}

}  // namespace
}  // namespace quarrow::posix
