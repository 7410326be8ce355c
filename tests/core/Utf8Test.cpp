#include <gtest/gtest.h>

#include <sstream>

#include "platform/Failure.h"
#include "platform/HeadlessDesktop.h"
#include "support/FakePlatform.h"

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

// Each line carries the clock's reading when it is written, in ISO 8601
// local time with the offset from UTC, whichever side of UTC and with
// offsets that are not whole hours.
TEST(Headless, LinesBeginWithTheLocalTimeTheyWereWritten) {
  struct Case {
    int offsetMinutes;
    const char* first;
    const char* second;
  };
  const Case cases[] = {
      {60, "2007-01-28T09:36:14+01:00", "2007-01-28T09:36:16+01:00"},
      {-210, "2007-01-28T09:36:14-03:30", "2007-01-28T09:36:16-03:30"},
      {0, "2007-01-28T09:36:14+00:00", "2007-01-28T09:36:16+00:00"},
      {345, "2007-01-28T09:36:14+05:45", "2007-01-28T09:36:16+05:45"},
  };
  for (const Case& c : cases) {
    testing::FakePlatform platform;
    platform.clock.utcOffsetMinutes = c.offsetMinutes;
    platform.millisecondsPerReading = 2000;
    std::ostringstream out;
    HeadlessDesktop desktop(out);
    desktop.SetClock([&platform] { return platform.Now(); });
    desktop.ShowMessage(L"one\r\ntwo", L"Error", MessageIcon::Exclamation);
    desktop.ShowMessage(L"gone", L"Quarrow", MessageIcon::Critical);
    EXPECT_EQ(out.str(), std::string(c.first) + " Error: one two\n" +
                             c.second + " Quarrow: gone\n")
        << c.offsetMinutes;
  }
}

}  // namespace
}  // namespace quarrow
