#include <gtest/gtest.h>

#include "app/Settings.h"

namespace quarrow {
namespace {

Settings Load(const Text& line, Mode expected) {
  Settings s;
  s.myLogin = L"stale";
  EXPECT_EQ(LoadSettings(line, s), expected) << ToUtf8(line);
  return s;
}

TEST(CommandLine, FewerThanSixFieldsGiveInteractiveModeWithDefaults) {
  for (const Text line : {L"", L"-x", L"/a/b/c/d/e", L"a/b/c/d/e/"}) {
    const Settings s = Load(line, Mode::Interactive);
    EXPECT_EQ(s.myPath, L"c:\\utils\\PDA\\Bluetooth Shared Folder");
    EXPECT_EQ(s.myPort, L"110");
    EXPECT_EQ(s.mySubj, L"Velbrin");
    EXPECT_EQ(s.myPass, L"");
    EXPECT_NE(s.myLogin, L"stale");
  }
}

TEST(CommandLine, SixFieldsAreTrimmedOfSpacesOnly) {
  const Settings s =
      Load(L"/ me / pw / host / 110 / Subj / c:\\mail ", Mode::Batch);
  EXPECT_EQ(s.myLogin, L"me");
  EXPECT_EQ(s.myPass, L"pw");
  EXPECT_EQ(s.mySrv, L"host");
  EXPECT_EQ(s.myPort, L"110");
  EXPECT_EQ(s.mySubj, L"Subj");  // case unchanged
  EXPECT_EQ(s.myPath, L"c:\\mail");

  EXPECT_EQ(Load(L"/a/b/c/d/\tsubj\t/f", Mode::Batch).mySubj, L"\tsubj\t");
}

TEST(CommandLine, TextBeforeTheFirstSlashAndAfterTheSixthFieldIsIgnored) {
  const Settings leading = Load(L"x/a/b/c/d/e/f", Mode::Batch);
  EXPECT_EQ(leading.myLogin, L"a");
  EXPECT_EQ(leading.myPath, L"f");

  const Settings trailing = Load(L"/a/b/c/d/e/f/g/h", Mode::Batch);
  EXPECT_EQ(trailing.myPath, L"f");
}

TEST(CommandLine, EmptyFieldsStayEmpty) {
  const Settings s = Load(L"//pw/host/110/subj/c:\\mail", Mode::Batch);
  EXPECT_EQ(s.myLogin, L"");
  EXPECT_EQ(s.myPass, L"pw");
  EXPECT_EQ(Load(L"//////", Mode::Batch).myPath, L"");
}

TEST(CommandLine, ASlashInAFieldShiftsTheFieldsAfterIt) {
  const Settings s = Load(L"/me/p/w/host/110/subj/c:\\mail", Mode::Batch);
  EXPECT_EQ(s.myPass, L"p");
  EXPECT_EQ(s.mySrv, L"w");
  EXPECT_EQ(s.myPath, L"subj");
}

}  // namespace
}  // namespace quarrow
