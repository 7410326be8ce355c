#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include "LayerFixture.h"

namespace quarrow::posix::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::StartsWith;

// A program that writes its arguments, one "<argument>" a line, and then
// its working folder into the file named like itself plus ".args".
const char kRecorder[] =
    "#!/bin/sh\n"
    "for a in \"$@\"; do printf '<%s>\\n' \"$a\"; done > \"$0.args\"\n"
    "pwd -P >> \"$0.args\"\n";

class Processes : public LayerTest {
 protected:
  Processes() {
    tmp.Folder("c/mail");
    tmp.Folder("c/My Tools");
    recorder = tmp.File("c/My Tools/getmail", kRecorder);
    ::chmod(recorder.c_str(), 0755);
    p = Make();
    p->SelectDrive(L'c');
    p->ChangeFolder(L"mail");
  }
  std::vector<std::string> RecordedLines() const {
    std::vector<std::string> lines;
    std::istringstream in(ReadAll(recorder + ".args"));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  std::string recorder;
  std::unique_ptr<PosixPlatform> p;
};

TEST_F(Processes, StartsTheToolWithoutAShellInTheCurrentFolder) {
  const ProcessId id = p->StartProcess(
      L"C:\\my tools\\GETMAIL.EXE -u me;touch$IFS-pwned $(touch pwned) "
      L"-pw a|b -headersonly",
      window_style::kMinimizedNoActivate);
  p->WaitForProcess(id);
  EXPECT_THAT(RecordedLines(),
              ElementsAre("<-u>", "<me;touch$IFS-pwned>", "<$(touch>",
                          "<pwned)>", "<-pw>", "<a|b>", "<-headersonly>",
                          tmp / "c/mail"));
  EXPECT_FALSE(Exists(tmp / "c/mail/pwned"));
  EXPECT_FALSE(Exists(tmp / "c/mail/-pwned"));
  p->WaitForProcess(id);  // reaped already: not an error
}

TEST_F(Processes, AFailedStartGivesTheSystemsReason) {
  EXPECT_EQ(FailureOf([&] {
              p->StartProcess(L"c:\\nowhere\\getmail.exe -u me", 6);
            }),
            L"Cannot start 'c:\\nowhere\\getmail.exe': No such file or "
            L"directory");
  ::chmod(recorder.c_str(), 0644);
  EXPECT_THAT(ToUtf8(FailureOf([&] {
                p->StartProcess(L"c:\\My Tools\\getmail.exe -u me", 1);
              })),
              ::testing::EndsWith("Permission denied"));
}

TEST_F(Processes, ProgramFolderLeadsBackToTheProgram) {
  char self[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(length, 0);
  const std::string path(self, static_cast<size_t>(length));
  const std::string name = path.substr(path.rfind('/') + 1);

  const Text folder = p->ProgramFolder();
  EXPECT_THAT(ToUtf8(folder), StartsWith("Z:\\"));
  EXPECT_THAT(p->ListFiles(folder + L"\\" + FromUtf8(name)),
              ElementsAre(FromUtf8(name)));

  // On a drive mapped nearer to the program, that drive is used.
  environment["QUARROW_DRIVE_P"] = path.substr(0, path.rfind('/'));
  EXPECT_EQ(Make()->ProgramFolder(), L"P:\\");
}

TEST_F(Processes, ArgumentTextJoinsTheArgumentsWithSingleBlanks) {
  EXPECT_EQ(Make({"/me", "/pw /host", "", "/x"})->ArgumentText(),
            L"/me /pw /host  /x");
  EXPECT_EQ(Make()->ArgumentText(), L"");
}

}  // namespace
}  // namespace quarrow::posix::testing
