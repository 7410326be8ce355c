// The file layer on this system: temporary files, and putting them in place
// without ever writing through a link.
#include "tools/getmail/Files.h"

#include <fcntl.h>
#include <fnmatch.h>
#include <gmime/gmime.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <string>

#include "Files.h"
#include "tools/getmail/Errors.h"
#include "tools/getmail/FolderLock.h"
#include "tools/getmail/StateFile.h"

namespace getmail {
namespace {

class FilesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { g_mime_init(); }
  void SetUp() override { harness::WriteFile(outside / "target", "outside"); }

  static bool IsLink(const std::string& name) {
    struct stat info;
    return lstat(name.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
  }

  harness::TempFolder folder{"getmail-files"};
  harness::TempFolder outside{"getmail-outside"};
  harness::CurrentFolder inFolder{folder.path()};
};

TEST_F(FilesTest, PutInPlaceNeverReplacesAFileOrALink) {
  ASSERT_EQ(symlink((outside / "target").c_str(), "link.txt"), 0);
  ASSERT_EQ(symlink((outside / "missing").c_str(), "dangling.txt"), 0);
  harness::WriteFile(folder / "file.txt", "earlier");
  for (const std::string name : {"link.txt", "dangling.txt", "file.txt"}) {
    SCOPED_TRACE(name);
    TempFile file(name);
    file.Write("new");
    file.Close();
    EXPECT_FALSE(file.PutInPlace(name));
  }
  EXPECT_EQ(harness::ReadFile(outside / "target"), "outside");
  EXPECT_FALSE(harness::Exists(outside / "missing"));
  EXPECT_TRUE(IsLink("link.txt") && IsLink("dangling.txt"));
  EXPECT_EQ(harness::ReadFile(folder / "file.txt"), "earlier");

  TempFile file("new.txt");
  file.Write("new");
  file.Close();
  EXPECT_TRUE(file.PutInPlace("new.txt"));
  EXPECT_EQ(harness::ReadFile(folder / "new.txt"), "new");
  // No temporary file is left behind.
  EXPECT_EQ(harness::ListFolder(folder.path()),
            (std::vector<std::string>{"dangling.txt", "file.txt", "link.txt", "new.txt"}));
}

TEST_F(FilesTest, ReplacingALinkReplacesTheLinkNeverWhatItPointsTo) {
  ASSERT_EQ(symlink((outside / "target").c_str(), "MSG4.TXT"), 0);
  WriteFileAtomically("MSG4.TXT", "message", true);
  EXPECT_FALSE(IsLink("MSG4.TXT"));
  EXPECT_EQ(harness::ReadFile(folder / "MSG4.TXT"), "message");
  EXPECT_EQ(harness::ReadFile(outside / "target"), "outside");
  // Removing takes the link itself away too.
  ASSERT_EQ(symlink((outside / "target").c_str(), "msg4.txt"), 0);
  RemoveIfPresent("msg4.txt");
  EXPECT_FALSE(harness::Exists(folder / "msg4.txt"));
  EXPECT_EQ(harness::ReadFile(outside / "target"), "outside");
}

TEST_F(FilesTest, TemporaryFilesHaveNewHiddenNamesAndGoUnlessPutInPlace) {
  std::set<std::string> names;
  for (int k = 0; k < 50; ++k) {
    TempFile file("x");
    EXPECT_EQ(fnmatch(".getmail-*.part", file.name().c_str(), 0), 0) << file.name();
    names.insert(file.name());
  }
  EXPECT_EQ(names.size(), 50u);
  EXPECT_TRUE(harness::ListFolder(folder.path()).empty());

  // What was written reads back whole, the buffered rest included.
  std::string data;
  TempFile file("big");
  for (int k = 0; data.size() < 300000; ++k) {
    std::string piece = std::to_string(k) + std::string(k % 97, 'x') + "\r\n";
    file.Write(piece);
    data += piece;
  }
  GMimeStream* stream = file.ReadStream();
  file.Close();
  std::string read;
  char buffer[4096];
  for (ssize_t n; (n = g_mime_stream_read(stream, buffer, sizeof buffer)) > 0;) read.append(buffer, n);
  g_object_unref(stream);
  EXPECT_TRUE(read == data) << read.size() << " of " << data.size() << " bytes";
}

TEST_F(FilesTest, TheFolderLockIsTakenOrHandedDownAndHeldByOneRunAtATime) {
  unsetenv(kFolderLockVariable);
  auto busy = [] {
    try {
      FolderLock lock;
    } catch (const Error& error) {
      return std::string(error.what()).find("another Quarrow job") != std::string::npos;
    }
    return false;
  };
  {
    FolderLock first;
    EXPECT_FALSE(first.inherited());
    struct stat info;
    ASSERT_EQ(lstat(kFolderLockFileName, &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    // Another open file of it counts as another job's.
    EXPECT_TRUE(busy());
  }
  {
    FolderLock again;  // let go when the run ended
    EXPECT_FALSE(again.inherited());
  }
  // A job's lock, handed down by its number.
  const int job = open(kFolderLockFileName, O_RDWR | O_CLOEXEC);
  ASSERT_GE(job, 0);
  ASSERT_EQ(flock(job, LOCK_EX | LOCK_NB), 0);
  setenv(kFolderLockVariable, std::to_string(job).c_str(), 1);
  {
    FolderLock handed;
    EXPECT_TRUE(handed.inherited());
  }
  EXPECT_EQ(flock(job, LOCK_EX | LOCK_NB), 0);  // still the job's
  // A number that names another file, or nothing open, while the job holds
  // the lock.
  const int other = open("/dev/null", O_RDONLY | O_CLOEXEC);
  for (const std::string& number : {std::to_string(other), std::string("9999"), std::string("x")}) {
    SCOPED_TRACE(number);
    setenv(kFolderLockVariable, number.c_str(), 1);
    EXPECT_TRUE(busy());
  }
  close(other);
  close(job);
  unsetenv(kFolderLockVariable);
  // A link planted under the lock file's name is never followed.
  ASSERT_EQ(unlink(kFolderLockFileName), 0);
  ASSERT_EQ(symlink((outside / "missing").c_str(), kFolderLockFileName), 0);
  EXPECT_THROW(FolderLock(), Error);
  EXPECT_FALSE(harness::Exists(outside / "missing"));
}

TEST_F(FilesTest, TemporaryFileNamesAreKnownAgain) {
  for (const char* name : {".getmail-abc123.part", ".getmail-x.part"}) {
    EXPECT_TRUE(IsTempFileName(name)) << name;
  }
  for (const char* name : {".getmail-.part", ".getmail-state", "getmail-abc.part",
                           ".getmail-a/b.part", ".getmail-a\\b.part", ".getmail-abc.part.txt"}) {
    EXPECT_FALSE(IsTempFileName(name)) << name;
  }
  TempFile file("x");
  EXPECT_TRUE(IsTempFileName(file.name()));
}

TEST_F(FilesTest, FilesAreAsOpenAsTheUmaskAllowsTheStateFileAndWorkInProgressOwnerOnly) {
  auto modeOf = [](const std::string& name) {
    struct stat info;
    return lstat(name.c_str(), &info) == 0 ? info.st_mode & 07777 : 01000;
  };
  const mode_t before = umask(022);
  for (mode_t mask : {mode_t{022}, mode_t{002}, mode_t{027}, mode_t{077}, mode_t{0}}) {
    SCOPED_TRACE(std::to_string(mask));
    umask(mask);
    TempFile file("MSG3.TXT");
    file.Write("mail");
    file.Drain();
    EXPECT_EQ(modeOf(file.name()), 0600u);
    file.Close();
    ASSERT_TRUE(file.PutInPlace("Extract-a.pdf"));
    EXPECT_EQ(modeOf("Extract-a.pdf"), 0666u & ~mask);
    WriteFileAtomically("MSG1.TXT", "header", false);
    EXPECT_EQ(modeOf("MSG1.TXT"), 0666u & ~mask);
    State state;
    state.server = "pop.example.com";
    state.port = 995;
    state.login = "me";
    SaveState(state);
    EXPECT_EQ(modeOf(kStateFileName), 0600u);
    unlink("Extract-a.pdf");
  }
  umask(before);
}

}  // namespace
}  // namespace getmail
