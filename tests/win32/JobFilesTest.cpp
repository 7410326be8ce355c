// The Windows layer's side of interrupted and overlapping jobs: the hidden
// record written whole, the folder flush, and the folder lock.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "ScratchFolder.h"
#include "platform/HeadlessDesktop.h"
#include "platform/win32/Win32Platform.h"

namespace quarrow {
namespace {

using testing::ScratchFolder;

class JobFiles : public ::testing::Test {
 protected:
  JobFiles() {
    platform_.SelectDrive(folder_.path()[0]);
    platform_.ChangeFolder(folder_.path());
  }
  std::ostringstream messages_;
  HeadlessDesktop desktop_{messages_};
  Win32Platform platform_{desktop_};
  ScratchFolder folder_;
};

TEST_F(JobFiles, TheRecordIsHiddenWrittenWholeAndRemoved) {
  EXPECT_FALSE(platform_.ReadHiddenFile(L".quarrow-retrieval"));
  platform_.WriteHiddenFile(L".quarrow-retrieval", "first");
  platform_.WriteHiddenFile(L".quarrow-retrieval", "second");
  EXPECT_EQ(platform_.ReadHiddenFile(L".quarrow-retrieval"), "second");
  const DWORD attributes = GetFileAttributesW((folder_ / L".quarrow-retrieval").c_str());
  EXPECT_NE(attributes & FILE_ATTRIBUTE_HIDDEN, 0u);
  EXPECT_TRUE(platform_.ListFiles(L"*").empty());
  platform_.SyncFolder();
  platform_.RemoveHiddenFile(L".quarrow-retrieval");
  platform_.RemoveHiddenFile(L".quarrow-retrieval");
  EXPECT_FALSE(folder_.Exists(L".quarrow-retrieval"));
}

TEST_F(JobFiles, OneHandleAtATimeHoldsTheFolder) {
  ASSERT_TRUE(platform_.TryLockFolder());
  std::ostringstream otherMessages;
  HeadlessDesktop otherDesktop{otherMessages};
  Win32Platform other{otherDesktop};
  EXPECT_FALSE(other.TryLockFolder());
  platform_.ReleaseFolderLock();
  EXPECT_TRUE(other.TryLockFolder());
  other.ReleaseFolderLock();
  // The lock file stays, hidden.
  const DWORD attributes = GetFileAttributesW((folder_ / L".quarrow.lock").c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(attributes & FILE_ATTRIBUTE_HIDDEN, 0u);
}

}  // namespace
}  // namespace quarrow
