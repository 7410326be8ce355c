#include "retrieval/ToolFailures.h"

#include <cwchar>

namespace quarrow {

Text DescribeExit(const ProcessExit& exit) {
  if (exit.signal != 0)
    return L"ended by signal " + std::to_wstring(exit.signal);
  // Windows gives a crash as an NTSTATUS such as 0xC0000005, which is only
  // recognisable in hexadecimal.
  if (exit.code > 0xFFFF) {
    wchar_t hex[24];
    std::swprintf(hex, 24, L"0x%08lX", exit.code);
    return Text(L"exit status ") + hex;
  }
  return L"exit status " + std::to_wstring(exit.code);
}

namespace {

void Mask(Text& text, const Text& password) {
  if (password.empty()) return;
  const Text mask = L"********";
  for (size_t at = text.find(password); at != Text::npos;
       at = text.find(password, at + mask.size()))
    text.replace(at, password.size(), mask);
}

bool IsControl(wchar_t c) {
  return c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0);
}


// One line: control characters and runs of blanks become one blank, and
// there are none at either end.
Text OneLine(const Text& text) {
  Text line;
  for (wchar_t c : text) {
    const bool blank = c == L' ' || IsControl(c);
    if (!blank) {
      line += c;
    } else if (!line.empty() && line.back() != L' ') {
      line += L' ';
    }
  }
  if (!line.empty() && line.back() == L' ') line.pop_back();
  return line;
}

}  // namespace

Text ShownReason(const Text& message, const Text& password) {
  // The password is looked for as it would stand on the line, so a line
  // break or a run of blanks in it does not hide it.
  Text shown = OneLine(message);
  Mask(shown, OneLine(password));
  if (shown.size() > kReasonLength)
    shown = shown.substr(0, kReasonLength - 1) + L"\u2026";
  return shown;
}

Text TakeToolFailureNote(Job& job) {
  if (job.unreportedFailures.empty()) return Text();
  Text note = L"The mail tool reported a failure.";
  for (const ToolRunFailure& failure : job.unreportedFailures) {
    note += L"\r\n" + failure.run + L": " + DescribeExit(failure.exit);
    const Text reason =
        ShownReason(failure.exit.message, job.settings.myPass);
    if (reason.empty()) {
      note += L".";
    } else {
      // A message that ends a sentence of its own gets no second stop.
      note += L" \u2014 " + reason;
      if (Text(L".!?\u2026").find(reason.back()) == Text::npos) note += L".";
    }
  }
  note += L"\r\nThe tool's messages: " + job.platform.ToolMessagesPlace() + L".";
  job.unreportedFailures.clear();
  return note;
}

void ReportToolFailures(Job& job) {
  const Text note = TakeToolFailureNote(job);
  if (!note.empty())
    job.platform.ShowMessage(note, L"Quarrow", MessageIcon::Exclamation);
}

}  // namespace quarrow
