#include "platform/HeadlessDesktop.h"

#include <cstdio>
#include <cstdlib>

#include "platform/Failure.h"

namespace quarrow {

Text HeadlessDesktop::OneLine(const Text& text, const Text& title) {
  Text line = title + L": ";
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'\r' || text[i] == L'\n') {
      if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') ++i;
      line += L' ';
    } else {
      line += text[i];
    }
  }
  return line;
}

Text HeadlessDesktop::Timestamp(const LocalTime& t) {
  const int offset = std::abs(t.utcOffsetMinutes);
  wchar_t time[32], zone[16];
  std::swprintf(time, 32, L"%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month,
                t.day, t.hour, t.minute, t.second);
  std::swprintf(zone, 16, L"%02d:%02d", offset / 60, offset % 60);
  return Text(time) + (t.utcOffsetMinutes < 0 ? L"-" : L"+") + zone;
}

void HeadlessDesktop::ShowMessage(const Text& text, const Text& title,
                                  MessageIcon) {
  const Text line = OneLine(text, title);
  out_ << ToUtf8(clock_ ? Timestamp(clock_()) + L" " + line : line) << '\n'
       << std::flush;
}

}  // namespace quarrow
