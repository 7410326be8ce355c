// OAuth 2.0 sign-in pieces: the SASL messages and the server's refusal.
#include <gtest/gtest.h>
#include <string>

#include "tools/getmail/Base64.h"
#include "tools/getmail/OAuth2.h"

namespace getmail {
namespace {

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
      {R"({"status":"a\u0000b\"c\r\n"})", "a?b\"c??", ""},
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

}  // namespace
}  // namespace getmail
