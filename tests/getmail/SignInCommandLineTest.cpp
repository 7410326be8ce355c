#include <gtest/gtest.h>

#include "tools/getmail/SignInCommandLine.h"

namespace {

using getmail::SignInRequest;

std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::size_t start = 0;
  while (start <= line.size()) {
    std::size_t end = line.find(' ', start);
    if (end == std::string::npos) end = line.size();
    words.push_back(line.substr(start, end - start));
    start = end + 1;
  }
  return words;
}

TEST(SignInCommandLineTest, OnlyAFirstWordMakesASignInCommand) {
  EXPECT_TRUE(getmail::IsSignInCommand(Words("-signins")));
  EXPECT_TRUE(getmail::IsSignInCommand(Words("-signout -u a -s b")));
  EXPECT_FALSE(getmail::IsSignInCommand(Words("-u a -pw -signin -s b -port 1 -headersonly")));
  EXPECT_FALSE(getmail::IsSignInCommand({}));
}

TEST(SignInCommandLineTest, GoodCommandsAreRead) {
  struct Case {
    const char* line;
    SignInRequest::Action action;
    int port;
    bool oauth2;
    const char* provider;
    bool device;
  } cases[] = {
      {"-signins", SignInRequest::Action::kList, 995, false, "", false},
      {"-signin -u a -s b", SignInRequest::Action::kSignIn, 995, false, "", false},
      {"-signin -s b -port 110 -u a", SignInRequest::Action::kSignIn, 110, false, "", false},
      {"-signin -u a -s b -oauth2", SignInRequest::Action::kSignIn, 995, true, "", false},
      {"-signin -u a -s b -oauth2 -device", SignInRequest::Action::kSignIn, 995, true, "", true},
      {"-signin -u a -s b -oauth2 google -client-id c -client-secret d",
       SignInRequest::Action::kSignIn, 995, true, "google", false},
      {"-signin -u a -s b -oauth2 https://id.example/ -tenant t",
       SignInRequest::Action::kSignIn, 995, true, "https://id.example/", false},
      {"-signout -u a -s b", SignInRequest::Action::kSignOut, 995, false, "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    std::string error;
    std::optional<SignInRequest> request = getmail::ParseSignInCommand(Words(c.line), error);
    ASSERT_TRUE(request) << error;
    EXPECT_EQ(request->action, c.action);
    EXPECT_EQ(request->port, c.port);
    EXPECT_EQ(request->oauth2, c.oauth2);
    EXPECT_EQ(request->provider, c.provider);
    EXPECT_EQ(request->device, c.device);
    if (c.action != SignInRequest::Action::kList) {
      EXPECT_EQ(request->login, "a");
      EXPECT_EQ(request->server, "b");
    }
  }
}

TEST(SignInCommandLineTest, BadCommandsSayWhatIsWrong) {
  struct Case {
    std::string line;
    const char* says;
  } cases[] = {
      {"-signins -u a", "-signins takes no options"},
      {"-signin -u a", "option -s is missing"},
      {"-signin -s b -u", "option -u needs a value"},
      {"-signin -u a -s b -u c", "option -u given twice"},
      {"-signin -u a -s b -port 0", "the port must be"},
      {"-signin -u a -s b -port 65536", "the port must be"},
      {"-signin -u a -s b -port 9x", "the port must be"},
      {"-signin -u a -s b -pw c", "unknown option '-pw'"},
      {"-signin -u a -s b -device", "option -device needs -oauth2"},
      {"-signin -u a -s b -client-id c", "option -client-id needs -oauth2"},
      {"-signout -u a -s b -port 995", "-signout takes only -u and -s"},
      {"-signin -u " + std::string(400, 'a') + " -s b", "the value of -u is too long"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line.substr(0, 60));
    std::string error;
    EXPECT_FALSE(getmail::ParseSignInCommand(Words(c.line), error));
    EXPECT_NE(error.find(c.says), std::string::npos) << error;
  }
}

}  // namespace
