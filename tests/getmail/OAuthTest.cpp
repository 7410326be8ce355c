// Signing in with an OAuth 2.0 access token from a token command, against
// private Dovecots that check tokens with a loopback introspection endpoint.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <memory>

#include "Corpus.h"
#include "Files.h"
#include "TokenCheckEndpoint.h"
#include "Pop3Tap.h"
#include "PrivateDovecot.h"
#include "Process.h"

namespace {

using harness::ProcessResult;

const std::string kGoodToken = "ya29.good-token-4711";

harness::TokenCheckEndpoint* introspection = nullptr;
harness::PrivateDovecot* bothMechanisms = nullptr;  // OAUTHBEARER and XOAUTH2
harness::PrivateDovecot* xoauth2Only = nullptr;
harness::PrivateDovecot* passwordsOnly = nullptr;

std::string DovecotLog(const harness::PrivateDovecot& server) {
  return harness::ReadFile(server.folder() + "/dovecot.log");
}

class OAuthTest : public ::testing::Test {
 protected:
  harness::TempFolder folder{"getmail-oauth"};

  // A header run on the server's STLS port, signing in with what `command`
  // prints; the password is a placeholder.
  ProcessResult HeaderRun(const harness::PrivateDovecot& server, const std::string& command,
                          std::map<std::string, std::optional<std::string>> env = {},
                          int port = 0) {
    std::map<std::string, std::optional<std::string>> environment = server.ToolEnvironment();
    environment["QUARROW_GETMAIL_OAUTH2_COMMAND"] = command;
    for (auto& [name, value] : env) environment[name] = value;
    return harness::RunProcess(
        {GETMAIL_PATH, "-u", server.user(), "-pw", "unused", "-s", server.host(), "-port",
         std::to_string(port != 0 ? port : server.pop3Port()), "-headersonly"},
        folder.path(), environment);
  }
  bool WroteHeaders() { return access((folder / "MSG1.TXT").c_str(), F_OK) == 0; }
};

// Over POP3 (STLS) and over IMAP (STARTTLS; the initial response with the
// command, SASL-IR).
TEST_F(OAuthTest, AGoodTokenSignsInWithTheBestMechanismOffered) {
  for (bool imap : {false, true}) {
    for (harness::PrivateDovecot* server : {bothMechanisms, xoauth2Only}) {
      const std::string mechanism = server == bothMechanisms ? "OAUTHBEARER" : "XOAUTH2";
      SCOPED_TRACE(mechanism + (imap ? " over IMAP" : " over POP3"));
      server->SetMessages({"Subject: one\r\n\r\nbody\r\n"});
      const std::size_t logged = DovecotLog(*server).size();
      ProcessResult run =
          imap ? HeaderRun(*server, "echo " + kGoodToken, {{"QUARROW_GETMAIL_PROTOCOL", "imap"}},
                           server->imapPort())
               : HeaderRun(*server, "echo " + kGoodToken);
      ASSERT_EQ(run.status, 0) << run.err;
      EXPECT_TRUE(WroteHeaders());
      const std::string log = DovecotLog(*server).substr(logged);
      EXPECT_NE(log.find((imap ? "imap-login: Info: Login: " : "pop3-login: Info: Login: ")),
                std::string::npos)
          << log;
      EXPECT_NE(log.find("method=" + mechanism), std::string::npos) << log;
      unlink((folder / "MSG1.TXT").c_str());
    }
  }
}

TEST_F(OAuthTest, ARefusedTokenShowsTheServersStatusButNeverTheToken) {
  const std::string badToken = "ya29.expired-0815";
  struct Case {
    harness::PrivateDovecot* server;
    const char* says;
  } cases[] = {{bothMechanisms, "OAUTHBEARER: status invalid_token"},
               {xoauth2Only, "XOAUTH2: status 401, scope"}};
  for (bool imap : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.says) + (imap ? " over IMAP" : " over POP3"));
      int asked = introspection->asked();
      ProcessResult run =
          imap ? HeaderRun(*c.server, "echo " + badToken, {{"QUARROW_GETMAIL_PROTOCOL", "imap"}},
                           c.server->imapPort())
               : HeaderRun(*c.server, "echo " + badToken);
      EXPECT_EQ(run.status, 3) << run.err;
      EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
      EXPECT_EQ(run.err.find(badToken), std::string::npos) << run.err;
      EXPECT_EQ(introspection->asked(), asked + 1);
      EXPECT_FALSE(WroteHeaders());
    }
  }
}

// Whatever keeps a token from being sent safely ends the run before anything
// reaches the server: the password is never tried instead.
TEST_F(OAuthTest, NothingIsSentWithoutAGoodTokenOrWithoutTls) {
  harness::Pop3Tap::Options hideStls;  // hides STLS by default
  harness::Pop3Tap tap(bothMechanisms->pop3Port(), hideStls);
  struct Case {
    const char* what;
    harness::PrivateDovecot* server;
    std::string command;
    int port;
    const char* says;
  } cases[] = {
      {"failing command", bothMechanisms, "echo oops >&2; exit 4", 0, "exit status 4"},
      {"hanging command", bothMechanisms, "sleep 60", 0, "did not end in time"},
      {"silent command", bothMechanisms, "true", 0, "printed no access token"},
      {"no mechanism", passwordsOnly, "echo " + kGoodToken, 0, "offers no OAuth 2.0"},
      {"no TLS", bothMechanisms, "echo " + kGoodToken, tap.port(), "only under TLS"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    int asked = introspection->asked();
    ProcessResult run = HeaderRun(*c.server, c.command,
                                  {{"QUARROW_GETMAIL_TIMEOUT", "2"},
                                   {"QUARROW_GETMAIL_PLAINTEXT", "allow"}},
                                  c.port);
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find(kGoodToken), std::string::npos) << run.err;
    EXPECT_EQ(introspection->asked(), asked);
    EXPECT_FALSE(WroteHeaders());
  }
  EXPECT_EQ(tap.Count("AUTH"), 0);
  EXPECT_EQ(tap.Count("USER"), 0);
  EXPECT_EQ(tap.ClientBytes().find(kGoodToken), std::string::npos);
}

// The whole job as a user runs it: quarrow in batch mode with the real tool,
// over STLS, signing in with the token.
TEST_F(OAuthTest, QuarrowFetchesMailWithAToken) {
  bothMechanisms->SetMessages({"Subject: Velbrin report\r\n\r\nfirst\r\n",
                               "Subject: lunch\r\n\r\nsecond\r\n"});
  mkdir((folder / "job").c_str(), 0755);
  std::map<std::string, std::optional<std::string>> env = bothMechanisms->ToolEnvironment();
  env["QUARROW_HEADLESS"] = "1";
  env["QUARROW_DRIVE_D"] = folder.path();
  env["QUARROW_GETMAIL_OAUTH2_COMMAND"] = "echo " + kGoodToken;
  ProcessResult run = harness::RunProcess(
      {QUARROW_PATH, "/" + bothMechanisms->user() + "/-/" + bothMechanisms->host() + "/" +
                         std::to_string(bothMechanisms->pop3Port()) + "/Velbrin/d:\\job"},
      folder.path(), env, 300);
  ASSERT_EQ(run.status, 0) << run.err;
  std::vector<std::string> left = bothMechanisms->Messages();
  ASSERT_EQ(left.size(), 1u);
  EXPECT_NE(left[0].find("lunch"), std::string::npos);
  int results = 0;
  for (const std::string& name : harness::ListFolder(folder / "job")) {
    if (name.size() > 4 && name.substr(name.size() - 4) == ".vch") {
      ++results;
      EXPECT_NE(harness::ReadFile(folder / ("job/" + name)).find("first"), std::string::npos);
    }
  }
  EXPECT_EQ(results, 1);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (std::optional<std::string> why = harness::PrivateDovecot::Unavailable()) {
    std::cout << "getmail_oauth_tests: " << *why << "\n";
    const char* require = std::getenv("QUARROW_REQUIRE_DOVECOT");
    return require != nullptr && std::string(require) == "1" ? 1 : 77;
  }
  harness::TokenCheckEndpoint endpoint(kGoodToken, "quarrow");
  harness::PrivateDovecot both({{"OAUTH2_INTROSPECTION_URL", endpoint.url()}});
  harness::PrivateDovecot xoauth2({{"OAUTH2_INTROSPECTION_URL", endpoint.url()},
                                   {"OAUTH2_MECHANISMS", "xoauth2"}});
  harness::PrivateDovecot passwords;
  introspection = &endpoint;
  bothMechanisms = &both;
  xoauth2Only = &xoauth2;
  passwordsOnly = &passwords;
  return RUN_ALL_TESTS();
}
