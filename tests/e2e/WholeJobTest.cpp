// Quarrow's whole job, as a user runs it: the installed quarrow in batch
// mode, headless, with the real getmail beside it, against the private
// Dovecot, over plain POP3 (with STLS), over POP3S, over IMAP with STARTTLS
// and over IMAPS, with deletion or a move to another mailbox, on a server
// with and without UIDPLUS and MOVE; and the program as the build leaves it.
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
// The same, but its IMAP offers neither UIDPLUS nor MOVE.
harness::PrivateDovecot* plainImapServer = nullptr;
std::string installed;  // the prefix quarrow was installed in

enum class Transport { Stls, Pop3s, ImapStarttls, Imaps };

using Environment = std::map<std::string, std::optional<std::string>>;

class Job : public ::testing::Test {
 protected:
  harness::TempFolder drive{"quarrow-drive-d"};
  Transport transport = Transport::Stls;

  // quarrow /login/password/server/port/subject/d:\job, with drive D: mapped
  // to the test's folder; the installed program unless another is given.
  ProcessResult Quarrow(const std::string& subject, const std::string& password,
                        const std::string& program = installed + "/bin/quarrow",
                        Environment env = {}, harness::PrivateDovecot* on = server) {
    int port = on->pop3Port();
    if (transport == Transport::Pop3s) port = on->pop3sPort();
    if (transport == Transport::ImapStarttls) port = on->imapPort();
    if (transport == Transport::Imaps) port = on->imapsPort();
    if (transport == Transport::ImapStarttls || transport == Transport::Imaps) {
      env["QUARROW_GETMAIL_PROTOCOL"] = "imap";
    }
    return harness::RunQuarrowJob(program, *on, port, subject, password, drive.path(), env);
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
  // Expunged, not just flagged; and the header run marked nothing read.
  EXPECT_EQ(server->FlaggedDeleted(), 0);
  EXPECT_EQ(server->FlaggedSeen(), 0);
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
  // Said with the tool's own reason, which the tool's line before it gives
  // in full.
  EXPECT_NE(run.err.find("Header run: exit status 3 \xE2\x80\x94 the server "), std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("refused the login of user"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("not-the-password"), std::string::npos) << run.err;
  EXPECT_TRUE(Results().empty());
  EXPECT_EQ(server->Messages(), harness::RawMessages(corpus));
}

INSTANTIATE_TEST_SUITE_P(Transports, WholeJob,
                         ::testing::Values(Transport::Stls, Transport::Pop3s,
                                           Transport::ImapStarttls, Transport::Imaps),
                         [](const ::testing::TestParamInfo<Transport>& info) {
                           switch (info.param) {
                             case Transport::Pop3s: return "Pop3s";
                             case Transport::ImapStarttls: return "ImapWithStarttls";
                             case Transport::Imaps: return "Imaps";
                             default: return "Pop3WithStls";
                           }
                         });

// IMAP jobs that move the matching messages, or that meet a server without
// UIDPLUS and MOVE: each message the job fetched is gone from INBOX (moved,
// or flagged \Deleted where the server cannot expunge it alone), and in
// Archive where it was moved.
struct ImapCase {
  const char* name;
  Transport transport;
  bool plainServer;  // without UIDPLUS and MOVE
  const char* moveTo;
  bool archived, flagged;
};

class ImapJob : public Job, public ::testing::WithParamInterface<ImapCase> {};

TEST_P(ImapJob, MovesOrFlagsWhatItFetched) {
  const ImapCase& c = GetParam();
  transport = c.transport;
  const std::vector<CorpusMessage> corpus = harness::Corpus();
  const std::set<std::string> fetched = harness::VelbrinIds(corpus);
  harness::PrivateDovecot* on = c.plainServer ? plainImapServer : server;
  on->SetMessages(harness::RawMessages(corpus));
  Environment env;
  if (c.moveTo != nullptr) env["QUARROW_GETMAIL_IMAP_MOVE_TO"] = c.moveTo;
  ProcessResult run = Quarrow("Velbrin", on->password(), installed + "/bin/quarrow", env, on);
  ASSERT_EQ(run.status, 0) << run.err;
  harness::ExpectFetched(corpus, fetched, drive.path(), *on);
  EXPECT_EQ(on->Messages("Archive").size(), c.archived ? fetched.size() : 0u);
  EXPECT_EQ(on->FlaggedDeleted(), c.flagged ? static_cast<int>(fetched.size()) : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Servers, ImapJob,
    ::testing::Values(
        ImapCase{"MovedWithUidMove", Transport::Imaps, false, "Archive", true, false},
        ImapCase{"MovedWithUidMoveOverStarttls", Transport::ImapStarttls, false, "Archive", true,
                 false},
        ImapCase{"MovedWithUidCopyWithoutUidplus", Transport::Imaps, true, "Archive", true, true},
        ImapCase{"OnlyFlaggedWithoutUidplusOverStarttls", Transport::ImapStarttls, true, nullptr,
                 false, true},
        ImapCase{"OnlyFlaggedWithoutUidplus", Transport::Imaps, true, nullptr, false, true}),
    [](const ::testing::TestParamInfo<ImapCase>& info) { return info.param.name; });

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
  harness::PrivateDovecot plainImap(std::map<std::string, std::string>{
      {"IMAP_CAPABILITY", "IMAP4rev1 SASL-IR LOGIN-REFERRALS ID ENABLE IDLE LITERAL+"}});
  plainImapServer = &plainImap;
  int status = RUN_ALL_TESTS();
  server = plainImapServer = nullptr;
  return status;
}
