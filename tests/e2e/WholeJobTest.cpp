// Quarrow's whole job, as a user runs it: the installed quarrow in batch
// mode, headless, with the real getmail beside it, against the private
// Dovecot, over plain POP3 (with STLS) and over POP3S; and the program as
// the build leaves it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>

#include "Corpus.h"
#include "Files.h"
#include "PrivateDovecot.h"
#include "Process.h"
#include "QuarrowJob.h"
#include "Unavailable.h"

namespace {

using harness::CorpusMessage;
using harness::ProcessResult;

harness::PrivateDovecot* server = nullptr;
std::string installed;  // the prefix quarrow was installed in

enum class Transport { Stls, Pop3s };

class Job : public ::testing::Test {
 protected:
  harness::TempFolder drive{"quarrow-drive-d"};
  Transport transport = Transport::Stls;

  // quarrow /login/password/server/port/subject/d:\job, with drive D: mapped
  // to the test's folder; the installed program unless another is given.
  ProcessResult Quarrow(const std::string& subject, const std::string& password,
                        const std::string& program = installed + "/bin/quarrow") {
    const int port = transport == Transport::Pop3s ? server->pop3sPort() : server->pop3Port();
    return harness::RunQuarrowJob(program, *server, port, subject, password, drive.path());
  }

  // The contents of the job folder's ".vch" files, sorted.
  std::vector<std::string> Results() {
    return harness::ActualOutcome(drive.path(), *server).results;
  }

  // Runs a job for "Velbrin" over the corpus with `program` and checks
  // that the matching messages, and only they, ended as .vch files and left
  // the server.
  void ExpectTheMatchingMessagesFetched(const std::string& program) {
    std::vector<CorpusMessage> corpus = harness::Corpus();
    server->SetMessages(harness::RawMessages(corpus));
    ProcessResult run = Quarrow("Velbrin", server->password(), program);
    ASSERT_EQ(run.status, 0) << run.err;
    harness::ExpectFetched(corpus, harness::VelbrinIds(corpus), drive.path(), *server);
  }
};

class WholeJob : public Job, public ::testing::WithParamInterface<Transport> {
 protected:
  WholeJob() { transport = GetParam(); }
};

TEST_P(WholeJob, TheMatchingMessagesEndAsVchFilesAndLeaveTheServer) {
  ExpectTheMatchingMessagesFetched(installed + "/bin/quarrow");
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

// A fresh build runs where it is: build/bin/quarrow finds build/bin/getmail.
TEST_F(Job, TheBuildTreeRunsAsItIs) { ExpectTheMatchingMessagesFetched(QUARROW_BUILT_PROGRAM); }

// Installed, quarrow and the tool (as quarrow-getmail, for its sign-in
// commands) are on the PATH as relative links (so the whole tree can move)
// to the programs, which stand side by side.
TEST(Install, TheLinksOnThePathLeadToTheProgramAndTheToolBesideIt) {
  EXPECT_EQ(harness::ListFolder(installed + "/bin"),
            (std::vector<std::string>{"quarrow", "quarrow-getmail"}));
  for (auto [name, program] : {std::pair{"quarrow", "quarrow"},
                               std::pair{"quarrow-getmail", "getmail"}}) {
    char target[4096];
    const std::string link = installed + "/bin/" + name;
    const ssize_t length = readlink(link.c_str(), target, sizeof target);
    ASSERT_GT(length, 0) << link << " is not a link";
    EXPECT_EQ(std::string(target, static_cast<size_t>(length)),
              std::string("../lib/quarrow/") + program);
  }
  EXPECT_EQ(harness::ListFolder(installed + "/lib/quarrow"),
            (std::vector<std::string>{"getmail", "quarrow"}));
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (std::optional<std::string> why = harness::PrivateDovecot::Unavailable())
    return harness::SkipUnlessRequired("quarrow_whole_job_tests", *why, "QUARROW_REQUIRE_DOVECOT");
  // Installed as a user installs it: the link bin/quarrow, the program and
  // getmail side by side in lib/quarrow.
  harness::TempFolder prefix("quarrow-install");
  ProcessResult install = harness::RunProcess(
      {QUARROW_CMAKE_COMMAND, "--install", QUARROW_BUILD_DIR, "--prefix", prefix.path()}, "/");
  if (install.status != 0 || !harness::Exists(prefix / "bin/quarrow")) {
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
