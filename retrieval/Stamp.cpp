#include "retrieval/Stamp.h"

#include <cwchar>
#include <tuple>

namespace quarrow {

namespace {

Text TwoDigits(int value) {
  wchar_t digits[16];
  std::swprintf(digits, 16, L"%02d", value % 100);
  return digits;
}

auto Seconds(const LocalTime& t) {
  return std::tie(t.year, t.month, t.day, t.hour, t.minute, t.second);
}

// Returns once the clock shows a second other than `shown`. "Other" rather
// than "later", so a clock set back (end of summer time) cannot stall it.
void WaitForAnotherSecond(Platform& platform, const LocalTime& shown) {
  using std::chrono::milliseconds;
  for (;;) {
    const LocalTime now = platform.Now();
    if (Seconds(now) != Seconds(shown)) return;
    platform.Sleep(milliseconds(1000 - now.millisecond % 1000 + 5));
  }
}

}  // namespace

Text FormatStamp(const LocalTime& date, const LocalTime& time) {
  return TwoDigits(date.year) + L"-" + TwoDigits(date.month) + L"-" +
         TwoDigits(date.day) + L" " + TwoDigits(time.hour) + L"-" +
         TwoDigits(time.minute) + L"-" + TwoDigits(time.second);
}

Text RenameToStampedName(Platform& platform, const Text& from,
                         const Text& suffix) {
  for (;;) {
    const LocalTime date = platform.Now();
    const LocalTime time = platform.Now();
    const Text to = FormatStamp(date, time) + suffix;
    try {
      platform.RenameFile(from, to);
      return to;
    } catch (const Failure& failure) {
      if (failure.reason() != Failure::Reason::TargetExists) throw;
    }
    WaitForAnotherSecond(platform, time);
  }
}

}  // namespace quarrow
