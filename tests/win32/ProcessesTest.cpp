// Starting a program and waiting for the very process that was started.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "ScratchFolder.h"
#include "platform/HeadlessDesktop.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/ProcessInfo.h"

namespace quarrow {
namespace {

using testing::ScratchFolder;

class Processes : public ::testing::Test {
 protected:
  Processes() {
    // A copy in a folder with blanks, started by an unquoted command line.
    folder_.MakeFolder(L"Program Files");
    helper_ = folder_ / L"Program Files\\ReportStartup.exe";
    CopyFileW((win32::ProgramFolder() + L"\\ReportStartup.exe").c_str(),
              helper_.c_str(), FALSE);
  }

  std::string RunHelper(int milliseconds, int windowStyle) {
    const std::wstring report = folder_ / L"report.txt";
    DeleteFileW(report.c_str());
    const ProcessId id = platform_.StartProcess(
        helper_, helper_ + L" " + std::to_wstring(milliseconds) + L" " + report,
        windowStyle);
    platform_.WaitForProcess(id);
    return folder_.Read(L"report.txt");
  }

  std::ostringstream messages_;
  HeadlessDesktop desktop_{messages_};
  Win32Platform platform_{desktop_};
  ScratchFolder folder_;
  std::wstring helper_;
};

TEST_F(Processes, TheWaitLastsUntilTheProcessHasEnded) {
  // The report is written only just before the helper ends.
  EXPECT_EQ(RunHelper(1500, window_style::kNormal),
            "flags 1 show 1 by ReportStartup.exe\n");
}

TEST_F(Processes, TheStyleBecomesTheToolWindowsShowState) {
  EXPECT_EQ(RunHelper(0, window_style::kMinimizedNoActivate),
            "flags 1 show " + std::to_string(SW_SHOWMINNOACTIVE) +
                " by ReportStartup.exe\n");
}

TEST_F(Processes, WaitingForAProcessThatHasGoneReturns) {
  const ProcessId id = platform_.StartProcess(
      helper_, helper_ + L" 0 " + (folder_ / L"report.txt"),
      window_style::kNormal);
  platform_.WaitForProcess(id);
  platform_.WaitForProcess(id);
  EXPECT_TRUE(folder_.Exists(L"report.txt"));
}

TEST_F(Processes, TheWaitGivesTheExitCode) {
  const std::wstring report = L" 0 " + (folder_ / L"report.txt");
  // Without its two arguments the helper ends with code 2.
  for (const auto& [arguments, code] :
       {std::pair{report, 0ul}, std::pair{std::wstring(), 2ul}}) {
    const ProcessExit exit = platform_.WaitForProcess(
        platform_.StartProcess(helper_, helper_ + arguments,
                               window_style::kNormal));
    EXPECT_TRUE(exit.known);
    EXPECT_EQ(exit.code, code);
  }
}

TEST_F(Processes, AnInsertInTheDescriptionNamesTheProgram) {
  // Not a program at all: "%1 is not a valid Win32 application."
  folder_.Write(L"Program Files\\getmail.exe", "text");
  const std::wstring program = folder_ / L"Program Files\\getmail.exe";
  try {
    platform_.StartProcess(program, program + L" -u me -pw secret",
                           window_style::kNormal);
    ADD_FAILURE() << "a text file started";
  } catch (const Failure& f) {
    EXPECT_EQ(f.message().find(L"%1"), Text::npos) << ToUtf8(f.message());
    EXPECT_NE(f.message().find(program), Text::npos) << ToUtf8(f.message());
    EXPECT_EQ(f.message().find(L"secret"), Text::npos);
  }
}

TEST_F(Processes, AProgramThatCannotStartGivesTheSystemsDescription) {
  try {
    platform_.StartProcess(folder_ / L"getmail.exe",
                           folder_ / L"getmail.exe -u me -headersonly",
                           window_style::kMinimizedNoActivate);
    ADD_FAILURE() << "a missing program started";
  } catch (const Failure& f) {
    EXPECT_FALSE(f.message().empty());
    EXPECT_EQ(f.message().find(L"getmail"), Text::npos)
        << "the description is the system's own, without the command";
    EXPECT_NE(f.message().back(), L'\n');
  }
}

// The program is started by its path: a "Mail.exe" planted beside a "Mail
// Tools" folder, which Windows would try first for the unquoted text, does
// not get the command line with the password.
TEST_F(Processes, APlantedProgramBesideAFolderWithABlankIsNotStarted) {
  folder_.MakeFolder(L"Mail Tools");
  const std::wstring tool = folder_ / L"Mail Tools\\getmail.exe";
  CopyFileW(helper_.c_str(), tool.c_str(), FALSE);
  CopyFileW(helper_.c_str(), (folder_ / L"Mail.exe").c_str(), FALSE);
  const std::wstring report = folder_ / L"report.txt";
  platform_.WaitForProcess(platform_.StartProcess(
      tool, tool + L" -pw secret 0 " + report, window_style::kNormal));
  EXPECT_EQ(folder_.Read(L"report.txt"), "flags 1 show 1 by getmail.exe\n");
}

}  // namespace
}  // namespace quarrow
