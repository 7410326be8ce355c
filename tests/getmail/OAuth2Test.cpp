// OAuth 2.0 sign-in pieces: the SASL messages, the server's refusal, and the
// token command.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>

#include "tools/getmail/Base64.h"
#include "tools/getmail/Errors.h"
#include "tools/getmail/OAuth2.h"
#include "tools/getmail/TokenCommand.h"

namespace getmail {
namespace {

using namespace std::chrono_literals;

TEST(Base64, RoundTripsAndRejectsWhatIsNotBase64) {
  for (std::string data : {std::string(), std::string("a"), std::string("ab"),
                           std::string("abc"), std::string("\x01\xff\0z", 4)}) {
    EXPECT_EQ(Base64Decode(Base64Encode(data)), data);
  }
  EXPECT_EQ(Base64Encode("\x01"), "AQ==");
  EXPECT_EQ(Base64Decode("eyJzdGF0dXMiOiI0MDEifQ"), "{\"status\":\"401\"}");
  EXPECT_FALSE(Base64Decode("ab c"));
  EXPECT_FALSE(Base64Decode("a"));
}

TEST(OAuth2, InitialResponsesCarryLoginAndToken) {
  EXPECT_EQ(OAuthInitialResponse(OAuthMechanism::kOAuthBearer, "a,b=c@x", "tok"),
            "n,a=a=2Cb=3Dc@x,\x01" "auth=Bearer tok\x01\x01");
  EXPECT_EQ(OAuthInitialResponse(OAuthMechanism::kXOAuth2, "me@x", "tok"),
            "user=me@x\x01" "auth=Bearer tok\x01\x01");
}

TEST(OAuth2, ReadsTheRefusalAndNothingElse) {
  struct Case {
    const char* json;
    const char* status;
    const char* scope;
  } cases[] = {
      {R"({"status":"invalid_token"})", "invalid_token", ""},
      {R"({"status":"401","schemes":"bearer","scope":"https://mail.google.com/"})",
       "401", "https://mail.google.com/"},
      {R"( { "n": [1, {"status":"x"}], "status" : "400" } )", "400", ""},
      {R"({"status":"a\u0000b\"c\r\n"})", "a?b\"c", ""},
      {"not json", "", ""},
      {R"({"status":)", "", ""},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    OAuthRefusal refusal = ParseOAuthRefusal(c.json);
    EXPECT_EQ(refusal.status, c.status) << c.json;
    EXPECT_EQ(refusal.scope, c.scope) << c.json;
  }
}

TEST(TokenCommand, TakesTheTrimmedOutputWithTheLoginInItsEnvironment) {
  EXPECT_EQ(RunTokenCommand("printf '  tok-%s\\r\\n\\n' \"$QUARROW_GETMAIL_LOGIN\"",
                            "me@example.com", 20s),
            "tok-me@example.com");
}

TEST(TokenCommand, RefusesEveryOutputThatIsNotOneToken) {
  struct Case {
    const char* command;
    const char* says;
  } cases[] = {
      {"exit 3", "exit status 3"},
      {"echo tok; exit 1", "exit status 1"},
      {"kill -9 $$", "signal"},
      {"true", "printed no access token"},
      {"printf 'tok\\r\\nDELE 1\\r\\n'", "more than one word"},
      {"head -c 100000 /dev/zero | tr '\\0' a", "far more"},
      {"/nonexistent/token-helper", "exit status 127"},
  };
  for (const Case& c : cases) {
    try {
      RunTokenCommand(c.command, "me", 20s);
      ADD_FAILURE() << c.command << " gave a token";
    } catch (const Error& error) {
      EXPECT_NE(std::string(error.what()).find(c.says), std::string::npos)
          << c.command << ": " << error.what();
      EXPECT_NE(std::string(error.what()).find(kOAuthCommandVariable), std::string::npos);
    }
  }
}

// A command that does not end, or leaves something running, is stopped with
// everything it started.
TEST(TokenCommand, StopsWhatItStarted) {
  char folder[] = "/tmp/token-command-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string pidFile = std::string(folder) + "/pid";
  const std::string record = "sh -c 'echo $$ > " + pidFile + "; exec sleep 60' ";
  for (const std::string& command :
       {record + "& wait", record + "& echo tok"}) {
    unlink(pidFile.c_str());
    try {
      std::string token = RunTokenCommand(command, "me", 1500ms);
      EXPECT_EQ(token, "tok") << command;
    } catch (const Error& error) {
      EXPECT_NE(std::string(error.what()).find("did not end in time"), std::string::npos)
          << command << ": " << error.what();
    }
    pid_t left = 0;
    std::ifstream(pidFile) >> left;
    ASSERT_GT(left, 0) << command;
    // SIGKILL went to the group: the process is gone, or a zombie waiting
    // for a parent that reaps it.
    bool gone = false;
    for (int i = 0; i < 200 && !gone; ++i) {
      std::string state;
      std::ifstream("/proc/" + std::to_string(left) + "/stat") >> state >> state >> state;
      gone = state.empty() || state == "Z";
      if (!gone) usleep(50 * 1000);
    }
    EXPECT_TRUE(gone) << command << " left process " << left << " running";
  }
  unlink(pidFile.c_str());
  rmdir(folder);
}

}  // namespace
}  // namespace getmail
