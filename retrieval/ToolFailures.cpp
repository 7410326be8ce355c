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

Text TakeToolFailureNote(Job& job) {
  if (job.unreportedFailures.empty()) return Text();
  Text note = L"The mail tool reported a failure.";
  for (const ToolRunFailure& failure : job.unreportedFailures)
    note += L"\r\n" + failure.run + L": " + DescribeExit(failure.exit) + L".";
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
