// getmail's kept sign-ins, end to end: signing in once with the tool's own
// command, then runs and whole Quarrow jobs with no secret on any command
// line, against a private Dovecot.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <memory>
#include <regex>
#include <set>

#include "Corpus.h"
#include "Files.h"
#include "OAuthServer.h"
#include "Pop3Tap.h"
#include "PrivateDovecot.h"
#include "Process.h"
#include "QuarrowJob.h"
#include "Unavailable.h"

namespace {

using harness::ProcessResult;

// $BROWSER for the sign-ins: one that signs in and agrees at once, and one
// that brings back an answer of its own.
const std::string kApprove = BROWSER_SCRIPTS "/approve-in-browser.sh";
const std::string kForge = BROWSER_SCRIPTS "/forge-redirect.sh";

harness::PrivateDovecot* dovecot = nullptr;
harness::OAuthServer* oauth = nullptr;  // none where node or oidc-provider is missing
harness::TempFolder* stateHome = nullptr;  // XDG_STATE_HOME of every program run

class SignInTest : public ::testing::Test {
 protected:
  void SetUp() override { harness::RemoveTree(StoreFolder()); }

  static std::string StoreFolder() { return *stateHome / "quarrow"; }

  // getmail with `args`, given `input` on standard input.
  ProcessResult Getmail(const std::vector<std::string>& args, const std::string& input = "",
                        const std::string& browser = kApprove) {
    harness::WriteFile(folder_ / "input", input);
    std::vector<std::string> argv = wrapper_;
    argv.insert(argv.end(), {"/bin/sh", "-c", "exec \"$@\" < input", "sh", GETMAIL_PATH});
    argv.insert(argv.end(), args.begin(), args.end());
    std::map<std::string, std::optional<std::string>> env = dovecot->ToolEnvironment();
    env["BROWSER"] = browser;
    env["FORGE"] = forge_;
    for (const auto& [name, value] : extraEnv_) env[name] = value;
    return harness::RunProcess(argv, folder_.path(), env);
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
  std::string forge_ = "state";  // what forge-redirect.sh forges
  std::vector<std::string> wrapper_;  // what getmail is started through
  std::map<std::string, std::optional<std::string>> extraEnv_;
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

// The desktop keyring store, asked for with QUARROW_GETMAIL_STORE: each
// program runs on a private session bus of its own with gnome-keyring as
// the Secret Service, whose keyring lives in a folder of the test's.
class SecretServiceSignInTest : public SignInTest {
 protected:
  void SetUp() override {
    for (const char* program :
         {"/usr/bin/dbus-run-session", "/usr/bin/dbus-send", "/usr/bin/gnome-keyring-daemon"}) {
      if (access(program, X_OK) != 0) {
        const char* require = std::getenv("QUARROW_REQUIRE_DOVECOT");
        if (require != nullptr && std::string(require) == "1") {
          FAIL() << program << " is missing (Debian: dbus, dbus-bin, gnome-keyring)";
        }
        GTEST_SKIP() << program << " is missing (Debian: dbus, dbus-bin, gnome-keyring); "
                     << "the Secret Service store is not tested";
      }
    }
    SignInTest::SetUp();
    ASSERT_EQ(mkdir(runtime_.c_str(), 0700), 0);
    OnSessionBus(true);
    extraEnv_ = {{"QUARROW_GETMAIL_STORE", "secret-service"},
                 {"XDG_DATA_HOME", keyrings_.path()},
                 {"XDG_RUNTIME_DIR", runtime_},
                 {"DBUS_SESSION_BUS_ADDRESS", std::nullopt}};
  }
  // Off, as under cron: the same user and folders, but no session bus.
  void OnSessionBus(bool on) {
    wrapper_.clear();
    if (on) wrapper_.push_back(BROWSER_SCRIPTS "/secret-service-session.sh");
  }

  harness::TempFolder keyrings_{"getmail-keyrings"};
  std::string runtime_ = keyrings_ / "runtime";
};

TEST_F(SecretServiceSignInTest, APasswordKeptInTheKeyringServesRunsThatAskForIt) {
  ProcessResult taken = SignIn(dovecot->password());
  ASSERT_EQ(taken.status, 0) << taken.err;
  EXPECT_TRUE(!harness::Exists(StoreFolder()) || harness::ListFolder(StoreFolder()).empty())
      << "nothing in the file store";
  ProcessResult listed = Getmail({"-signins"});
  EXPECT_EQ(listed.out, dovecot->user() + " on " + dovecot->host() + ": password\n")
      << listed.err;
  // Another session, another keyring daemon: the sign-in was kept on disk.
  dovecot->SetMessages({"Subject: one\r\n\r\nbody\r\n"});
  ProcessResult run = HeaderRun("*");
  EXPECT_EQ(run.status, 0) << run.err;

  // A run that uses the file store does not find it.
  extraEnv_["QUARROW_GETMAIL_STORE"] = std::nullopt;
  EXPECT_EQ(HeaderRun("*").status, 3);
  // One that asks for the keyring where there is no session bus is told so,
  // rather than go on with the placeholder.
  extraEnv_["QUARROW_GETMAIL_STORE"] = "secret-service";
  OnSessionBus(false);
  ProcessResult cron = HeaderRun("*");
  EXPECT_EQ(cron.status, 1);
  EXPECT_NE(cron.err.find("QUARROW_GETMAIL_STORE=secret-service, but there is no session bus"),
            std::string::npos)
      << cron.err;

  OnSessionBus(true);  // the keyring as it was
  ProcessResult out = Getmail({"-signout", "-u", dovecot->user(), "-s", dovecot->host()});
  EXPECT_EQ(out.status, 0) << out.err;
  EXPECT_EQ(HeaderRun("*").status, 3);
  EXPECT_EQ(Getmail({"-signins"}).out.rfind("No sign-ins are kept", 0), 0u);
}

// The test server's access tokens do not last, so each run refreshes; the
// second run works only if the first kept the rotated refresh token in the
// keyring.
TEST_F(SecretServiceSignInTest, AnOAuthGrantInTheKeyringKeepsItsRotations) {
  if (oauth == nullptr) GTEST_SKIP() << "no OAuth 2.0 test server here";
  ProcessResult signIn = Getmail({"-signin", "-u", "quarrow", "-s", dovecot->host(), "-port",
                                  std::to_string(dovecot->pop3sPort()), "-oauth2",
                                  oauth->issuer(), "-client-id", "getmail"});
  ASSERT_EQ(signIn.status, 0) << signIn.err;
  dovecot->SetMessages({"Subject: one\r\n\r\nbody\r\n"});
  for (int run = 0; run < 2; ++run) {
    ProcessResult header = HeaderRun("*");
    EXPECT_EQ(header.status, 0) << "run " << run << ": " << header.err;
  }
  EXPECT_NE(Getmail({"-signins"}).out.find("quarrow on localhost: OAuth 2.0"), std::string::npos);
  if (harness::Exists(StoreFolder())) {
    for (const std::string& name : harness::ListFolder(StoreFolder())) {
      EXPECT_EQ(name[0], '.') << name << ": only the locks are files";
    }
  }
}

TEST_F(SecretServiceSignInTest, AStoreThatIsNotKnownIsRefused) {
  extraEnv_["QUARROW_GETMAIL_STORE"] = "kwallet";
  ProcessResult run = HeaderRun(dovecot->password());
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("QUARROW_GETMAIL_STORE is \"kwallet\""), std::string::npos) << run.err;
}

// OAuth 2.0 sign-ins against the loopback authorization server, whose
// tokens the private Dovecot checks by introspection.
class OAuthSignInTest : public SignInTest {
 protected:
  void SetUp() override {
    if (oauth == nullptr) GTEST_SKIP() << "no OAuth 2.0 test server here";
    SignInTest::SetUp();
  }
  ProcessResult OAuthSignIn(const std::string& client, const std::string& login = "quarrow",
                            const std::string& browser = kApprove, bool device = false) {
    std::vector<std::string> args = {"-signin", "-u", login, "-s", dovecot->host(), "-port",
                                     std::to_string(dovecot->pop3sPort()), "-oauth2",
                                     oauth->issuer(), "-client-id", client};
    if (device) args.push_back("-device");
    return Getmail(args, "", browser);
  }
  // The kept sign-ins' files (not the hidden locks beside them).
  std::vector<std::string> KeptFiles() {
    std::vector<std::string> files;
    if (!harness::Exists(StoreFolder())) return files;
    for (const std::string& name : harness::ListFolder(StoreFolder())) {
      if (name[0] != '.') files.push_back(StoreFolder() + "/" + name);
    }
    return files;
  }
  // The kept sign-in's file, and a field of it.
  std::string KeptFile() {
    std::vector<std::string> files = KeptFiles();
    return files.size() == 1 ? files[0] : std::string();
  }
  std::string Kept(const std::string& field) {
    std::smatch match;
    std::string text = harness::ReadFile(KeptFile());
    std::regex pattern("\"" + field + "\": \"?([^\",\n]*)");
    return std::regex_search(text, match, pattern) ? match[1].str() : std::string();
  }
  // Changes a field of the kept sign-in behind the tool's back.
  void ChangeKept(const std::string& field, const std::string& value) {
    std::string text = harness::ReadFile(KeptFile());
    std::regex pattern("\"" + field + "\": (\"[^\"]*\"|[0-9]+)");
    harness::WriteFile(KeptFile(), std::regex_replace(text, pattern, "\"" + field + "\": " + value));
  }
  int Stat(const std::string& name) {
    std::smatch match;
    std::string stats = oauth->Stats();
    std::regex pattern("\"" + name + "\":([0-9]+)");
    return std::regex_search(stats, match, pattern) ? std::stoi(match[1].str()) : -1;
  }
  bool NothingKept() { return KeptFiles().empty(); }
};

// Signed in once in the browser; every run after it refreshes (the server's
// access tokens are too short to keep) and gets a new refresh token, which
// the next run must use: the old one is void.
TEST_F(OAuthSignInTest, TheCodeFlowGrantServesRunsAcrossRotations) {
  ProcessResult signIn = OAuthSignIn("getmail");
  ASSERT_EQ(signIn.status, 0) << signIn.err << signIn.out;
  EXPECT_NE(Getmail({"-signins"}).out.find("quarrow on localhost: OAuth 2.0 (" + oauth->issuer() +
                                           "), last used "),
            std::string::npos);
  std::set<std::string> refreshTokens = {Kept("refresh_token")};
  const int refreshes = Stat("refreshes");
  dovecot->SetMessages({"Subject: one\r\n\r\nbody\r\n"});
  ProcessResult run = HeaderRun("*");
  ASSERT_EQ(run.status, 0) << run.err;
  refreshTokens.insert(Kept("refresh_token"));

  std::vector<harness::CorpusMessage> corpus = harness::Corpus();
  dovecot->SetMessages(harness::RawMessages(corpus));
  ProcessResult job = harness::RunQuarrowJob(QUARROW_PATH, *dovecot, dovecot->pop3sPort(),
                                             "Velbrin", "*", folder_.path());
  ASSERT_EQ(job.status, 0) << job.err;
  harness::ExpectFetched(corpus, harness::VelbrinIds(corpus), folder_.path(), *dovecot);
  refreshTokens.insert(Kept("refresh_token"));
  // Every run refreshed (the job runs the tool once for the headers and
  // once for each message), each with the token the run before it kept.
  EXPECT_GE(Stat("refreshes"), refreshes + 3);
  EXPECT_EQ(refreshTokens.size(), 3u);
}

TEST_F(OAuthSignInTest, AnAccessTokenThatLastsIsUsedWithoutRefreshing) {
  ASSERT_EQ(OAuthSignIn("getmail-cached").status, 0);
  const int refreshes = Stat("refreshes");
  dovecot->SetMessages({"Subject: one\r\n\r\nbody\r\n"});
  for (int run = 0; run < 2; ++run) EXPECT_EQ(HeaderRun("*").status, 0);
  EXPECT_EQ(Stat("refreshes"), refreshes);
}

TEST_F(OAuthSignInTest, TheDeviceFlowHonoursEveryAnswerOfThePoll) {
  struct Case {
    const char* client;
    int status;
    const char* says;
  } cases[] = {
      {"getmail", 0, "Signed in quarrow"},
      {"device-slow", 0, "Signed in quarrow"},
      {"device-deny", 3, "the sign-in was refused"},
      {"device-expire", 3, "the code expired before it was entered"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.client);
    harness::RemoveTree(StoreFolder());
    ProcessResult run = OAuthSignIn(c.client, "quarrow", kApprove, true);
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_NE((run.out + run.err).find(c.says), std::string::npos) << run.out << run.err;
    EXPECT_NE(run.out.find(oauth->issuer() + "/device"), std::string::npos) << run.out;
    EXPECT_EQ(NothingKept(), c.status != 0);
  }
  // After slow_down the tool waited five seconds more than the one the
  // server asked for.
  std::smatch match;
  std::string stats = oauth->Stats();
  std::regex slow("\"device-slow\":\\[\\{\"at\":([0-9]+),\"answer\":\"slow_down\"\\},\\{\"at\":([0-9]+)");
  ASSERT_TRUE(std::regex_search(stats, match, slow)) << stats;
  EXPECT_GE(std::stoll(match[2].str()) - std::stoll(match[1].str()), 6000);
}

TEST_F(OAuthSignInTest, WhatTheBrowserBringsBackOtherThanAGrantKeepsNothing) {
  const int tokens = Stat("tokens");
  ProcessResult forged = OAuthSignIn("getmail", "quarrow", kForge);
  EXPECT_EQ(forged.status, 1);
  EXPECT_NE(forged.err.find("does not belong to this sign-in"), std::string::npos) << forged.err;
  forge_ = "issuer";
  ProcessResult mixedUp = OAuthSignIn("getmail", "quarrow", kForge);
  EXPECT_EQ(mixedUp.status, 1);
  EXPECT_NE(mixedUp.err.find("from another issuer"), std::string::npos) << mixedUp.err;
  ProcessResult refused = OAuthSignIn("getmail", "refuse");
  EXPECT_EQ(refused.status, 3);
  EXPECT_NE(refused.err.find("access_denied: the user said no"), std::string::npos)
      << refused.err;
  EXPECT_EQ(Stat("tokens"), tokens);
  EXPECT_TRUE(NothingKept());
  ProcessResult google = Getmail({"-signin", "-u", "a", "-s", "pop.gmail.com", "-oauth2",
                                  "-client-id", "c", "-device"});
  EXPECT_EQ(google.status, 2);
  EXPECT_NE(google.err.find("Google does not allow"), std::string::npos) << google.err;
}

// A grant the provider no longer honours ends the run with the command that
// signs in again; a token endpoint out of reach ends it before the mail
// server hears anything.
TEST_F(OAuthSignInTest, AGrantThatCannotBeUsedEndsTheRunBeforeTheMailServer) {
  harness::Pop3Tap::Options options;
  harness::Pop3Tap tap(dovecot->pop3sPort(), options);
  auto tapRun = [&] {
    std::map<std::string, std::optional<std::string>> env = dovecot->ToolEnvironment();
    env["QUARROW_GETMAIL_TIMEOUT"] = "3";
    return harness::RunProcess({GETMAIL_PATH, "-u", "quarrow", "-pw", "*", "-s", "localhost",
                                "-port", std::to_string(tap.port()), "-headersonly"},
                               folder_.path(), env);
  };
  ASSERT_EQ(OAuthSignIn("getmail").status, 0);
  ChangeKept("access_expires", "0");
  ChangeKept("token_endpoint", "\"http://127.0.0.1:1/token\"");
  ProcessResult down = tapRun();
  EXPECT_EQ(down.status, 1);
  EXPECT_NE(down.err.find("cannot reach the OAuth 2.0 endpoint http://127.0.0.1:1/token"),
            std::string::npos)
      << down.err;

  // One that takes the connection and never answers: the wait is bounded.
  int silentPort = 0;
  const int silent = harness::ListenOnLoopback(silentPort);
  ChangeKept("token_endpoint", "\"http://127.0.0.1:" + std::to_string(silentPort) + "/token\"");
  ProcessResult hung = tapRun();
  close(silent);
  EXPECT_EQ(hung.status, 1);
  EXPECT_NE(hung.err.find("cannot reach the OAuth 2.0 endpoint"), std::string::npos) << hung.err;

  ChangeKept("token_endpoint", "\"" + oauth->issuer() + "/token\"");
  ChangeKept("refresh_token", "\"void-refresh-token\"");
  ProcessResult gone = tapRun();
  EXPECT_EQ(gone.status, 3);
  EXPECT_NE(gone.err.find("(invalid_grant"), std::string::npos) << gone.err;
  EXPECT_NE(gone.err.find("sign in again with: getmail -signin -u quarrow -s localhost -port " +
                          std::to_string(dovecot->pop3sPort()) + " -oauth2 " + oauth->issuer() +
                          " -client-id getmail"),
            std::string::npos)
      << gone.err;
  EXPECT_EQ(gone.err.find("void-refresh-token"), std::string::npos);
  EXPECT_TRUE(tap.ClientBytes().empty());
  EXPECT_FALSE(harness::Exists(folder_ / "MSG1.TXT"));
}

// A token endpoint over https is trusted as the mail server is: through the
// system's CAs and QUARROW_GETMAIL_CAFILE, for the name in its address. One
// it does not trust ends the run, saying why, before the mail server hears
// anything.
TEST_F(OAuthSignInTest, AnHttpsTokenEndpointIsVerifiedLikeTheMailServer) {
  struct Case {
    const char* name;
    std::string endpoint;
    bool privateCa;  // QUARROW_GETMAIL_CAFILE names the CA of its certificate
    int status;
    std::vector<std::string> says;
  } cases[] = {
      {"a private CA not named", oauth->TlsFront(), false, 1,
       {"cannot reach the OAuth 2.0 endpoint " + oauth->TlsFront() + "/token",
        "its certificate is not trusted", "QUARROW_GETMAIL_CAFILE"}},
      {"another name than its certificate's", oauth->MismatchedTlsFront(), true, 1,
       {"cannot reach the OAuth 2.0 endpoint " + oauth->MismatchedTlsFront() + "/token",
        "its certificate is not trusted", "127.0.0.2"}},
      {"a private CA named", oauth->TlsFront(), true, 0, {}},
  };
  ASSERT_EQ(OAuthSignIn("getmail").status, 0);
  dovecot->SetMessages({"Subject: one\r\n\r\nbody\r\n"});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    harness::Pop3Tap::Options options;
    options.inspect = false;  // TLS from the start, passed on as it is
    harness::Pop3Tap tap(dovecot->pop3sPort(), options);
    ChangeKept("access_expires", "0");
    ChangeKept("token_endpoint", "\"" + c.endpoint + "/token\"");
    const std::string refreshToken = Kept("refresh_token");
    const int refreshes = Stat("refreshes");
    std::map<std::string, std::optional<std::string>> env = dovecot->ToolEnvironment();
    // The mail server is trusted all the same: it is never reached when
    // the token endpoint is not.
    if (!c.privateCa) env["QUARROW_GETMAIL_CAFILE"] = std::nullopt;
    env["QUARROW_GETMAIL_TLS_PORTS"] = std::to_string(tap.port());
    ProcessResult run = harness::RunProcess(
        {GETMAIL_PATH, "-u", "quarrow", "-pw", "*", "-s", "localhost", "-port",
         std::to_string(tap.port()), "-headersonly"},
        folder_.path(), env);
    EXPECT_EQ(run.status, c.status) << run.err;
    for (const std::string& text : c.says) {
      EXPECT_NE(run.err.find(text), std::string::npos) << text << " in " << run.err;
    }
    if (c.status != 0) {
      EXPECT_TRUE(tap.ClientBytes().empty());
      EXPECT_EQ(Stat("refreshes"), refreshes);
      EXPECT_EQ(Kept("refresh_token"), refreshToken) << "the grant is kept as it was";
    } else {
      EXPECT_EQ(Stat("refreshes"), refreshes + 1) << "refreshed through the TLS front";
      EXPECT_NE(Kept("refresh_token"), refreshToken);
      EXPECT_FALSE(tap.ClientBytes().empty());
    }
  }
}

// Two runs at once for one mailbox take turns at refreshing the grant: the
// slower one uses the refresh token the faster one kept, not the one the
// provider has just voided (which would make it revoke the whole grant).
TEST_F(OAuthSignInTest, RunsAtTheSameTimeTakeTurnsAtRefreshing) {
  ASSERT_EQ(OAuthSignIn("getmail").status, 0);
  dovecot->SetMessages({"Subject: one\r\n\r\nbody\r\n"});
  const int refreshes = Stat("refreshes");
  std::vector<std::string> argv = {
      "/bin/sh", "-c",
      "mkdir -p a b; (cd a && exec \"$0\" \"$@\") & one=$!; (cd b && exec \"$0\" \"$@\") & "
      "two=$!; wait $one; first=$?; wait $two; echo \"$first $?\"",
      GETMAIL_PATH, "-u", "quarrow", "-pw", "*", "-s", dovecot->host(), "-port",
      std::to_string(dovecot->pop3sPort()), "-headersonly"};
  ProcessResult both = harness::RunProcess(argv, folder_.path(), dovecot->ToolEnvironment());
  EXPECT_EQ(both.out, "0 0\n") << both.err;
  EXPECT_EQ(Stat("refreshes"), refreshes + 2);
  EXPECT_EQ(HeaderRun("*").status, 0) << "the grant survives";
}

TEST_F(OAuthSignInTest, SignOutRevokesTheGrant) {
  ASSERT_EQ(OAuthSignIn("getmail").status, 0);
  const int revocations = Stat("revocations");
  ProcessResult out = Getmail({"-signout", "-u", "quarrow", "-s", dovecot->host()});
  EXPECT_EQ(out.status, 0) << out.err;
  EXPECT_NE(out.out.find("the grant is revoked"), std::string::npos) << out.out;
  EXPECT_EQ(Stat("revocations"), revocations + 1);
  EXPECT_TRUE(NothingKept());
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
  // Dovecot takes the OAuth server's tokens, checked by introspection, and
  // passwords. Without node or oidc-provider only the password tests run.
  std::unique_ptr<harness::OAuthServer> oauthServer;
  std::map<std::string, std::string> settings;
  if (std::optional<std::string> why = harness::OAuthServer::Unavailable()) {
    std::cout << "getmail_signin_tests: " << *why << "; the OAuth 2.0 tests are skipped\n";
    const char* require = std::getenv("QUARROW_REQUIRE_DOVECOT");
    if (require != nullptr && std::string(require) == "1") return 1;
  } else {
    oauthServer = std::make_unique<harness::OAuthServer>();
    settings["OAUTH2_INTROSPECTION_URL"] = oauthServer->IntrospectionUrl();
  }
  harness::PrivateDovecot server(settings);
  // The TLS fronts of the OAuth server show the mail server's certificate,
  // from the same private CA.
  if (oauthServer) {
    oauthServer->UseCertificate(server.folder() + "/cert.pem", server.folder() + "/key.pem");
  }
  dovecot = &server;
  oauth = oauthServer.get();
  stateHome = &state;
  return RUN_ALL_TESTS();
}
