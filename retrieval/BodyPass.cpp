#include <cstdint>

#include "retrieval/DelimitedText.h"
#include "retrieval/Passes.h"
#include "retrieval/Stamp.h"
#include "retrieval/TaskRunner.h"
#include "retrieval/ToolCommands.h"
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

// Gives every "Extract*" file a stamped name numbered from 1 in listing
// order, or else the body file a stamped name. The body file is taken only
// if the tool run wrote it (its state differs from `bodyBefore`, read before
// the run): one left by an earlier message is never passed off as this
// message's text, whatever the tool's exit status says.
void RenameResults(Job& job, const Text& bodyFile,
                   const FileState& bodyBefore) {
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
    const FileState bodyAfter = platform.GetFileState(bodyFile);
    if (bodyAfter.exists && bodyAfter == bodyBefore)
      throw Failure(L"Cannot rename '" + bodyFile +
                        L"': the tool did not write it in this run",
                    Failure::Reason::SourceMissing);
    RenameToStampedName(platform, bodyFile, L".vch");
  }
}

}  // namespace

void ReadBody_Click(Job& job) {
  Platform& platform = job.platform;
  const int last = job.msgCount;
  const Text bodyFile = L"msg" + std::to_wstring(last + 1) + L".txt";
  for (int i = last; i >= 1; --i) {
    if (!HeaderFileMatches(platform, i, job.settings.mySubj)) continue;
    const FileState bodyBefore = platform.GetFileState(bodyFile);
    const Text programFolder = platform.ProgramFolder();
    RunTaskAndWait(job, ToolProgram(programFolder),
                   RetrievalCommand(programFolder, job.settings, i),
                   window_style::kNormal, L"Message " + std::to_wstring(i));
    RenameResults(job, bodyFile, bodyBefore);
  }
  ReportToolFailures(job);
}

}  // namespace quarrow
