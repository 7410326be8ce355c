#include "retrieval/Results.h"

#include <cstdint>

#include "retrieval/Stamp.h"

namespace quarrow {

std::vector<Text> RenameExtractFiles(Job& job) {
  Platform& platform = job.platform;
  std::vector<Text> saved;
  // A 16-bit counter, as the result numbering has always been.
  std::int16_t n = 1;
  for (const Text& name :
       platform.ListFiles(job.settings.myPath + L"Extract*")) {
    saved.push_back(RenameToStampedName(platform, name,
                                        L"-" + std::to_wstring(n) + L".vch"));
    if (n == INT16_MAX)
      throw Failure(L"Overflow numbering the extract files",
                    Failure::Reason::Overflow);
    ++n;
  }
  return saved;
}

std::vector<Text> RenameRunResults(Job& job, const RetrievalRecord& record,
                                   bool runEnded) {
  std::vector<Text> saved = RenameExtractFiles(job);
  if (!saved.empty()) return saved;
  // One left by an earlier message is never passed off as this message's
  // text, whatever the tool's exit status says.
  const FileState bodyAfter = job.platform.GetFileState(record.bodyFile);
  const bool written = bodyAfter.exists && bodyAfter != record.bodyBefore;
  if (!runEnded && !written) return saved;
  if (bodyAfter.exists && !written)
    throw Failure(L"Cannot rename '" + record.bodyFile +
                      L"': the tool did not write it in this run",
                  Failure::Reason::SourceMissing);
  saved.push_back(RenameToStampedName(job.platform, record.bodyFile, L".vch"));
  return saved;
}

}  // namespace quarrow
