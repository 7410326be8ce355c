#include "tools/getmail/HeaderText.h"

#include <gmime/gmime.h>
#include <gtest/gtest.h>

namespace getmail {
namespace {

class HeaderTextTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { g_mime_init(); }
};

TEST_F(HeaderTextTest, UnfoldsFieldsIntoOneLineEach) {
  EXPECT_EQ(HeaderText("Subject: Minutes of the\r\n\tmonthly\r\n  meeting\r\nTo: bob@x\r\n"),
            "Subject: Minutes of the monthly  meeting\r\nTo: bob@x\r\n");
  // Bare LF line ends too; the file always gets CRLF.
  EXPECT_EQ(HeaderText("A: 1\nB: 2\n 3\n"), "A: 1\r\nB: 2 3\r\n");
}

TEST_F(HeaderTextTest, DecodesEncodedWordsToUtf8) {
  EXPECT_EQ(HeaderText("Subject: =?UTF-8?Q?Gr=C3=BC=C3=9Fe?=\r\n =?UTF-8?Q?_aus_Velbrin?=\r\n"),
            "Subject: Grüße aus Velbrin\r\n");
  EXPECT_EQ(HeaderText("Subject: =?ISO-8859-1?B?Q2Fm6Q==?= ok\r\n"), "Subject: Café ok\r\n");
  EXPECT_EQ(HeaderText("From: =?utf-8?q?J=C3=BCrgen?= <j@example.org>\r\n"),
            "From: Jürgen <j@example.org>\r\n");
}

TEST_F(HeaderTextTest, ConvertsRawLatin1ToUtf8) {
  EXPECT_EQ(HeaderText("Subject: caf\xE9\r\n"), "Subject: café\r\n");
}

TEST_F(HeaderTextTest, DecodedLineBreaksCannotStartNewLines) {
  EXPECT_EQ(HeaderText("Subject: =?UTF-8?Q?a=0D=0AX-Fake:_b?=\r\n"),
            "Subject: a  X-Fake: b\r\n");
}

TEST_F(HeaderTextTest, NulAndStrayCarriageReturnsBecomeBlanks) {
  using namespace std::string_literals;
  // A NUL would cut the text short for a reader; a lone CR ends a line for
  // Quarrow, which could then see a field the message does not have.
  EXPECT_EQ(HeaderText("Subject: a\0b\rSubject: Velbrin\r\nTo: x\r\n"s),
            "Subject: a b Subject: Velbrin\r\nTo: x\r\n");
  EXPECT_EQ(HeaderText("Subject: =?UTF-8?Q?caf=C3=A9?= \0x\r\n"s), "Subject: café  x\r\n");
  EXPECT_EQ(HeaderText("Subject: caf\xE9\0\r\n"s), "Subject: café \r\n");
  EXPECT_EQ(HeaderText("From x\0y\r\n"s), "From x y\r\n");
}

TEST_F(HeaderTextTest, KeepsLinesThatAreNoFieldsAsTheyAre) {
  EXPECT_EQ(HeaderText("From someone Sun Jan 28\r\nX: =?UTF-8?Q?=C3=BC?=\r\n"),
            "From someone Sun Jan 28\r\nX: ü\r\n");
  EXPECT_EQ(HeaderText(""), "");
}

TEST_F(HeaderTextTest, TheHeaderPartEndsAtTheFirstEmptyLine) {
  EXPECT_EQ(HeaderPart("A: 1\r\nB: 2\r\n\r\nBody\r\n\r\nMore\r\n"), "A: 1\r\nB: 2\r\n");
  EXPECT_EQ(HeaderPart("A: 1\nB: 2\n\nBody\n"), "A: 1\nB: 2\n");
  EXPECT_EQ(HeaderPart("A: 1\r\nB: 2\r\n"), "A: 1\r\nB: 2\r\n");  // no body
  EXPECT_EQ(HeaderPart("\r\nBody\r\n"), "");
}

TEST_F(HeaderTextTest, FingerprintsTellHeadersApart) {
  const std::string a = "Message-ID: <1@x>\r\nSubject: s\r\n";
  const std::string b = "Message-ID: <2@x>\r\nSubject: s\r\n";
  EXPECT_EQ(HeaderFingerprint(a), HeaderFingerprint(std::string(a)));
  EXPECT_EQ(HeaderFingerprint(a).size(), 16u);
  EXPECT_NE(HeaderFingerprint(a), HeaderFingerprint(b));
  EXPECT_NE(HeaderFingerprint(a), HeaderFingerprint(a.substr(0, a.size() - 1)));
  EXPECT_NE(HeaderFingerprint(""), HeaderFingerprint(std::string(1, '\0')));
  // What TOP n 0 and RETR n give of one message prints the same.
  const std::string message = a + "\r\nBody\r\n";
  EXPECT_EQ(HeaderFingerprint(HeaderPart(a + "\r\n")), HeaderFingerprint(HeaderPart(message)));
}

}  // namespace
}  // namespace getmail
