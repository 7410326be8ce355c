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

TEST_F(Processes, TheWaitTellsHowTheProgramEnded) {
  const std::string ender = tmp.File(
      "c/My Tools/ender", "#!/bin/sh\n[ \"$1\" = kill ] && kill -9 $$\nexit $1\n");
  ::chmod(ender.c_str(), 0755);
  struct Case {
    const wchar_t* argument;
    unsigned long code;
    int signal;
  };
  for (const Case& c : {Case{L"0", 0, 0}, Case{L"3", 3, 0}, Case{L"kill", 0, 9}}) {
    const ProcessId id =
        p->StartProcess(L"c:\\My Tools\\ender.exe " + Text(c.argument), 1);
    const ProcessExit exit = p->WaitForProcess(id);
    EXPECT_TRUE(exit.known);
    EXPECT_EQ(exit.code, c.code) << ToUtf8(c.argument);
    EXPECT_EQ(exit.signal, c.signal) << ToUtf8(c.argument);
    EXPECT_FALSE(p->WaitForProcess(id).known);  // reaped already
  }
}

// Each reading of an unquoted command line is looked for as Windows looks:
// with ".exe" added when its name has no extension. So a program folder
// "c:\my inst\bin" never starts a program "c:\my" with the password in
// its arguments.
TEST_F(Processes, AReadingWithoutAnExtensionIsLookedForWithExe) {
  const std::string ran = tmp / "ran";
  const auto program = [&](const std::string& name) {
    const std::string path = tmp.File(
        "c/" + name, "#!/bin/sh\necho \"${0##*/c/}\" >> '" + ran + "'\n");
    ::chmod(path.c_str(), 0755);
  };
  tmp.Folder("c/my inst/bin");
  program("my");
  program("my inst/bin/getmail");
  struct Case {
    const char* also;  // another program made before the start
    const wchar_t* command;
    const char* started;
  };
  const Case cases[] = {
      {nullptr, L"c:\\my inst\\bin\\getmail.exe -pw secret", "my inst/bin/getmail\n"},
      // Windows finds "getmail.exe" only, which is not there.
      {nullptr, L"c:\\my inst\\bin\\getmail -pw secret", ""},
      {"my.exe", L"c:\\my inst\\bin\\getmail.exe -pw secret", "my.exe\n"},
  };
  for (const Case& c : cases) {
    if (c.also) program(c.also);
    ::unlink(ran.c_str());
    try {
      p->WaitForProcess(p->StartProcess(c.command, 1));
    } catch (const Failure&) {
    }
    EXPECT_EQ(ReadAll(ran), c.started) << ToUtf8(c.command);
  }
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
