#include "tools/getmail/SafeName.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace getmail {
namespace {

TEST(SafeFileName, KeepsOrdinaryNamesAsTheyAre) {
  EXPECT_EQ(SafeFileName("report.pdf"), "report.pdf");
  EXPECT_EQ(SafeFileName("Grüße aus Köln.doc"), "Grüße aus Köln.doc");
  EXPECT_EQ(SafeFileName("archive.tar.gz"), "archive.tar.gz");
}

TEST(SafeFileName, DropsFolderPartsAndDots) {
  EXPECT_EQ(SafeFileName("..\\..\\windows\\system.ini"), "system.ini");
  EXPECT_EQ(SafeFileName("../../etc/passwd"), "passwd");
  EXPECT_EQ(SafeFileName("C:\\Users\\x\\a.txt"), "a.txt");
  EXPECT_EQ(SafeFileName("a..b.txt"), "a.b.txt");
  EXPECT_EQ(SafeFileName(".hidden"), "hidden");
  EXPECT_EQ(SafeFileName("name. . ."), "name");
  EXPECT_EQ(SafeFileName(".."), "");
  EXPECT_EQ(SafeFileName("dir/"), "");
  EXPECT_EQ(SafeFileName(""), "");
}

TEST(SafeFileName, ReplacesCharactersWindowsOrLinuxForbid) {
  EXPECT_EQ(SafeFileName("a:b*c?d\"e<f>g|h.txt"), "a_b_c_d_e_f_g_h.txt");
  EXPECT_EQ(SafeFileName(std::string("a\x01" "b\x7F" "c\nd.txt")), "a_b_c_d.txt");
  EXPECT_EQ(SafeFileName(std::string("tab\there.txt")), "tab here.txt");
  // Not UTF-8: each stray byte becomes "_".
  EXPECT_EQ(SafeFileName(std::string("caf\xE9.txt")), "caf_.txt");
  // A right-to-left override would show "exe.txt" as "txt.exe".
  EXPECT_EQ(SafeFileName("photo\u202Etxt.exe"), "photo_txt.exe");
}

TEST(SafeFileName, DefusesWindowsDeviceNamesWhateverMadeThem) {
  const std::string blanks(200, ' ');
  const struct {
    std::string raw, safe;
  } cases[] = {
      {"CON", "_CON"},
      {"nul.txt", "_nul.txt"},
      {"com1.log", "_com1.log"},
      {"COM0", "_COM0"},
      {"lpt0.txt", "_lpt0.txt"},
      {"LPT9", "_LPT9"},
      {"COM\u00B9.txt", "_COM\u00B9.txt"},  // superscript one
      {"lpt\u00B2", "_lpt\u00B2"},
      {"LPT\u00B3.doc", "_LPT\u00B3.doc"},
      {"CONIN$", "_CONIN$"},
      {"conout$.log", "_conout$.log"},
      {"AUX .txt", "_AUX .txt"},
      {"prn.tar.gz", "_prn.tar.gz"},
      {"  NUL.txt", "_NUL.txt"},  // blanks trimmed first
      // Cutting the long name leaves "CON.txt": checked after the cut.
      {"CON" + blanks + "x.txt", "_CON.txt"},
      {"aux" + blanks + "y", "_aux"},
      // Not devices.
      {"console.txt", "console.txt"},
      {"COM10", "COM10"},
      {"LPT", "LPT"},
      {"COM\u2074", "COM\u2074"},  // superscript four
      {"CONIN", "CONIN"},
      {"x.CON", "x.CON"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SafeFileName(c.raw), c.safe) << "[" << c.raw << "]";
    EXPECT_FALSE(IsWindowsDeviceName(SafeFileName(c.raw))) << c.raw;
  }
}

TEST(SafeFileName, CutsLongNamesKeepingTheExtension) {
  std::string name = SafeFileName(std::string(300, 'a') + ".pdf");
  EXPECT_LE(name.size(), 180u);
  EXPECT_EQ(name.substr(name.size() - 4), ".pdf");
  // Never inside a UTF-8 sequence.
  std::string umlauts;
  for (int i = 0; i < 150; ++i) umlauts += "ü";
  std::string cut = SafeFileName(umlauts + ".txt");
  EXPECT_LE(cut.size(), 180u);
  EXPECT_EQ(cut.substr(cut.size() - 4), ".txt");
  EXPECT_EQ((cut.size() - 4) % 2, 0u);
}

TEST(ExtensionForType, KnowsCommonTypesAndFallsBack) {
  EXPECT_EQ(ExtensionForType("application/pdf"), ".pdf");
  EXPECT_EQ(ExtensionForType("IMAGE/JPEG"), ".jpg");
  EXPECT_EQ(ExtensionForType("message/rfc822"), ".eml");
  EXPECT_EQ(ExtensionForType("text/x-unknown"), ".txt");
  EXPECT_EQ(ExtensionForType("application/x-unknown"), ".bin");
}

TEST(NameBook, NumbersRepeatedNamesBeforeTheExtension) {
  NameBook book("Extract3-");
  EXPECT_EQ(book.Claim("a.txt"), "Extract3-a.txt");
  EXPECT_EQ(book.Claim("A.TXT"), "Extract3-A-2.TXT");  // same name on Windows
  EXPECT_EQ(book.Claim("a.txt"), "Extract3-a-3.txt");
  EXPECT_EQ(book.Claim("a-2.txt"), "Extract3-a-2-2.txt");
  EXPECT_EQ(book.Claim("noext"), "Extract3-noext");
  EXPECT_EQ(book.Claim("noext"), "Extract3-noext-2");
}

TEST(NameBook, NeverHandsOutAReservedName) {
  NameBook book("MSG");
  book.Reserve("msg4.txt");
  EXPECT_EQ(book.Claim("4.TXT"), "MSG4-2.TXT");
}

TEST(NameBook, ManyPartsOfOneNameEachGetTheNextFreeNumber) {
  NameBook book("E-");
  book.Reserve("e-a-3.txt");
  book.Reserve("E-A-5.TXT");
  EXPECT_EQ(book.Claim("a.txt"), "E-a.txt");
  std::vector<std::string> expected;
  for (int k = 2; k <= 3000; ++k) {
    if (k != 3 && k != 5) expected.push_back("E-a-" + std::to_string(k) + ".txt");
  }
  std::vector<std::string> claimed;
  for (std::size_t n = 0; n < expected.size(); ++n) claimed.push_back(book.Claim("a.txt"));
  EXPECT_EQ(claimed, expected);
  // A name claimed as given since is skipped too; other stems are apart.
  EXPECT_EQ(book.Claim("a-3001.txt"), "E-a-3001.txt");
  EXPECT_EQ(book.Claim("a.txt"), "E-a-3002.txt");
  EXPECT_EQ(book.Claim("a.pdf"), "E-a.pdf");
  EXPECT_EQ(book.Claim("a.pdf"), "E-a-2.pdf");
}

TEST(NameBook, APrefixAndANameNeverMakeADeviceName) {
  NameBook book("CO");
  EXPECT_EQ(book.Claim("N.txt"), "CO_N.txt");
  EXPECT_EQ(book.Claim("M1"), "CO_M1");
  EXPECT_EQ(book.Claim("py.txt"), "COpy.txt");
}

}  // namespace
}  // namespace getmail
