#include "platform/HeadlessDesktop.h"

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

void HeadlessDesktop::ShowMessage(const Text& text, const Text& title,
                                  MessageIcon) {
  out_ << ToUtf8(OneLine(text, title)) << '\n' << std::flush;
}

}  // namespace quarrow
