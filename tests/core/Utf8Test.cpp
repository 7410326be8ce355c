#include <gtest/gtest.h>

#include "platform/Failure.h"
#include "platform/HeadlessDesktop.h"

namespace quarrow {
namespace {

TEST(Utf8, RoundTripsTextBeyondLatin1) {
  const std::wstring text = L"Gr\u00fc\u00dfe \u20ac \U0001F600";
  EXPECT_EQ(ToUtf8(text), "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xF0\x9F\x98\x80");
  EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
}

TEST(Utf8, BytesThatDoNotDecodeBecomeOneCharacterEach) {
  // A lone Latin-1 byte, a truncated sequence and an overlong form.
  EXPECT_EQ(FromUtf8("caf\xE9!"), L"caf\u00e9!");
  EXPECT_EQ(FromUtf8("\xE2\x82"), std::wstring(L"\u00e2\u0082"));
  EXPECT_EQ(FromUtf8("\xC0\xAF"), std::wstring(L"\u00c0\u00af"));
}

TEST(Headless, MessageBoxesBecomeOneLine) {
  EXPECT_EQ(HeadlessDesktop::OneLine(L"Error starting task x\r\nnot found\nok",
                                     L"Error"),
            L"Error: Error starting task x not found ok");
}

}  // namespace
}  // namespace quarrow
