#include <cstdint>

#include "retrieval/DelimitedText.h"
#include "retrieval/Passes.h"
#include "retrieval/Stamp.h"
#include "retrieval/TaskRunner.h"
#include "retrieval/ToolCommands.h"

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

// Gives every "Extract*" file a stamped name numbered from 1 in listing
// order, or the body file a stamped name when there was none.
void RenameResults(Job& job) {
  Platform& platform = job.platform;
  // A 16-bit counter, as the result numbering has always been.
  std::int16_t n = 1;
  for (const Text& name : platform.ListFiles(job.settings.myPath + L"Extract*")) {
    RenameToStampedName(platform, name, L"-" + std::to_wstring(n) + L".vch");
    if (n == INT16_MAX)
      throw Failure(L"Overflow numbering the extract files",
                    Failure::Reason::Overflow);
    ++n;
  }
  if (n == 1) {
    RenameToStampedName(
        platform, L"msg" + std::to_wstring(job.msgCount + 1) + L".txt",
        L".vch");
  }
}

}  // namespace

void ReadBody_Click(Job& job) {
  const int last = job.msgCount;
  for (int i = last; i >= 1; --i) {
    if (!HeaderFileMatches(job.platform, i, job.settings.mySubj)) continue;
    RunTaskAndWait(
        job, RetrievalCommand(job.platform.ProgramFolder(), job.settings, i),
        window_style::kNormal);
    RenameResults(job);
  }
}

}  // namespace quarrow
