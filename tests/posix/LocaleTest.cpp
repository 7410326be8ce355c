// Header files in the C locale, as cron runs the program, and in a locale
// whose character set is not UTF-8: a Latin-1 locale is compiled into the
// test's own folder with localedef.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>

#include "LayerFixture.h"

namespace quarrow::posix::testing {
namespace {

// In the C locale text is read as UTF-8, so it is upper-cased by Unicode's
// simple case mapping, which leaves "ß" as it is.
using CLocale = LayerTest;

TEST_F(CLocale, ReadsAndUpperCasesUnicode) {
  ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
  tmp.Folder("c/mail");
  const auto p = Make();
  p->SelectDrive(L'c');
  p->ChangeFolder(L"c:\\mail");
  tmp.File("c/mail/MSG1.TXT", "Subject: caf\xC3\xA9 \xD0\xBF\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");
  const auto reader = p->OpenTextFile(L"MSG1.TXT");
  Text record;
  while (reader->ReadMore(record)) {
  }
  EXPECT_EQ(p->UpperCase(record), L"SUBJECT: CAF\u00C9 \u041F\u0420\u0418\u0412\u0415\u0422");
  EXPECT_EQ(p->UpperCase(L"stra\u00DFe \u01C6 \u1FB3"),
            L"STRA\u00DFE \u01C4 \u1FBC");
}

class Latin1Locale : public LayerTest {
 protected:
  void SetUp() override {
    const std::string locales = tmp.Folder("locales");
    const std::string command = "localedef -i de_DE -f ISO-8859-1 '" +
                                locales + "/de_DE.ISO-8859-1' 2>/dev/null";
    if (std::system(command.c_str()) != 0)
      GTEST_SKIP() << "localedef cannot build de_DE.ISO-8859-1 here";
    ::setenv("LOCPATH", locales.c_str(), 1);
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.ISO-8859-1"), nullptr);
    tmp.Folder("c/mail");
    p = Make();
    p->SelectDrive(L'c');
    p->ChangeFolder(L"c:\\mail");
  }
  void TearDown() override {
    std::setlocale(LC_ALL, "C");
    ::unsetenv("LOCPATH");
  }

  std::unique_ptr<PosixPlatform> p;
};

TEST_F(Latin1Locale, BytesAreReadInTheLocalesCharacterSet) {
  // In UTF-8 these bytes would not decode as "ü" and "ß".
  tmp.File("c/mail/MSG1.TXT", "Subject: Gr\xFC\xDF" "e, \xC3\xA9\r\n");
  const auto reader = p->OpenTextFile(L"MSG1.TXT");
  Text all;
  while (reader->ReadMore(all)) {
  }
  EXPECT_EQ(all, L"Subject: Gr\u00FC\u00DF" L"e, \u00C3\u00A9\r\n");
}

TEST_F(Latin1Locale, UpperCasingFollowsTheLocale) {
  EXPECT_EQ(p->UpperCase(L"gr\u00FC\u00DFe \u00E9t\u00E9"),
            L"GR\u00DC\u00DF" L"E \u00C9T\u00C9");
}

}  // namespace
}  // namespace quarrow::posix::testing
