#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "retrieval/DelimitedText.h"

namespace quarrow {
namespace {

using ::testing::ElementsAre;

// Hands out the text `piece` characters at a time.
class StringReader : public TextReader {
 public:
  StringReader(Text text, size_t piece) : text_(std::move(text)), piece_(piece) {}
  bool ReadMore(Text& out) override {
    if (pos_ >= text_.size()) return false;
    out += text_.substr(pos_, piece_);
    pos_ += piece_;
    return true;
  }

 private:
  Text text_;
  size_t piece_;
  size_t pos_ = 0;
};

// Records of `text`, the same whatever the piece size.
std::vector<Text> Records(const Text& text) {
  std::vector<Text> first;
  for (size_t piece : {1u, 2u, 3u, 7u, 4096u}) {
    StringReader input(text, piece);
    DelimitedTextReader reader(input);
    std::vector<Text> records;
    while (!reader.AtEnd()) records.push_back(reader.NextRecord());
    if (piece == 1) first = records;
    EXPECT_EQ(records, first) << "piece size " << piece;
  }
  return first;
}

TEST(DelimitedText, RecordsEndAtCommasAndLineEnds) {
  EXPECT_THAT(Records(L"Subject: Hello, world\r\nFrom: a@b\r\n"),
              ElementsAre(L"Subject: Hello", L"world", L"From: a@b"));
  EXPECT_THAT(Records(L"a\rb\nc\r\nd"), ElementsAre(L"a", L"b", L"c", L"d"));
}

TEST(DelimitedText, BlanksBeforeARecordAndAfterItAreDropped) {
  EXPECT_THAT(Records(L"  \tx y  ,\t z\t\n"), ElementsAre(L"x y", L"z"));
}

TEST(DelimitedText, QuotedRecordsKeepCommasAndLoseTheirQuotes) {
  EXPECT_THAT(Records(L"\"Smith, John\" <j@x>, next\n"),
              ElementsAre(L"Smith, John", L"next"));
  EXPECT_THAT(Records(L"  \" padded \"\n"), ElementsAre(L" padded "));
  // A quoted record runs across line ends and keeps them as they stand;
  // one never closed runs to the end of the file.
  EXPECT_THAT(Records(L"To: x, \"Smith,\r\n John\rJr\n, Velbrin\" <j@x>\r\nnext"),
              ElementsAre(L"To: x", L"Smith,\r\n John\rJr\n, Velbrin", L"next"));
  EXPECT_THAT(Records(L"\"open, still\r\nnext, more\r\n"),
              ElementsAre(L"open, still\r\nnext, more\r\n"));
  // A quote inside an unquoted record is an ordinary character.
  EXPECT_THAT(Records(L"To: \"A, B\" <a@b>"),
              ElementsAre(L"To: \"A", L"B\" <a@b>"));
}

TEST(DelimitedText, EmptyLinesAndFieldsGiveEmptyRecords) {
  EXPECT_THAT(Records(L"a,,b\r\n\r\nc"),
              ElementsAre(L"a", L"", L"b", L"", L"c"));
  EXPECT_THAT(Records(L""), ElementsAre());
  EXPECT_THAT(Records(L"x,\n"), ElementsAre(L"x", L""));
}

}  // namespace
}  // namespace quarrow
