#include "retrieval/DelimitedText.h"
#include "retrieval/FolderLock.h"
#include "retrieval/Passes.h"
#include "retrieval/RecordedRun.h"
#include "retrieval/Stop.h"
#include "retrieval/ToolFailures.h"

namespace quarrow {

namespace {

// True when some non-empty record of the header file, upper-cased, holds
// `subject`. Reading stops at the first such record.
bool HeaderFileMatches(Platform& platform, int messageNumber,
                       const Text& subject) {
  const auto file =
      platform.OpenTextFile(L"MSG" + std::to_wstring(messageNumber) + L".txt");
  DelimitedTextReader records(*file);
  while (!records.AtEnd()) {
    const Text record = records.NextRecord();
    if (!record.empty() &&
        platform.UpperCase(record).find(subject) != Text::npos)
      return true;
  }
  return false;
}

}  // namespace

void ReadBody_Click(Job& job) {
  const int last = job.msgCount;
  if (last == 0) return;
  const FolderLock lock(job);
  FinishInterruptedRun(job);
  const Text bodyFile = L"msg" + std::to_wstring(last + 1) + L".txt";
  for (int i = last; i >= 1; --i) {
    if (!HeaderFileMatches(job.platform, i, job.settings.mySubj)) continue;
    RunRecordedRetrieval(job, i, bodyFile);
    StopIfRequested(job);
  }
  ReportToolFailures(job);
}

}  // namespace quarrow
