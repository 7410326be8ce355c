// The base64 decoder of attachments: what RFC 2045 text gives, however it is
// cut into pieces.
#include "tools/getmail/Base64Decoder.h"

#include <gtest/gtest.h>

#include <string>

#include "Corpus.h"

namespace getmail {
namespace {

// `text` decoded in pieces of `piece` bytes.
std::string Decode(const std::string& text, std::size_t piece) {
  Base64Decoder decoder;
  std::string out;
  for (std::size_t at = 0; at < text.size(); at += piece) {
    std::size_t size = std::min(piece, text.size() - at);
    std::string chunk(Base64Decoder::MaxOutput(size), '\0');
    chunk.resize(decoder.Step(text.data() + at, size, chunk.data()));
    out += chunk;
  }
  char tail[Base64Decoder::MaxOutput(0)];
  return out + std::string(tail, decoder.Finish(tail));
}

TEST(Base64Decoder, DecodesWhateverThePiecesAre) {
  for (std::size_t size : {0u, 1u, 2u, 3u, 56u, 57u, 58u, 1000u, 70000u}) {
    const std::string data = harness::SomeBytes(size, static_cast<unsigned>(size));
    const std::string text = harness::Base64Body(data);  // CRLF lines of 76
    for (std::size_t piece : {1u, 3u, 4u, 5u, 77u, 78u, 4096u, 1u << 20}) {
      EXPECT_TRUE(Decode(text, piece) == data) << size << " bytes in pieces of " << piece;
    }
  }
}

TEST(Base64Decoder, SkipsStrayCharactersAndHonoursPadding) {
  const struct {
    std::string text, data;
  } cases[] = {
      {"QUJD", "ABC"},
      {"QU\r\nJD\r\n", "ABC"},
      {"Q!U*J D\t", "ABC"},        // not base64: skipped
      {"QUI=", "AB"},
      {"QQ==", "A"},
      {"QQ==QUJD", "AABC"},        // padding ends a group, not the data
      {"QUI", "AB"},               // unpadded end: its whole bytes
      {"QQ", "A"},
      {"Q", ""},
      {"====", ""},
      {"", ""},
      {"/+/+", "\xFF\xEF\xFE"},
  };
  for (const auto& c : cases) {
    for (std::size_t piece : {1u, 2u, 64u}) {
      EXPECT_EQ(Decode(c.text, piece), c.data) << "[" << c.text << "] in pieces of " << piece;
    }
  }
}

}  // namespace
}  // namespace getmail
