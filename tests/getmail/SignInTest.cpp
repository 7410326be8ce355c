// getmail's kept sign-ins, end to end: signing in once with the tool's own
// command, then runs and whole Quarrow jobs with no secret on any command
// line, against a private Dovecot.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <iostream>

#include "Corpus.h"
#include "Files.h"
#include "PrivateDovecot.h"
#include "Process.h"
#include "QuarrowJob.h"
#include "Unavailable.h"

namespace {

using harness::ProcessResult;

harness::PrivateDovecot* dovecot = nullptr;
harness::TempFolder* stateHome = nullptr;  // XDG_STATE_HOME of every program run

class SignInTest : public ::testing::Test {
 protected:
  void SetUp() override { harness::RemoveTree(StoreFolder()); }

  static std::string StoreFolder() { return *stateHome / "quarrow"; }

  // getmail with `args`, given `input` on standard input.
  ProcessResult Getmail(const std::vector<std::string>& args, const std::string& input = "") {
    harness::WriteFile(folder_ / "input", input);
    std::vector<std::string> argv = {"/bin/sh", "-c", "exec \"$@\" < input", "sh", GETMAIL_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    return harness::RunProcess(argv, folder_.path(), dovecot->ToolEnvironment());
  }
  ProcessResult SignIn(const std::string& password) {
    return Getmail({"-signin", "-u", dovecot->user(), "-s", dovecot->host(), "-port",
                    std::to_string(dovecot->pop3sPort())},
                   password + "\n");
  }
  ProcessResult HeaderRun(const std::string& password) {
    return Getmail({"-u", dovecot->user(), "-pw", password, "-s", dovecot->host(), "-port",
                    std::to_string(dovecot->pop3sPort()), "-headersonly"});
  }

  harness::TempFolder folder_{"getmail-signin"};
};

TEST_F(SignInTest, OnlyAPasswordTheServerTakesIsKept) {
  ProcessResult refused = SignIn("not-the-password");
  EXPECT_EQ(refused.status, 3) << refused.err;
  EXPECT_EQ(refused.err.find("not-the-password"), std::string::npos) << refused.err;
  EXPECT_FALSE(harness::Exists(StoreFolder()) && !harness::ListFolder(StoreFolder()).empty());
  ProcessResult run = HeaderRun("*");
  EXPECT_EQ(run.status, 3) << "without a sign-in the placeholder is the password";

  ProcessResult taken = SignIn(dovecot->password());
  ASSERT_EQ(taken.status, 0) << taken.err;
  ProcessResult listed = Getmail({"-signins"});
  EXPECT_EQ(listed.status, 0);
  EXPECT_EQ(listed.out, dovecot->user() + " on " + dovecot->host() + ": password\n");
  for (const std::string& file : harness::ListFolder(StoreFolder())) {
    EXPECT_EQ(harness::ReadFile(StoreFolder() + "/" + file).find(dovecot->password()),
              std::string::npos)
        << "kept as it is typed";
  }
}

// A Quarrow batch job with "*" for the password fetches the mail: the tool
// takes the kept password.
TEST_F(SignInTest, AQuarrowJobWithAPlaceholderSignsInWithTheKeptPassword) {
  ASSERT_EQ(SignIn(dovecot->password()).status, 0);
  std::vector<harness::CorpusMessage> corpus = harness::Corpus();
  dovecot->SetMessages(harness::RawMessages(corpus));
  ProcessResult job =
      harness::RunQuarrowJob(QUARROW_PATH, *dovecot, dovecot->pop3sPort(), "Velbrin", "*",
                             folder_.path());
  ASSERT_EQ(job.status, 0) << job.err;
  harness::ExpectFetched(corpus, harness::VelbrinIds(corpus), folder_.path(), *dovecot);
}

TEST_F(SignInTest, SignOutForgetsThePassword) {
  ASSERT_EQ(SignIn(dovecot->password()).status, 0);
  dovecot->SetMessages({"Subject: one\r\n\r\nbody\r\n"});
  EXPECT_EQ(HeaderRun("*").status, 0);
  ProcessResult out = Getmail({"-signout", "-u", dovecot->user(), "-s", dovecot->host()});
  EXPECT_EQ(out.status, 0) << out.err;
  EXPECT_EQ(HeaderRun("*").status, 3);
  EXPECT_EQ(Getmail({"-signins"}).out.rfind("No sign-ins are kept", 0), 0u);
  ProcessResult again = Getmail({"-signout", "-u", dovecot->user(), "-s", dovecot->host()});
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.err.find("there is no sign-in"), std::string::npos) << again.err;
}

// A kept sign-in that other users can read may be theirs now: the run ends
// naming the file, before anything is sent, rather than use it or -pw.
TEST_F(SignInTest, AStoreOthersCanReadEndsTheRunNamingIt) {
  ASSERT_EQ(SignIn(dovecot->password()).status, 0);
  std::vector<std::string> files = harness::ListFolder(StoreFolder());
  ASSERT_EQ(files.size(), 1u);
  const std::string file = StoreFolder() + "/" + files[0];
  ASSERT_EQ(chmod(file.c_str(), 0644), 0);
  ProcessResult run = HeaderRun(dovecot->password());
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find(file + " can be read or written by other users"), std::string::npos)
      << run.err;
  EXPECT_FALSE(harness::Exists(folder_ / "MSG1.TXT"));
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (std::optional<std::string> why = harness::PrivateDovecot::Unavailable()) {
    return harness::SkipUnlessRequired("getmail_signin_tests", *why, "QUARROW_REQUIRE_DOVECOT");
  }
  // Every program these tests start keeps its sign-ins here.
  harness::TempFolder state("getmail-signin-state");
  setenv("XDG_STATE_HOME", state.path().c_str(), 1);
  harness::PrivateDovecot server;
  dovecot = &server;
  stateHome = &state;
  return RUN_ALL_TESTS();
}
