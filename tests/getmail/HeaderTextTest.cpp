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

TEST_F(HeaderTextTest, KeepsLinesThatAreNoFieldsAsTheyAre) {
  EXPECT_EQ(HeaderText("From someone Sun Jan 28\r\nX: =?UTF-8?Q?=C3=BC?=\r\n"),
            "From someone Sun Jan 28\r\nX: ü\r\n");
  EXPECT_EQ(HeaderText(""), "");
}

}  // namespace
}  // namespace getmail
