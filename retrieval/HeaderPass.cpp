#include "retrieval/FolderLock.h"
#include "retrieval/Passes.h"
#include "retrieval/RecordedRun.h"
#include "retrieval/Stop.h"
#include "retrieval/TaskRunner.h"
#include "retrieval/ToolCommands.h"
#include "retrieval/ToolFailures.h"

namespace quarrow {

void GetMsgHdr_Click(Job& job) {
  Platform& platform = job.platform;
  Settings& s = job.settings;

  s.mySubj = platform.UpperCase(s.mySubj);

  // Only the first character counts as the drive letter, so a relative
  // "mail" selects drive M and is then looked up from M's current folder.
  if (!s.myPath.empty()) platform.SelectDrive(s.myPath[0]);
  platform.ChangeFolder(s.myPath);
  if (s.myPath.empty())
    throw Failure(L"Cannot use an empty mail folder");
  if (s.myPath.back() != L'\\') s.myPath += L'\\';

  const FolderLock lock(job);
  // A fetched message may still be under its body file's name: it gets its
  // stamped name before header and body files go.
  FinishInterruptedRun(job);

  // Header files of an earlier run, and any body file left behind.
  const Text headerFiles = s.myPath + L"MSG*.TXT";
  platform.DeleteFiles(headerFiles);

  const Text programFolder = platform.ProgramFolder();
  RunTaskAndWait(job, ToolProgram(programFolder),
                 HeaderCommand(programFolder, s),
                 window_style::kMinimizedNoActivate, L"Header run");

  // Counted before msgCount changes, so a failed listing leaves it as it was.
  job.msgCount = static_cast<int>(platform.ListFiles(headerFiles).size());
  // Asked to stop: the tool's failure goes into the stop notice, since
  // nobody may be there to dismiss a box.
  StopIfRequested(job);
  ReportToolFailures(job);
}

}  // namespace quarrow
