// The token command: what it prints becomes the token only when it is one
// token, and nothing it starts is left running.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "tools/getmail/Errors.h"
#include "tools/getmail/TokenCommand.h"

#ifdef _WIN32
#include <windows.h>

#include "Win32GetmailCopy.h"
#else
#include <unistd.h>
#endif

namespace getmail {
namespace {

using namespace std::chrono_literals;

struct Refusal {
  std::string command;
  const char* says;
};

#ifdef _WIN32
const char* kPrintsLogin = "echo   tok-%QUARROW_GETMAIL_LOGIN%  ";
const Refusal kRefusals[] = {
    {"exit /b 3", "exit status 3"},
    {"echo tok& exit /b 1", "exit status 1"},
    {"rem", "printed no access token"},
    {"echo tok& echo DELE 1", "more than one word"},
    {"echo tok& echo more", "more than one word"},
    {"c:\\nonexistent\\token-helper.exe", "exit status 9009"},
};
#else
const char* kPrintsLogin = "printf '  tok-%s\\r\\n\\n' \"$QUARROW_GETMAIL_LOGIN\"";
const Refusal kRefusals[] = {
    {"exit 3", "exit status 3"},
    {"echo tok; exit 1", "exit status 1"},
    {"kill -9 $$", "signal"},
    {"true", "printed no access token"},
    {"printf 'tok\\r\\nDELE 1\\r\\n'", "more than one word"},
    {"printf 'tok\\r\\nmore'", "more than one word"},
    {"head -c 100000 /dev/zero | tr '\\0' a", "far more"},
    {"/nonexistent/token-helper", "exit status 127"},
};
#endif

TEST(TokenCommand, TakesTheTrimmedOutputWithTheLoginInItsEnvironment) {
  EXPECT_EQ(RunTokenCommand(kPrintsLogin, "me@example.com", 20s), "tok-me@example.com");
}

TEST(TokenCommand, RefusesEveryOutputThatIsNotOneToken) {
  for (const Refusal& c : kRefusals) {
    try {
      RunTokenCommand(c.command, "me", 20s);
      ADD_FAILURE() << c.command << " gave a token";
    } catch (const Error& error) {
      std::string what = error.what();
      EXPECT_NE(what.find(c.says), std::string::npos) << c.command << ": " << what;
      EXPECT_NE(what.find(kOAuthCommandVariable), std::string::npos);
    }
  }
}

#ifndef _WIN32
// A command that does not end, or leaves something running, is stopped with
// everything it started.
TEST(TokenCommand, StopsWhatItStarted) {
  char folder[] = "/tmp/token-command-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string pidFile = std::string(folder) + "/pid";
  const std::string record = "sh -c 'echo $$ > " + pidFile + "; exec sleep 60' ";
  // The others print their token and end once the process they started is
  // under way, leaving that process behind, holding the pipe open; the
  // last one's is in a session of its own, out of the group's reach.
  const std::string started = "until [ -s " + pidFile + " ]; do sleep 0.05; done; ";
  struct Case {
    std::string command;
    bool ends;  // gives its token rather than running out of time
  } cases[] = {
      {record + "& wait", false},
      {record + "& " + started + "echo tok", true},
      {"setsid " + record + "& " + started + "echo tok", true},
      // ... and one started by a process still running when the command ends.
      {"sh -c 'setsid sh -c \"echo \\$\\$ > " + pidFile + "; exec sleep 60\" & sleep 60' & " +
           started + "echo tok",
       true},
  };
  for (const Case& c : cases) {
    const std::string& command = c.command;
    unlink(pidFile.c_str());
    try {
      EXPECT_EQ(RunTokenCommand(command, "me", c.ends ? 20s : 1500ms), "tok") << command;
      EXPECT_TRUE(c.ends) << command;
    } catch (const Error& error) {
      EXPECT_FALSE(c.ends) << command << ": " << error.what();
      EXPECT_NE(std::string(error.what()).find("did not end in time"), std::string::npos)
          << command << ": " << error.what();
    }
    pid_t left = 0;
    std::ifstream(pidFile) >> left;
    ASSERT_GT(left, 0) << command;
    // The process is gone, or a zombie waiting for a parent that reaps it.
    bool gone = false;
    for (int i = 0; i < 200 && !gone; ++i) {
      std::string state;
      std::ifstream("/proc/" + std::to_string(left) + "/stat") >> state >> state >> state;
      gone = state.empty() || state == "Z";
      if (!gone) usleep(50 * 1000);
    }
    EXPECT_TRUE(gone) << command << " left process " << left << " running";
  }
  unlink(pidFile.c_str());
  rmdir(folder);
}
#else
// A program named cmd.exe in the current folder (the mail folder, which
// others may write to) is never run in Windows' own one's place: here a copy
// of getmail.exe, which would refuse cmd's arguments. (Wine's own programs
// will not do: a copy of one runs the program its new name names.)
TEST(TokenCommand, RunsWindowsOwnCmdNeverOneInTheCurrentFolder) {
  wchar_t previous[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, previous);
  const std::wstring folder = CopyOfGetmail(L"getmail-planted-", L"cmd.exe");
  ASSERT_FALSE(folder.empty()) << GetLastError();
  const std::wstring planted = folder + L"\\cmd.exe";
  ASSERT_TRUE(SetCurrentDirectoryW(folder.c_str()));
  std::string token;
  try {
    token = RunTokenCommand("echo tok-planted", "me", 20s);
  } catch (const Error& error) {
    ADD_FAILURE() << error.what();
  }
  SetCurrentDirectoryW(previous);
  DeleteFileW(planted.c_str());
  RemoveDirectoryW(folder.c_str());
  EXPECT_EQ(token, "tok-planted");
}

// The breakaway helper: this test program, started by the token command
// with GETMAIL_TEST_BREAKAWAY set, tries to start a program outside the job
// it runs in, and prints "held" if the job refuses, "escaped" if not.
const bool kBreakawayHelper = [] {
  if (GetEnvironmentVariableW(L"GETMAIL_TEST_BREAKAWAY", nullptr, 0) == 0) return false;
  wchar_t system[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  std::wstring program = std::wstring(system) + L"\\ping.exe";
  std::wstring line = L"ping -n 30 127.0.0.1";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  const bool escaped = CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE,
                                      CREATE_BREAKAWAY_FROM_JOB | CREATE_NO_WINDOW, nullptr,
                                      nullptr, &startup, &process);
  if (escaped) {
    TerminateProcess(process.hProcess, 0);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  std::printf("%s\n", escaped ? "escaped" : "held");
  std::fflush(stdout);
  ExitProcess(0);
}();

TEST(TokenCommand, NothingItStartsBreaksAwayFromItsJob) {
  wchar_t self[MAX_PATH];
  ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
  std::string command = "set GETMAIL_TEST_BREAKAWAY=1&& \"";
  for (const wchar_t* c = self; *c != L'\0'; ++c) command += static_cast<char>(*c);
  EXPECT_EQ(RunTokenCommand(command + "\"", "me", 60s), "held");
}

// A command that does not end is stopped in time.
TEST(TokenCommand, StopsACommandThatDoesNotEnd) {
  try {
    RunTokenCommand("ping -n 60 127.0.0.1 >NUL", "me", 1500ms);
    ADD_FAILURE() << "a token from a command that was still running";
  } catch (const Error& error) {
    EXPECT_NE(std::string(error.what()).find("did not end in time"), std::string::npos)
        << error.what();
  }
}
#endif

}  // namespace
}  // namespace getmail
