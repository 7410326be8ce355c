// Header files in a locale whose character set is not UTF-8: a Latin-1
// locale is compiled into the test's own folder with localedef.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>

#include "LayerFixture.h"

namespace quarrow::posix::testing {
namespace {

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
