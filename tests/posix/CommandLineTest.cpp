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

TEST(ArgumentsAfterProgram, TheKnownProgramPathIsSkippedBlanksAndAll) {
  struct Case {
    const wchar_t* command;
    const wchar_t* program;
    const wchar_t* arguments;
  } cases[] = {
      {L"D:\\Mail Tools\\getmail.exe -u me -pw pw", L"D:\\Mail Tools\\getmail.exe",
       L" -u me -pw pw"},
      {L"  d:\\mail tools\\GETMAIL.EXE -u me", L"D:\\Mail Tools\\getmail.exe",
       L" -u me"},
      {L"D:\\Mail Tools\\getmail.exe", L"D:\\Mail Tools\\getmail.exe", L""},
      // Not the program after all: its name runs on.
      {L"D:\\Mail Tools\\getmail.exe2 -u me", L"D:\\Mail Tools\\getmail.exe",
       L" Tools\\getmail.exe2 -u me"},
      {L"\"C:\\My Tools\\x.exe\" -a \"b c\"", L"c:\\other.exe", L" -a \"b c\""},
      {L"\"C:\\unclosed -a", L"c:\\other.exe", L""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ArgumentsAfterProgram(c.command, c.program), c.arguments)
        << ToUtf8(c.command);
}

}  // namespace
}  // namespace quarrow::posix
