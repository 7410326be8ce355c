// Quarrow's whole job, as a user runs it: the installed quarrow in batch
// mode, headless, with the real getmail beside it, against the private
// Dovecot, over plain POP3 (with STLS) and over POP3S.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <regex>

#include "Corpus.h"
#include "Files.h"
#include "PrivateDovecot.h"
#include "Process.h"

namespace {

using harness::CorpusMessage;
using harness::ProcessResult;

harness::PrivateDovecot* server = nullptr;
std::string installed;  // the prefix quarrow and getmail are installed in

std::string CorpusId(const std::string& message) {
  std::size_t at = message.find("X-Corpus-Id: ");
  if (at == std::string::npos) return "?";
  at += 13;
  return message.substr(at, message.find('\r', at) - at);
}

enum class Transport { Stls, Pop3s };

class WholeJob : public ::testing::TestWithParam<Transport> {
 protected:
  harness::TempFolder drive{"quarrow-drive-d"};

  int Port() const {
    return GetParam() == Transport::Pop3s ? server->pop3sPort() : server->pop3Port();
  }

  // quarrow /login/password/server/port/subject/d:\job, with drive D: mapped
  // to the test's folder.
  ProcessResult Quarrow(const std::string& subject, const std::string& password) {
    mkdir((drive / "job").c_str(), 0755);
    std::map<std::string, std::optional<std::string>> env = server->ToolEnvironment();
    env["QUARROW_HEADLESS"] = "1";
    env["QUARROW_DRIVE_D"] = drive.path();
    std::string command = "/" + server->user() + "/" + password + "/" + server->host() + "/" +
                          std::to_string(Port()) + "/" + subject + "/d:\\job";
    return harness::RunProcess({installed + "/bin/quarrow", command}, drive.path(), env, 300);
  }

  std::vector<std::string> IdsOnServer() {
    std::vector<std::string> ids;
    for (const std::string& message : server->Messages()) ids.push_back(CorpusId(message));
    return ids;
  }

  // The ".vch" files in the job folder: their contents, sorted.
  std::vector<std::string> Results() {
    static const std::regex name(R"(\d\d-\d\d-\d\d \d\d-\d\d-\d\d(-\d+)?\.vch)");
    std::vector<std::string> contents;
    for (const std::string& file : harness::ListFolder(drive / "job")) {
      if (file.size() > 4 && file.substr(file.size() - 4) == ".vch") {
        EXPECT_TRUE(std::regex_match(file, name)) << file;
        contents.push_back(harness::ReadFile(drive / ("job/" + file)));
      }
    }
    std::sort(contents.begin(), contents.end());
    return contents;
  }
};

TEST_P(WholeJob, TheMatchingMessagesEndAsVchFilesAndLeaveTheServer) {
  std::vector<CorpusMessage> corpus = harness::Corpus();
  server->SetMessages(harness::RawMessages(corpus));

  ProcessResult run = Quarrow("Velbrin", server->password());
  ASSERT_EQ(run.status, 0) << run.err;

  // Messages whose header holds "Velbrin" in any case, the encoded subject
  // of "attached-message" included, are gone; the others are untouched.
  std::vector<std::string> expectedIds, expectedResults;
  std::vector<std::string> serverNow = server->Messages();
  for (const CorpusMessage& message : corpus) {
    bool matches = message.raw.find("Velbrin") != std::string::npos &&
                   message.raw.find("Velbrin") < message.raw.find("\r\n\r\n");
    if (message.id == "attached-message") matches = true;  // encoded
    if (!matches) {
      expectedIds.push_back(message.id);
      EXPECT_NE(std::find(serverNow.begin(), serverNow.end(), message.raw), serverNow.end())
          << message.id << " changed on the server";
    } else if (message.attachments.empty()) {
      expectedResults.push_back(message.raw);  // the message itself
    } else {
      for (const harness::ExpectedFile& file : message.attachments) {
        expectedResults.push_back(file.data);
      }
    }
  }
  EXPECT_EQ(IdsOnServer(), expectedIds);
  std::sort(expectedResults.begin(), expectedResults.end());
  std::vector<std::string> results = Results();
  EXPECT_EQ(results.size(), expectedResults.size());
  EXPECT_TRUE(results == expectedResults) << "the .vch files differ from what was sent";
  for (const std::string& file : harness::ListFolder(drive / "job")) {
    EXPECT_NE(file.rfind("Extract", 0), 0u) << file << " was not renamed";
  }
}

TEST_P(WholeJob, ASubjectNoMessageHoldsLeavesEverything) {
  std::vector<CorpusMessage> corpus = harness::Corpus();
  server->SetMessages(harness::RawMessages(corpus));
  ProcessResult run = Quarrow("Nowhere to be found", server->password());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Results().empty());
  EXPECT_EQ(server->Messages(), harness::RawMessages(corpus));
  // The header files are left for the next header pass to clear.
  EXPECT_TRUE(harness::Exists(drive / ("job/MSG" + std::to_string(corpus.size()) + ".TXT")));
}

TEST_P(WholeJob, AWrongPasswordFetchesAndDeletesNothing) {
  std::vector<CorpusMessage> corpus = harness::Corpus();
  server->SetMessages(harness::RawMessages(corpus));
  ProcessResult run = Quarrow("Velbrin", "not-the-password");
  // The header run failed: said, and the batch ends with status 3.
  EXPECT_EQ(run.status, 3) << run.err;
  EXPECT_NE(run.err.find("Header run: exit status "), std::string::npos)
      << run.err;
  EXPECT_TRUE(Results().empty());
  EXPECT_EQ(server->Messages(), harness::RawMessages(corpus));
}

INSTANTIATE_TEST_SUITE_P(Transports, WholeJob,
                         ::testing::Values(Transport::Stls, Transport::Pop3s),
                         [](const ::testing::TestParamInfo<Transport>& info) {
                           return info.param == Transport::Pop3s ? "Pop3s" : "Pop3WithStls";
                         });

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (std::optional<std::string> why = harness::PrivateDovecot::Unavailable()) {
    std::cout << "quarrow_whole_job_tests: " << *why << "\n";
    const char* require = std::getenv("QUARROW_REQUIRE_DOVECOT");
    if (require == nullptr || std::string(require) != "1") {
      std::cout << "Skipped (set QUARROW_REQUIRE_DOVECOT=1 to fail instead).\n";
      return 77;
    }
    return 1;
  }
  // Installed as a user installs it: quarrow and getmail side by side.
  harness::TempFolder prefix("quarrow-install");
  ProcessResult install = harness::RunProcess(
      {QUARROW_CMAKE_COMMAND, "--install", QUARROW_BUILD_DIR, "--prefix", prefix.path()}, "/");
  if (!harness::Exists(prefix / "bin/quarrow")) {
    std::cout << "quarrow_whole_job_tests: this build installs no bin/quarrow yet "
                 "(cmake --install said: "
              << install.out << install.err << "). Skipped.\n";
    return 77;
  }
  if (install.status != 0 || !harness::Exists(prefix / "bin/getmail")) {
    std::cout << "quarrow_whole_job_tests: cmake --install failed: " << install.out
              << install.err << "\n";
    return 1;
  }
  installed = prefix.path();
  harness::PrivateDovecot dovecot;
  server = &dovecot;
  int status = RUN_ALL_TESTS();
  server = nullptr;
  return status;
}
