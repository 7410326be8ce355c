// A server's words as the user sees them: no secret the tool has sent comes
// back in them, as it stands or in base64, whatever the server wraps it in.
#include "tools/getmail/ServerText.h"

#include <gtest/gtest.h>

#include <string>

#include "tools/getmail/Base64.h"
#include "tools/getmail/OAuth2.h"

namespace getmail {
namespace {

const std::string kPassword = "Secr3tPw";
const std::string kToken = "ya29.a0AfH6SMBx-40-bytes-of-token_0123456";  // 40 bytes

// Whether any 6 bytes in a row of `secret` can be read in `shown`: as they
// stand, or decoded from any run of base64 characters in it, at any of the
// four places a group of four may start.
bool Recoverable(const std::string& shown, const std::string& secret) {
  auto holdsPart = [&secret](const std::string& text) {
    for (std::size_t at = 0; at + 6 <= secret.size(); ++at) {
      if (text.find(secret.substr(at, 6)) != std::string::npos) return true;
    }
    return false;
  };
  if (holdsPart(shown)) return true;
  const std::string alphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (std::size_t start = shown.find_first_of(alphabet); start != std::string::npos;) {
    std::size_t end = shown.find_first_not_of(alphabet, start);
    std::string run = shown.substr(start, end == std::string::npos ? end : end - start);
    for (std::size_t skip = 0; skip < 4 && skip < run.size(); ++skip) {
      std::string part = run.substr(skip);
      part.resize(part.size() / 4 * 4);
      std::optional<std::string> decoded = Base64Decode(part);
      if (decoded && holdsPart(*decoded)) return true;
    }
    if (end == std::string::npos) break;
    start = shown.find_first_of(alphabet, end);
  }
  return false;
}

class ServerTextTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    KeepSecret(kPassword);
    KeepSecret(kToken);
    KeepSecret("");  // no password: nothing to mask, nothing masked
  }
};

TEST_F(ServerTextTest, NoSecretComesBackInWhatIsShown) {
  const std::string plain = Base64Encode(std::string("\0me\0", 4) + kPassword);
  KeepSecretBase64(plain);
  struct Case {
    const char* name;
    std::string text;
    const std::string& secret;
  } cases[] = {
      {"PASS echoed", "unknown command: PASS " + kPassword, kPassword},
      {"echoed twice, upper-cased", "PASS SECR3TPW? I said PASS " + kPassword, kPassword},
      {"AUTH PLAIN echoed", "unknown command: AUTH PLAIN " + plain, kPassword},
      {"PLAIN decoded", "bad response [" + std::string("\0me\0", 4) + kPassword + "]", kPassword},
      {"the token", "invalid token " + kToken, kToken},
      {"the token past the cut", std::string(100, '.') + kToken, kToken},
      {"XOAUTH2 echoed",
       "AUTH XOAUTH2 " +
           Base64Encode(OAuthInitialResponse(OAuthMechanism::kXOAuth2, "me", kToken)),
       kToken},
      {"OAUTHBEARER echoed, another login",
       Base64Encode(OAuthInitialResponse(OAuthMechanism::kOAuthBearer, "anna@x", kToken)),
       kToken},
      {"the token in base64 after one byte", Base64Encode("x" + kToken), kToken},
      {"the token in base64 after two bytes", Base64Encode("xy" + kToken + "z"), kToken},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(Recoverable(c.text, c.secret));  // the case holds what it should
    std::string shown = Shown(c.text);
    EXPECT_FALSE(Recoverable(shown, c.secret)) << shown;
    EXPECT_NE(shown.find("***"), std::string::npos) << shown;
    EXPECT_FALSE(Recoverable(WithoutSecrets(c.text), c.secret));
  }
}

TEST_F(ServerTextTest, OtherTextIsShownAsItStands) {
  EXPECT_EQ(Shown("unknown command: PASS"), "unknown command: PASS");
  EXPECT_EQ(Shown("line\r\nforged\x7f"), "line??forged?");
  EXPECT_EQ(Shown(std::string(200, 'a')), std::string(120, 'a'));
  // The last resort before a message is shown leaves short secrets alone,
  // which would mask our own words.
  KeepSecret("pop");
  EXPECT_EQ(WithoutSecrets("the pop server", 6), "the pop server");
  EXPECT_EQ(WithoutSecrets("the pop server"), "the *** server");
}

}  // namespace
}  // namespace getmail
