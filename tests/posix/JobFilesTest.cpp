// The POSIX layer's side of interrupted and overlapping jobs: the folder
// lock and its hand-down to the tool, the hidden record, and the stop
// signal passed on to the tool run in progress.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "LayerFixture.h"
#include "platform/posix/StopSignals.h"

namespace quarrow::posix::testing {
namespace {

// A tool that writes what it inherited: the variable's value, whether that
// descriptor is open, and whether it is the folder's lock file; then, when
// asked, waits for a signal and writes which one came.
const char kTool[] =
    "#!/bin/sh\n"
    "out=\"$0.seen\"\n"
    "echo \"lock=$QUARROW_FOLDER_LOCK\" > \"$out\"\n"
    "if [ -n \"$QUARROW_FOLDER_LOCK\" ] && [ \"$(stat -L -c %i /proc/$$/fd/$QUARROW_FOLDER_LOCK)\" = "
    "\"$(stat -c %i .quarrow.lock)\" ]; then echo same >> \"$out\"; fi\n"
    "if [ \"$1\" = wait ]; then\n"
    "  trap 'echo term >> \"$out\"; exit 0' TERM\n"
    "  echo waiting >> \"$out\"\n"
    "  i=0; while [ $i -lt 600 ]; do sleep 0.1; i=$((i+1)); done\n"
    "fi\n";

class JobFiles : public LayerTest {
 protected:
  JobFiles() {
    tmp.Folder("c/mail");
    tool = tmp.File("c/getmail", kTool);
    ::chmod(tool.c_str(), 0755);
    p = Make();
    p->SelectDrive(L'c');
    p->ChangeFolder(L"mail");
  }
  std::string Seen() const { return ReadAll(tool + ".seen"); }

  std::string tool;
  std::unique_ptr<PosixPlatform> p;
};

TEST_F(JobFiles, TheLockIsHeldByOneJobAndHandedDownToItsToolRuns) {
  ASSERT_TRUE(p->TryLockFolder());
  // Another process (an open file description of its own) is refused.
  const int other = ::open((tmp / "c/mail/.quarrow.lock").c_str(), O_RDWR);
  ASSERT_GE(other, 0);
  EXPECT_NE(::flock(other, LOCK_EX | LOCK_NB), 0);
  p->WaitForProcess(p->StartProcess(L"C:\\getmail.exe", L"C:\\getmail.exe", window_style::kNormal));
  EXPECT_THAT(Seen(), ::testing::MatchesRegex("lock=[0-9]+\nsame\n"));

  p->ReleaseFolderLock();
  EXPECT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
  EXPECT_FALSE(p->TryLockFolder());
  ::close(other);
  // Without the lock the tool is told of none.
  p->WaitForProcess(p->StartProcess(L"C:\\getmail.exe", L"C:\\getmail.exe", window_style::kNormal));
  EXPECT_EQ(Seen(), "lock=\n");
}

TEST_F(JobFiles, HiddenFilesAreWrittenWholeReadBackAndRemoved) {
  EXPECT_FALSE(p->ReadHiddenFile(L".quarrow-retrieval"));
  p->WriteHiddenFile(L".quarrow-retrieval", "first");
  p->WriteHiddenFile(L".quarrow-retrieval", "second");
  EXPECT_EQ(p->ReadHiddenFile(L".quarrow-retrieval"), "second");
  EXPECT_TRUE(p->ListFiles(L"*").empty());  // hidden, no temporary left
  p->SyncFolder();
  p->RemoveHiddenFile(L".quarrow-retrieval");
  p->RemoveHiddenFile(L".quarrow-retrieval");  // gone already: no error
  EXPECT_FALSE(p->ReadHiddenFile(L".quarrow-retrieval"));
  EXPECT_FALSE(Exists(tmp / "c/mail/.quarrow-retrieval.new"));
}

TEST_F(JobFiles, AStopSignalIsNotedAndPassedOnToTheToolRun) {
  InstallStopHandlers();
  const ProcessId id = p->StartProcess(L"C:\\getmail.exe", L"C:\\getmail.exe wait", window_style::kNormal);
  // Once the tool is ready for it, the signal comes to us.
  for (int i = 0; i < 600 && Seen().find("waiting") == std::string::npos; ++i) ::usleep(50000);
  EXPECT_FALSE(p->StopRequested());
  ::kill(::getpid(), SIGTERM);
  const ProcessExit exit = p->WaitForProcess(id);
  EXPECT_TRUE(p->StopRequested());
  EXPECT_THAT(Seen(), ::testing::HasSubstr("term\n"));
  EXPECT_EQ(exit.code, 0u);
}

}  // namespace
}  // namespace quarrow::posix::testing
