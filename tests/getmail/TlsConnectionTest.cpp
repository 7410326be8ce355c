// The TLS connection on this system against openssl s_server on loopback
// (tests/getmail-win32/tls-servers.sh starts them around the run): the
// OCSP answer a server staples to its certificate; and the getmail program
// against a server that echoes the sign-in, which only goes under TLS.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

#include "Files.h"
#include "Process.h"
#include "tools/getmail/Base64.h"
#include "tools/getmail/Connection.h"
#include "tools/getmail/Errors.h"
#include "tools/getmail/OAuth2.h"

namespace getmail {
namespace {

std::string FromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : value;
}

TEST(TlsConnection, RefusesACertificateThatItsStapledAnswerSaysIsRevoked) {
  const std::string folder = FromEnvironment("GETMAIL_TLS_POSIX_DIR");
  ASSERT_FALSE(folder.empty()) << "run through tls-servers.sh";
  setenv("QUARROW_GETMAIL_CAFILE", (folder + "/right-ca.pem").c_str(), 1);
  struct Case {
    const char* server;  // its port's variable
    bool revoked;
  } cases[] = {
      {"GETMAIL_TLS_PORT_LOCALHOST", false},  // nothing stapled
      {"GETMAIL_TLS_PORT_GOOD", false},
      {"GETMAIL_TLS_PORT_REVOKED", true},
      {"GETMAIL_TLS_PORT_REVOKED12", true},  // TLS 1.2
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.server);
    const int port = std::atoi(FromEnvironment(c.server).c_str());
    ASSERT_GT(port, 0);
    std::unique_ptr<Connection> connection = Connect("localhost", port, std::chrono::seconds(20));
    try {
      connection->StartTls();
      EXPECT_FALSE(c.revoked) << "a revoked certificate was taken";
      // The connection works: the server answers a line reversed.
      connection->Write("olleh\n");
      std::string answer;
      char buffer[64];
      while (answer.find('\n') == std::string::npos && answer.size() < 64) {
        answer.append(buffer, connection->ReadSome(buffer, sizeof buffer));
      }
      EXPECT_EQ(answer.substr(0, 5), "hello");
    } catch (const Error& error) {
      EXPECT_TRUE(c.revoked) << error.what();
      EXPECT_NE(std::string(error.what()).find("it has been revoked"), std::string::npos)
          << error.what();
    }
  }
  unsetenv("QUARROW_GETMAIL_CAFILE");
}

// The commanded server sends what is written to its input: here a whole
// POP3 session at once, ahead of the client's commands, whose last reply
// repeats the XOAUTH2 sign-in it was sent, access token and all.
TEST(TlsConnection, AServerThatEchoesTheTokenNeverGetsItShown) {
  const std::string folder = FromEnvironment("GETMAIL_TLS_POSIX_DIR");
  ASSERT_FALSE(folder.empty()) << "run through tls-servers.sh";
  const std::string token = "ya29.Echoed-token-0123456789abcdefghijk";
  const std::string response =
      Base64Encode(OAuthInitialResponse(OAuthMechanism::kXOAuth2, "me", token));
  const std::string session = "+OK ready\n+OK\nSASL XOAUTH2\n.\n-ERR unknown command: AUTH XOAUTH2 " +
                              response + " (" + token + ")\n";
  int input = open((folder + "/commands.in").c_str(), O_WRONLY);
  ASSERT_GE(input, 0);
  ASSERT_EQ(write(input, session.data(), session.size()), static_cast<ssize_t>(session.size()));
  close(input);
  harness::TempFolder mail("getmail-echo");
  const std::string port = FromEnvironment("GETMAIL_TLS_PORT_COMMANDED");
  harness::ProcessResult run = harness::RunProcess(
      {GETMAIL_PATH, "-u", "me", "-pw", "unused", "-s", "localhost", "-port", port, "-headersonly"},
      mail.path(),
      {{"QUARROW_GETMAIL_OAUTH2_COMMAND", "echo " + token},
       {"QUARROW_GETMAIL_CAFILE", folder + "/right-ca.pem"},
       {"QUARROW_GETMAIL_TLS_PORTS", port},
       {"QUARROW_GETMAIL_TIMEOUT", "20"}});
  int quit = open((folder + "/commands.in").c_str(), O_WRONLY);
  if (quit >= 0) {
    (void)!write(quit, "q\n", 2);  // drops the connection, for whatever comes next
    close(quit);
  }
  EXPECT_EQ(run.status, 3) << run.err;
  EXPECT_NE(run.err.find("unknown command"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("***"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("Echoed-token"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find(response.substr(20, 40)), std::string::npos) << run.err;
}

}  // namespace
}  // namespace getmail
