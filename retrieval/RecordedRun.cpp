#include "retrieval/RecordedRun.h"

#include "retrieval/Results.h"
#include "retrieval/RetrievalRecord.h"
#include "retrieval/Stop.h"
#include "retrieval/TaskRunner.h"
#include "retrieval/ToolCommands.h"

namespace quarrow {

namespace {

void ReportSaved(Job& job, const std::vector<Text>& names) {
  if (names.empty()) return;
  job.recoveredResults += static_cast<int>(names.size());
  job.platform.ShowMessage(SavedAfterInterruptionNote(names), L"Quarrow",
                           MessageIcon::Information);
}

}  // namespace

Text SavedAfterInterruptionNote(const std::vector<Text>& names) {
  Text list;
  for (size_t k = 0; k < names.size(); ++k) {
    if (k > 0) list += k + 1 == names.size() ? L" and " : L", ";
    list += L"\"" + names[k] + L"\"";
  }
  return names.size() == 1
             ? L"1 result of an interrupted job was saved as " + list + L"."
             : std::to_wstring(names.size()) +
                   L" results of an interrupted job were saved as " + list +
                   L".";
}

void FinishInterruptedRun(Job& job) {
  Platform& platform = job.platform;
  const auto bytes = platform.ReadHiddenFile(kRetrievalRecordName);
  if (!bytes) return;
  const auto record = ParseRecord(*bytes);
  if (!record)
    throw Failure(L"The record of an interrupted retrieval, " +
                  platform.DisplayPath(job.settings.myPath +
                                       kRetrievalRecordName) +
                  L", cannot be read. Nothing has been changed in the mail "
                  L"folder: save the files there that the interrupted job "
                  L"fetched, then delete the record.");
  const std::vector<Text> saved = RenameRunResults(job, *record, false);
  platform.SyncFolder();
  platform.RemoveHiddenFile(kRetrievalRecordName);
  ReportSaved(job, saved);
}

void RunRecordedRetrieval(Job& job, int message, const Text& bodyFile) {
  Platform& platform = job.platform;
  // Left by a run whose record is gone, or put there by hand: no run of
  // this job wrote them.
  const std::vector<Text> leftOver = RenameExtractFiles(job);
  if (!leftOver.empty()) platform.SyncFolder();
  ReportSaved(job, leftOver);

  StopIfRequested(job);
  RetrievalRecord record;
  record.message = message;
  record.bodyFile = bodyFile;
  record.bodyBefore = platform.GetFileState(bodyFile);
  platform.WriteHiddenFile(kRetrievalRecordName, FormatRecord(record));

  const Text programFolder = platform.ProgramFolder();
  const bool started = RunTaskAndWait(
      job, ToolProgram(programFolder),
      RetrievalCommand(programFolder, job.settings, message),
      window_style::kNormal, L"Message " + std::to_wstring(message));
  // A run that never started wrote nothing, and its failure has been shown.
  RenameRunResults(job, record, started);
  // The new names are on disk before the record goes and before the next
  // run may delete anything on the server.
  platform.SyncFolder();
  platform.RemoveHiddenFile(kRetrievalRecordName);
}

}  // namespace quarrow
