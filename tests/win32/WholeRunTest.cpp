// Whole batch runs of Quarrow.exe without a window (QUARROW_HEADLESS=1),
// with the stand-in mail tool beside it as getmail.exe, in a program folder
// whose name has a blank in it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "BuiltProgram.h"
#include "ScratchFolder.h"
#include "platform/Failure.h"

namespace quarrow {
namespace {

using testing::BuiltProgram;
using testing::ScratchFolder;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

class WholeRun : public ::testing::Test {
 protected:
  WholeRun() {
    folder_.MakeFolder(L"Quarrow Folder");
    folder_.MakeFolder(L"mail");
    folder_.MakeFolder(L"mailbox");
    CopyFileW(BuiltProgram(QUARROW_EXE).c_str(), Program().c_str(), FALSE);
    CopyFileW(BuiltProgram(STANDIN_EXE).c_str(),
              (folder_ / L"Quarrow Folder\\getmail.exe").c_str(), FALSE);
  }

  std::wstring Program() const { return folder_ / L"Quarrow Folder\\Quarrow.exe"; }
  std::wstring Mail() const { return folder_ / L"mail"; }

  // A message of the stand-in's mailbox; messages are numbered in the order
  // of `id`.
  void Message(const std::wstring& id, const std::string& headers,
               const std::vector<std::pair<std::wstring, std::string>>&
                   attachments = {}) {
    const std::wstring message = L"mailbox\\" + id;
    folder_.MakeFolder(message);
    folder_.Write(message + L"\\headers", headers);
    folder_.Write(message + L"\\message", headers + "\r\nbody of message");
    if (!attachments.empty()) folder_.MakeFolder(message + L"\\attachments");
    for (const auto& [name, bytes] : attachments)
      folder_.Write(message + L"\\attachments\\" + name, bytes);
  }

  // Runs Quarrow.exe with `arguments` as a scheduled task would, keeping
  // its standard error; gives its exit status.
  DWORD Run(const std::wstring& arguments) {
    SetEnvironmentVariableW(L"QUARROW_HEADLESS", L"1");
    SetEnvironmentVariableW(L"STANDIN_MAILBOX", (folder_ / L"mailbox").c_str());
    SetEnvironmentVariableW(L"STANDIN_LOG", (folder_ / L"tool.log").c_str());
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const HANDLE errors =
        CreateFileW((folder_ / L"stderr.txt").c_str(), GENERIC_WRITE,
                    FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = errors;
    startup.hStdError = errors;
    std::wstring command = L"\"" + Program() + L"\" " + arguments;
    PROCESS_INFORMATION process{};
    const BOOL started =
        CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0,
                       nullptr, folder_.path().c_str(), &startup, &process);
    CloseHandle(errors);
    EXPECT_TRUE(started) << "Quarrow.exe did not start";
    if (!started) return ~0u;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    SplitTimestamps(folder_.Read(L"stderr.txt"));
    return status;
  }

  // Keeps standard error in errors_ with the local time that begins each
  // message line ("2026-12-09T01:23:45+01:00 ") taken off, and those times
  // in stamps_.
  void SplitTimestamps(const std::string& text) {
    static const std::regex stamp(
        R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d )");
    errors_.clear();
    stamps_.clear();
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
      std::smatch found;
      if (std::regex_search(line, found, stamp,
                            std::regex_constants::match_continuous)) {
        stamps_.push_back(found.str());
        line = found.suffix();
      }
      errors_ += line + (lines.eof() ? "" : "\n");
    }
  }

  std::wstring BatchLine(const std::wstring& subject, const std::wstring& mail) {
    return L"/me@example.com/secret/pop.example.com/110/" + subject + L"/" + mail;
  }

  std::vector<std::wstring> Names(const std::wstring& folder) const {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    const HANDLE search =
        FindFirstFileW((folder_ / folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
      const std::wstring name = found.cFileName;
      if (name[0] != L'.') names.push_back(name);  // nor the tool's own
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
  }

  // The tool's runs, each as its arguments after the login and password.
  std::vector<std::string> ToolRuns() const {
    std::vector<std::string> runs;
    std::istringstream log(folder_.Read(L"tool.log"));
    std::string run;
    for (std::string line; std::getline(log, line);) {
      if (line.empty()) {
        runs.push_back(run);
        run.clear();
      } else {
        run += (run.empty() ? "" : " ") + line.substr(1, line.size() - 2);
      }
    }
    return runs;
  }

  ScratchFolder folder_;
  std::string errors_;
  std::vector<std::string> stamps_;
};

TEST_F(WholeRun, FetchesTheMatchingMessagesAndStampsWhatTheyCarry) {
  Message(L"1", "Subject: Hello\r\n", {{L"photo.jpg", "not this one"}});
  Message(L"2", "From: someone\r\nSubject: Velbrin news\r\n");
  Message(L"3", "Subject: velbrin, again\r\n",
          {{L"a.jpg", "first"}, {L"b.txt", "second"}});
  folder_.Write(L"mail\\msg9.txt", "left by an earlier run");
  folder_.Write(L"mail\\notes.txt", "kept");

  EXPECT_EQ(Run(BatchLine(L"Velbrin", Mail())), 0u);
  EXPECT_THAT(errors_, IsEmpty());

  const std::string server = "-u me@example.com -pw secret -s pop.example.com -port 110";
  EXPECT_THAT(ToolRuns(),
              ElementsAre(server + " -headersonly",
                          server + " -m 3 -xtract Extract3- -delete",
                          server + " -m 2 -xtract Extract2- -delete"));
  EXPECT_THAT(Names(L"mailbox"), ElementsAre(L"1"));

  // Message 3's attachments are numbered in listing order; message 2 had
  // none, so its whole text gets the stamp.
  const std::wregex stamp(LR"(\d\d-\d\d-\d\d \d\d-\d\d-\d\d(-[12])?\.vch)");
  std::vector<std::string> results;
  std::vector<std::wstring> others;
  for (const std::wstring& name : Names(L"mail")) {
    std::wsmatch match;
    if (std::regex_match(name, match, stamp)) {
      results.push_back((match[1].matched ? "attachment " : "message ") +
                        folder_.Read(L"mail\\" + name));
    } else {
      others.push_back(name);
    }
  }
  EXPECT_THAT(results, UnorderedElementsAre(
                           "attachment first", "attachment second",
                           "message From: someone\r\nSubject: Velbrin news\r\n"
                           "\r\nbody of message"));
  EXPECT_THAT(others, UnorderedElementsAre(L"MSG1.TXT", L"MSG2.TXT",
                                           L"MSG3.TXT", L"notes.txt"));
}

// The names of the stamped results in the mail folder, the stamp as STAMP.
std::vector<std::wstring> Stamped(const std::vector<std::wstring>& names) {
  const std::wregex stamp(LR"(\d\d-\d\d-\d\d \d\d-\d\d-\d\d)");
  std::vector<std::wstring> results;
  for (const std::wstring& name : names)
    if (name.size() > 4 && name.substr(name.size() - 4) == L".vch")
      results.push_back(std::regex_replace(name, stamp, L"STAMP"));
  return results;
}

TEST_F(WholeRun, AToolRunThatReportsAFailureIsToldAndEndsWithStatus3) {
  Message(L"1", "Subject: Velbrin\r\n");
  folder_.Write(L"mailbox\\1\\fail-after", "4");  // writes, then fails
  EXPECT_EQ(Run(BatchLine(L"Velbrin", Mail())), 3u);
  EXPECT_THAT(Stamped(Names(L"mail")), ElementsAre(L"STAMP.vch"));
  EXPECT_NE(errors_.find("Quarrow: The mail tool reported a failure. "
                         "Message 1: exit status 4."),
            std::string::npos) << errors_;
}

TEST_F(WholeRun, ABodyFileThatAFailedRunDidNotWriteEndsTheRunWithStatus1) {
  // Message 2's run leaves MSG3.TXT behind with its attachment; message
  // 1's run fails and writes nothing.
  Message(L"1", "Subject: Velbrin one\r\n");
  folder_.Write(L"mailbox\\1\\fail", "1");
  Message(L"2", "Subject: Velbrin two\r\n", {{L"a.txt", "a"}});
  EXPECT_EQ(Run(BatchLine(L"Velbrin", Mail())), 1u);
  EXPECT_THAT(Stamped(Names(L"mail")), ElementsAre(L"STAMP-1.vch"));
  EXPECT_EQ(folder_.Read(L"mail\\MSG3.TXT"),
            "Subject: Velbrin two\r\n\r\nbody of message");
  EXPECT_NE(errors_.find("Cannot rename 'msg3.txt': the tool did not write "
                         "it in this run"),
            std::string::npos) << errors_;
}

TEST_F(WholeRun, AHeaderFileWithTheUtf8MarkMatchesBeyondTheCodePage) {
  Message(L"1", "\xEF\xBB\xBFSubject: \xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 "
                "Gr\xC3\xBC\xC3\x9F" "e\r\n");
  EXPECT_EQ(Run(BatchLine(L"\u043f\u0440\u0438\u0432\u0435\u0442 gr\u00fc", Mail())), 0u);
  EXPECT_EQ(ToolRuns().size(), 2u);
}

TEST_F(WholeRun, AMissingToolIsReportedAndTheRunEndsWithStatus2) {
  DeleteFileW((folder_ / L"Quarrow Folder\\getmail.exe").c_str());
  Message(L"1", "Subject: Velbrin\r\n");
  EXPECT_EQ(Run(BatchLine(L"Velbrin", Mail())), 2u);
  const std::string expected =
      "Error: Error starting task " +
      ToUtf8(folder_ / L"Quarrow Folder\\getmail.exe") + " ";
  EXPECT_EQ(errors_.substr(0, expected.size()), expected);
  EXPECT_EQ(std::count(errors_.begin(), errors_.end(), '\n'), 1) << errors_;
  EXPECT_EQ(stamps_.size(), 1u) << errors_;
  EXPECT_THAT(Names(L"mail"), IsEmpty());
}

TEST_F(WholeRun, AFailureIsNamedAndEndsTheRunWithStatus1) {
  const std::wstring missing = folder_ / L"no such folder";
  EXPECT_EQ(Run(BatchLine(L"Velbrin", missing)), 1u);
  EXPECT_EQ(errors_, "Quarrow: Cannot make '" + ToUtf8(missing) +
                         "' the current folder: it does not exist\r\n");
  EXPECT_EQ(stamps_.size(), 1u);
  EXPECT_FALSE(folder_.Exists(L"tool.log"));
}

TEST_F(WholeRun, WithoutTheSixFieldsThereIsNothingToRunUnattended) {
  EXPECT_EQ(Run(L"/me/secret/pop.example.com"), 1u);
  EXPECT_NE(errors_.find("/login/password/server/port/subject/folder"),
            std::string::npos) << errors_;
  EXPECT_FALSE(folder_.Exists(L"tool.log"));
}

}  // namespace
}  // namespace quarrow
