// Whole runs of the program in batch mode without a display, with the
// stand-in mail tool beside it as "getmail".
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <ctime>
#include <filesystem>
#include <regex>
#include <sstream>

#include "TempFolder.h"

namespace quarrow::posix::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

class WholeRun : public ::testing::Test {
 protected:
  WholeRun() {
    // A program folder with a blank in it, as "Program Files" has.
    tmp.Folder("my bin");
    tmp.Folder("home");
    tmp.Folder("mailbox");
    mail = tmp.Folder("c/mail");
    fs::copy_file(QUARROW_PROGRAM, tmp / "my bin/quarrow");
    fs::copy_file(QUARROW_STANDIN, tmp / "my bin/getmail");
  }

  // Adds a message to the fixture mailbox; messages are numbered in the
  // order of `id`.
  void Message(const std::string& id, const std::string& headers,
               const std::vector<std::pair<std::string, std::string>>&
                   attachments = {}) {
    tmp.Folder("mailbox/" + id);
    tmp.File("mailbox/" + id + "/headers", headers);
    tmp.File("mailbox/" + id + "/message", headers + "\r\nbody of " + id);
    if (!attachments.empty()) tmp.Folder("mailbox/" + id + "/attachments");
    for (const auto& [name, bytes] : attachments)
      tmp.File("mailbox/" + id + "/attachments/" + name, bytes);
  }

  // Runs the program with `arguments` in a clean environment, from the
  // temporary folder, in a time zone 5:45 h east of UTC; gives its exit
  // status and keeps its standard error.
  int Run(const std::vector<std::string>& arguments) {
    std::string command = "cd " + ShellQuoted(tmp.path()) +
                          " && env -i PATH=/usr/bin:/bin QUARROW_HEADLESS=1" +
                          " TZ=QRW-05:45" +
                          " HOME=" + ShellQuoted(tmp / "home") +
                          " QUARROW_DRIVE_C=" + ShellQuoted(tmp / "c") +
                          " STANDIN_MAILBOX=" + ShellQuoted(tmp / "mailbox") +
                          " STANDIN_LOG=" + ShellQuoted(tmp / "tool.log") + " " +
                          ShellQuoted(tmp / "my bin/quarrow");
    for (const std::string& argument : arguments)
      command += " " + ShellQuoted(argument);
    command += " >" + ShellQuoted(tmp / "stdout") + " 2>" +
               ShellQuoted(tmp / "stderr");
    const int status = std::system(command.c_str());
    stderrText = ReadAll(tmp / "stderr");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // The tool's runs, each as its arguments.
  std::vector<std::vector<std::string>> ToolRuns() const {
    std::vector<std::vector<std::string>> runs(1);
    std::istringstream in(ReadAll(tmp / "tool.log"));
    for (std::string line; std::getline(in, line);) {
      if (line.empty()) {
        runs.emplace_back();
      } else {
        runs.back().push_back(line.substr(1, line.size() - 2));
      }
    }
    runs.pop_back();
    return runs;
  }

  std::vector<std::string> Files(const std::string& folder) const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
      names.push_back(entry.path().filename().string());
    return names;
  }

  // Names of the mail folder's ".vch" files with the stamp as "STAMP".
  std::vector<std::string> Results() const {
    static const std::regex stamp(R"(\d\d-\d\d-\d\d \d\d-\d\d-\d\d)");
    std::vector<std::string> results;
    for (const std::string& name : Files(mail))
      if (name.size() > 4 && name.substr(name.size() - 4) == ".vch")
        results.push_back(std::regex_replace(name, stamp, "STAMP"));
    return results;
  }

  TempFolder tmp;
  std::string mail;
  std::string stderrText;
};

TEST_F(WholeRun, FetchesTheMatchingMessagesAndRenamesWhatTheyLeave) {
  Message("1", "Subject: Velbrin order\r\n", {{"a.jpg", "jpeg"}, {"b.txt", "text"}});
  Message("2", "Subject: other\r\n");
  Message("3", "From: x\r\nSubject: about velbrin\r\n");
  tmp.File("c/mail/msg9.txt", "old body");  // cleared by the header pass

  EXPECT_EQ(Run({"/me/pw/pop.example/110/Velbrin/c:\\MAIL"}), 0);
  EXPECT_THAT(stderrText, IsEmpty());

  const std::vector<std::string> common = {"-u", "me", "-pw", "pw", "-s",
                                           "pop.example", "-port", "110"};
  const auto runs = ToolRuns();
  ASSERT_EQ(runs.size(), 3u);
  auto with = [&](std::vector<std::string> tail) {
    std::vector<std::string> all = common;
    all.insert(all.end(), tail.begin(), tail.end());
    return all;
  };
  EXPECT_EQ(runs[0], with({"-headersonly"}));
  EXPECT_EQ(runs[1], with({"-m", "3", "-xtract", "Extract3-", "-delete"}));
  EXPECT_EQ(runs[2], with({"-m", "1", "-xtract", "Extract1-", "-delete"}));

  // Message 3 left no attachment, so its body was renamed; message 1's two
  // attachments were, and its body stays as the tool wrote it.
  EXPECT_THAT(Results(), UnorderedElementsAre("STAMP.vch", "STAMP-1.vch",
                                              "STAMP-2.vch"));
  EXPECT_THAT(Files(mail), ::testing::IsSupersetOf(
                               {"MSG1.TXT", "MSG2.TXT", "MSG3.TXT", "MSG4.TXT"}));
  EXPECT_FALSE(Exists(mail + "/msg9.txt"));
  EXPECT_THAT(Files(tmp / "mailbox"), UnorderedElementsAre("2", ".headercount"));
}

TEST_F(WholeRun, NothingMatchingFetchesNothing) {
  Message("1", "Subject: hello\r\n");
  Message("2", "Subject: world\r\n");
  EXPECT_EQ(Run({"/me/pw/host/110/Velbrin/c:\\mail"}), 0);
  EXPECT_EQ(ToolRuns().size(), 1u);
  EXPECT_THAT(Results(), IsEmpty());
  // The lock file stays; no record of a retrieval is left.
  EXPECT_THAT(Files(mail), UnorderedElementsAre("MSG1.TXT", "MSG2.TXT", ".quarrow.lock"));
}

TEST_F(WholeRun, AToolRunThatReportsAFailureIsToldAndEndsWithStatus3) {
  Message("1", "Subject: Velbrin\r\n");
  tmp.File("mailbox/1/fail-after", "4");  // writes its files, then fails
  EXPECT_EQ(Run({"/me/pw/host/110/Velbrin/c:\\mail"}), 3);
  EXPECT_THAT(Results(), ElementsAre("STAMP.vch"));  // the pass went on
  // The tool's line is passed on, and its last message is the reason.
  EXPECT_THAT(stderrText, HasSubstr("standin: message 1 fails after writing\n"));
  EXPECT_THAT(stderrText, HasSubstr("Quarrow: The mail tool reported a "
                                    "failure. Message 1: exit status 4 \xE2\x80\x94 "
                                    "standin: message 1 fails after writing. "));
}

TEST_F(WholeRun, ABodyFileThatAFailedRunDidNotWriteEndsTheRunWithStatus1) {
  // Message 2's run leaves MSG3.TXT behind with its attachment; message
  // 1's run fails and writes nothing.
  Message("1", "Subject: Velbrin one\r\n");
  tmp.File("mailbox/1/fail", "1");
  Message("2", "Subject: Velbrin two\r\n", {{"a.txt", "a"}});
  EXPECT_EQ(Run({"/me/pw/host/110/Velbrin/c:\\mail"}), 1);
  EXPECT_THAT(Results(), ElementsAre("STAMP-1.vch"));
  EXPECT_THAT(ReadAll(mail + "/MSG3.TXT"), HasSubstr("body of 2"));
  EXPECT_THAT(stderrText,
              HasSubstr("Cannot rename 'msg3.txt': the tool did not write it "
                        "in this run"));
  EXPECT_THAT(stderrText, HasSubstr("Message 1: exit status 1 \xE2\x80\x94 "
                                    "standin: message 1 fails."));
}

TEST_F(WholeRun, InTheCLocaleLettersBeyondAsciiMatchInEitherCase) {
  Message("1", "Subject: CAF\xC3\x89 \xD0\x9F\xD0\xA0\xD0\x98\xD0\x92\xD0\x95\xD0\xA2\r\n");
  EXPECT_EQ(Run({"/me/pw/host/110/caf\xC3\xA9 \xD0\xBF\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82/c:\\mail"}),
            0);
  EXPECT_EQ(ToolRuns().size(), 2u);
}

TEST_F(WholeRun, AProgramNamedLikeTheFolderUpToItsBlankIsNeverStarted) {
  // The tool's command line read up to the blank in "my bin" names "my".
  const std::string my =
      tmp.File("my", "#!/bin/sh\ntouch '" + tmp / "my ran" + "'\n");
  ASSERT_EQ(::chmod(my.c_str(), 0755), 0);
  Message("1", "Subject: hello\r\n");
  EXPECT_EQ(Run({"/me/pw/host/110/Velbrin/c:\\mail"}), 0);
  EXPECT_FALSE(Exists(tmp / "my ran"));
  EXPECT_EQ(ToolRuns().size(), 1u);
}

// A headless line: the local time it was written (ISO 8601 with the offset
// from UTC), then "Title: text".
struct HeadlessLine {
  std::time_t time = -1;  // as seconds since the epoch
  std::string offset;     // "+05:45"
  std::string rest;       // "Title: text"
};

HeadlessLine ParseLine(const std::string& line) {
  static const std::regex stamped(
      R"((\d{4})-(\d\d)-(\d\d)T(\d\d):(\d\d):(\d\d)([+-])(\d\d):(\d\d) (.*))");
  std::smatch m;
  HeadlessLine parsed;
  if (!std::regex_match(line, m, stamped)) return parsed;
  std::tm local{};
  local.tm_year = std::stoi(m[1]) - 1900;
  local.tm_mon = std::stoi(m[2]) - 1;
  local.tm_mday = std::stoi(m[3]);
  local.tm_hour = std::stoi(m[4]);
  local.tm_min = std::stoi(m[5]);
  local.tm_sec = std::stoi(m[6]);
  const int offset = (std::stoi(m[8]) * 60 + std::stoi(m[9])) * 60;
  parsed.time = ::timegm(&local) - (m[7] == "-" ? -offset : offset);
  parsed.offset = std::string(m[7]) + std::string(m[8]) + ":" + std::string(m[9]);
  parsed.rest = m[10];
  return parsed;
}

TEST_F(WholeRun, AMissingToolIsReportedWithItsPathHereAndEndsWithStatus2) {
  fs::remove(tmp / "my bin/getmail");
  const std::time_t before = std::time(nullptr);
  EXPECT_EQ(Run({"/me/pw/host/110/Velbrin/c:\\mail"}), 2);
  const std::time_t after = std::time(nullptr);
  ASSERT_EQ(std::count(stderrText.begin(), stderrText.end(), '\n'), 1);
  const HeadlessLine line = ParseLine(stderrText.substr(0, stderrText.size() - 1));
  EXPECT_EQ(line.offset, "+05:45") << stderrText;
  EXPECT_GE(line.time, before) << stderrText;
  // time() reads a coarse clock that may still show the second before the
  // one the program saw.
  EXPECT_LE(line.time, after + 1) << stderrText;
  // The program's folder as the core knows it ("Z:\tmp\...\my bin"), and
  // the path that is on this system.
  EXPECT_THAT(line.rest, ::testing::StartsWith("Error: Error starting task Z:\\"));
  EXPECT_THAT(line.rest, HasSubstr("\\my bin\\getmail.exe (" + tmp / "my bin/getmail.exe" + ") "));
  EXPECT_THAT(line.rest, HasSubstr("No such file or directory"));
}

TEST_F(WholeRun, AMissingFolderEndsWithStatus1) {
  EXPECT_EQ(Run({"/me/pw/host/110/Velbrin/c:\\nowhere"}), 1);
  EXPECT_EQ(ParseLine(stderrText.substr(0, stderrText.find('\n'))).rest,
            "Quarrow: Cannot make 'c:\\nowhere' (" + tmp / "c/nowhere" +
                ") the current folder: it does not exist");
  EXPECT_FALSE(Exists(tmp / "tool.log"));
}

TEST_F(WholeRun, ShellCharactersReachTheToolAsPlainText) {
  Message("1", "Subject: a;b $(touch subj) | c\r\n");
  EXPECT_EQ(Run({"/me;touch pwned/$(touch pwned)/host|tee pwned/`touch "
                 "pwned`/;B $(TOUCH SUBJ) |/c:\\mail"}),
            0);
  const auto runs = ToolRuns();
  ASSERT_EQ(runs.size(), 2u);  // the subject matched, whole, as text
  EXPECT_THAT(runs[0],
              ElementsAre("-u", "me;touch", "pwned", "-pw", "$(touch", "pwned)",
                          "-s", "host|tee", "pwned", "-port", "`touch",
                          "pwned`", "-headersonly"));
  for (const std::string& folder : {tmp.path(), mail, tmp / "my bin"}) {
    EXPECT_FALSE(Exists(folder + "/pwned"));
    EXPECT_FALSE(Exists(folder + "/subj"));
  }
}

TEST_F(WholeRun, WithoutADisplayOnlyBatchRuns) {
  EXPECT_EQ(Run({}), 1);
  EXPECT_THAT(ParseLine(stderrText.substr(0, stderrText.find('\n'))).rest,
              ::testing::StartsWith("quarrow: there is no window (no display"));
  EXPECT_FALSE(Exists(tmp / "tool.log"));
}

}  // namespace
}  // namespace quarrow::posix::testing
