#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <csignal>

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
      L"C:\\my tools\\GETMAIL.EXE",
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
    const ProcessId id = p->StartProcess(
        L"c:\\My Tools\\ender.exe",
        L"c:\\My Tools\\ender.exe " + Text(c.argument), 1);
    const ProcessExit exit = p->WaitForProcess(id);
    EXPECT_TRUE(exit.known);
    EXPECT_EQ(exit.code, c.code) << ToUtf8(c.argument);
    EXPECT_EQ(exit.signal, c.signal) << ToUtf8(c.argument);
    EXPECT_FALSE(p->WaitForProcess(id).known);  // reaped already
  }
}

// The program Quarrow means is started by its path; the unquoted text is
// never searched for one. So a "Mail.exe" planted beside a "Mail Tools"
// folder, or a "Mail" without extension, never gets the password.
TEST_F(Processes, OnlyTheProgramQuarrowMeansIsStarted) {
  const std::string ran = tmp / "ran";
  const auto program = [&](const std::string& name) {
    const std::string path = tmp.File(
        "c/" + name, "#!/bin/sh\necho \"${0##*/c/} $*\" >> '" + ran + "'\n");
    ::chmod(path.c_str(), 0755);
  };
  tmp.Folder("c/Mail Tools");
  program("Mail Tools/getmail");
  struct Case {
    const char* planted;  // made before the start
    const wchar_t* program;
    const char* started;  // program and arguments
  };
  const Case cases[] = {
      {nullptr, L"c:\\Mail Tools\\getmail.exe",
       "Mail Tools/getmail -u me -pw secret\n"},
      {"Mail.exe", L"c:\\Mail Tools\\getmail.exe",
       "Mail Tools/getmail -u me -pw secret\n"},
      {"Mail", L"c:\\Mail Tools\\getmail.exe",
       "Mail Tools/getmail -u me -pw secret\n"},
      // A program that is not there is not looked for elsewhere.
      {"getmail", L"c:\\Mail Tools\\gone.exe", ""},
  };
  for (const Case& c : cases) {
    if (c.planted) program(c.planted);
    ::unlink(ran.c_str());
    const Text command = Text(c.program) + L" -u me -pw secret";
    try {
      p->WaitForProcess(p->StartProcess(c.program, command, 1));
    } catch (const Failure&) {
    }
    EXPECT_EQ(ReadAll(ran), c.started) << ToUtf8(command);
  }
}

// The tool's standard error goes through a pipe: every line is passed on
// to ours, and a failed run gives its last "getmail: " line.
// A tool that tells why it fails, then gives a usage line; with "leave",
// something it started holds the pipe open after it has ended.
void MakeTeller(TempFolder& tmp) {
  const std::string tool = tmp.File(
      "c/My Tools/teller",
      "#!/bin/sh\n"
      "echo 'getmail: the certificate of localhost is not trusted' >&2\n"
      "printf 'usage: getmail -u LOGIN\\n' >&2\n"
      "[ \"$1\" = leave ] && { sleep 60 & echo $! > sleeper; }\n"
      "exit \"$2\"\n");
  ::chmod(tool.c_str(), 0755);
}

TEST_F(Processes, TheToolsMessagesArePassedOnAndTheLastOneIsKept) {
  MakeTeller(tmp);
  struct Case {
    const wchar_t* arguments;
    const wchar_t* message;
  } cases[] = {{L" stay 1", L"the certificate of localhost is not trusted"},
               {L" stay 0", L""},  // a run that succeeded has no reason
               {L" leave 3", L"the certificate of localhost is not trusted"}};
  for (const Case& c : cases) {
    // Our standard error, caught in a file for the run.
    const std::string caught = tmp / "stderr";
    const int file = ::open(caught.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(file, 0);
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(file, STDERR_FILENO);
    const Text program = L"c:\\My Tools\\teller.exe";
    const ProcessExit exit =
        p->WaitForProcess(p->StartProcess(program, program + c.arguments, 6));
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    ::close(file);

    EXPECT_EQ(exit.message, c.message) << ToUtf8(c.arguments);
    EXPECT_EQ(ReadAll(caught),
              "getmail: the certificate of localhost is not trusted\n"
              "usage: getmail -u LOGIN\n");
    const std::string sleeper = ReadAll(tmp / "c/mail/sleeper");
    if (!sleeper.empty()) {
      // The wait came back while the sleeper still held the pipe.
      const pid_t pid = std::stoi(sleeper);
      EXPECT_EQ(::kill(pid, SIGKILL), 0);
    }
  }
}

TEST_F(Processes, AStandardErrorThatNobodyReadsDoesNotEndQuarrow) {
  MakeTeller(tmp);
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  ::close(ends[0]);
  const int saved = ::dup(STDERR_FILENO);
  ::dup2(ends[1], STDERR_FILENO);
  ::close(ends[1]);
  const Text program = L"c:\\My Tools\\teller.exe";
  const ProcessExit exit =
      p->WaitForProcess(p->StartProcess(program, program + L" stay 1", 6));
  ::dup2(saved, STDERR_FILENO);
  ::close(saved);
  EXPECT_EQ(exit.code, 1u);
  EXPECT_EQ(exit.message, L"the certificate of localhost is not trusted");
}

TEST_F(Processes, AFailedStartGivesTheSystemsReason) {
  EXPECT_EQ(FailureOf([&] {
              p->StartProcess(L"c:\\nowhere\\getmail.exe",
                              L"c:\\nowhere\\getmail.exe -u me", 6);
            }),
            L"Cannot start 'c:\\nowhere\\getmail.exe': No such file or "
            L"directory");
  ::chmod(recorder.c_str(), 0644);
  EXPECT_THAT(ToUtf8(FailureOf([&] {
                p->StartProcess(L"c:\\My Tools\\getmail.exe",
                                L"c:\\My Tools\\getmail.exe -u me", 1);
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
