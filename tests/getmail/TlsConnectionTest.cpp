// The TLS connection on this system against openssl s_server on loopback
// (tests/getmail-win32/tls-servers.sh starts them around the run): the
// OCSP answer a server staples to its certificate.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

#include "tools/getmail/Connection.h"
#include "tools/getmail/Errors.h"

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

}  // namespace
}  // namespace getmail
