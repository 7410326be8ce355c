#include "tools/getmail/SafeName.h"

#include <gtest/gtest.h>

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

TEST(SafeFileName, DefusesWindowsDeviceNames) {
  EXPECT_EQ(SafeFileName("CON"), "_CON");
  EXPECT_EQ(SafeFileName("nul.txt"), "_nul.txt");
  EXPECT_EQ(SafeFileName("com1.log"), "_com1.log");
  EXPECT_EQ(SafeFileName("console.txt"), "console.txt");
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

}  // namespace
}  // namespace getmail
