// Reading 8-bit text in the system's code page. The tests run twice under
// Wine: with code page 1252 (en_US) and with the double-byte code page 932
// (ja_JP); each test checks the code page it needs.
#include <gtest/gtest.h>

#include "ScratchFolder.h"
#include "platform/win32/CodePageReader.h"

namespace quarrow::win32 {
namespace {

using testing::ScratchFolder;

// Every piece the reader hands out, read from a file holding `bytes`.
std::vector<Text> Pieces(const std::string& bytes, size_t pieceBytes) {
  ScratchFolder folder;
  folder.Write(L"MSG1.TXT", bytes);
  auto reader = OpenCodePageFile(folder / L"MSG1.TXT", pieceBytes);
  std::vector<Text> pieces;
  Text piece;
  while (reader->ReadMore(piece)) {
    pieces.push_back(piece);
    piece.clear();
  }
  return pieces;
}

Text Joined(const std::vector<Text>& pieces) {
  Text all;
  for (const Text& piece : pieces) {
    EXPECT_FALSE(piece.empty());
    all += piece;
  }
  return all;
}

TEST(CodePage1252, BytesBecomeTheirCharactersAndLineEndsStay) {
  ASSERT_EQ(GetACP(), 1252u);
  const std::string bytes = "Subject: caf\xE9 \x80\r\nFrom: x\ny";
  const Text expected = L"Subject: caf\u00e9 \u20ac\r\nFrom: x\ny";
  EXPECT_EQ(Joined(Pieces(bytes, 4096)), expected);
  EXPECT_EQ(Joined(Pieces(bytes, 1)), expected);
  EXPECT_TRUE(Pieces("", 16).empty());
}

TEST(CodePage1252, AFileWithTheUtf8MarkIsReadAsUtf8WithoutIt) {
  ASSERT_EQ(GetACP(), 1252u);
  const std::string text =
      "Subject: \xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 Gr\xC3\xBC\xC3\x9F" "e\r\n";
  const Text expected = L"Subject: \u041f\u0440\u0438\u0432\u0435\u0442 Gr\u00fc\u00df" L"e\r\n";
  for (size_t pieceBytes : {1u, 2u, 3u, 4u, 4096u})
    EXPECT_EQ(Joined(Pieces("\xEF\xBB\xBF" + text, pieceBytes)), expected)
        << pieceBytes << " bytes to a piece";
  // Without the mark, or with only a part of it, the code page still rules.
  EXPECT_EQ(Joined(Pieces("Gr\xC3\xBC", 4096)), L"Gr\u00c3\u00bc");
  EXPECT_EQ(Joined(Pieces("\xEF\xBB", 1)), L"\u00ef\u00bb");
  EXPECT_TRUE(Pieces("\xEF\xBB\xBF", 1).empty());
}

TEST(CodePage932, ACharacterIsNeverSplitBetweenPieces) {
  ASSERT_EQ(GetACP(), 932u);
  // "a", then two kanji, a one-byte katakana, and two full-width "=" whose
  // trail bytes are lead bytes too, so only a walk from the start pairs
  // them right.
  const std::string bytes = "a\x93\xFA\x96\x7B\xB1\x81\x81\x81\x81";
  const Text expected = L"a\u65e5\u672c\uff71\uff1d\uff1d";
  for (size_t pieceBytes = 1; pieceBytes <= 6; ++pieceBytes)
    EXPECT_EQ(Joined(Pieces(bytes, pieceBytes)), expected)
        << pieceBytes << " bytes to a piece";
}

TEST(CodePage932, ALeadByteAtTheVeryEndStillEndsTheText) {
  ASSERT_EQ(GetACP(), 932u);
  const Text text = Joined(Pieces("ab\x93", 2));
  ASSERT_GE(text.size(), 3u);
  EXPECT_EQ(text.substr(0, 2), L"ab");
}

TEST(UnfinishedTail, KeepsBackAnIncompleteUtf8Sequence) {
  EXPECT_EQ(UnfinishedTail("a\xE6\x97", CP_UTF8), 2u);
  EXPECT_EQ(UnfinishedTail("a\xE6", CP_UTF8), 1u);
  EXPECT_EQ(UnfinishedTail("a\xE6\x97\xA5", CP_UTF8), 0u);
  EXPECT_EQ(UnfinishedTail("\xF0\x9F\x98", CP_UTF8), 3u);
  EXPECT_EQ(UnfinishedTail("abc", CP_UTF8), 0u);
  EXPECT_EQ(UnfinishedTail("caf\xE9", 1252), 0u);
}

}  // namespace
}  // namespace quarrow::win32
