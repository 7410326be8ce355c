// The program's folder and the argument text after the program's name.
#include <gtest/gtest.h>
#include <windows.h>

#include "platform/win32/ProcessInfo.h"

namespace quarrow::win32 {
namespace {

TEST(ProcessInfo, TheFolderKeepsABackslashOnlyAtADrivesRoot) {
  EXPECT_EQ(FolderOf(L"c:\\apps\\Quarrow\\Quarrow.exe"), L"c:\\apps\\Quarrow");
  EXPECT_EQ(FolderOf(L"c:\\Quarrow.exe"), L"c:\\");
  EXPECT_EQ(FolderOf(L"\\\\server\\share\\Quarrow.exe"), L"\\\\server\\share");

  const Text folder = ProgramFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(folder.back(), L'\\');
  EXPECT_NE(GetFileAttributesW((folder + L"\\win32_layer_tests.exe").c_str()),
            INVALID_FILE_ATTRIBUTES);
}

TEST(ProcessInfo, TheArgumentsStartAfterTheProgramsNameAndItsBlanks) {
  EXPECT_EQ(AfterProgramName(L"Quarrow.exe /a/b/c/d/e/f"), L"/a/b/c/d/e/f");
  EXPECT_EQ(AfterProgramName(L"\"c:\\Program Files\\Quarrow.exe\"  /a/b /c"),
            L"/a/b /c");
  // A quoted name ends at its closing quote even without a blank after it.
  EXPECT_EQ(AfterProgramName(L"\"c:\\q\\Quarrow.exe\"/a/b"), L"/a/b");
  EXPECT_EQ(AfterProgramName(L"Quarrow.exe\t/a"), L"/a");
  EXPECT_EQ(AfterProgramName(L"Quarrow.exe"), L"");
  EXPECT_EQ(AfterProgramName(L"\"c:\\Quarrow.exe"), L"");
  // Blanks at the end belong to the arguments.
  EXPECT_EQ(AfterProgramName(L"Quarrow.exe /a/b "), L"/a/b ");
}

}  // namespace
}  // namespace quarrow::win32
