// Listing, deleting, renaming and opening real files by Windows rules.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "ScratchFolder.h"
#include "platform/HeadlessDesktop.h"
#include "platform/win32/Win32Platform.h"

namespace quarrow {
namespace {

using testing::ScratchFolder;
using ::testing::HasSubstr;
using ::testing::UnorderedElementsAre;

class Files : public ::testing::Test {
 protected:
  Files() {
    folder_.Write(L"MSG1.TXT");
    folder_.Write(L"msg7.txt");
    folder_.Write(L"notes.txt");
    folder_.Write(L"MSG4.TXT", "x", FILE_ATTRIBUTE_READONLY);
    folder_.Write(L"MSG2.TXT", "x", FILE_ATTRIBUTE_HIDDEN);
    folder_.Write(L"MSG3.TXT", "x", FILE_ATTRIBUTE_SYSTEM);
    folder_.MakeFolder(L"MSG5.TXT");
  }

  // As the header pass does it: the folder's drive, then the folder.
  void EnterFolder() {
    platform_.SelectDrive(folder_.path()[0]);
    platform_.ChangeFolder(folder_.path());
  }

  std::string ReadAll(const std::wstring& name) {
    auto reader = platform_.OpenTextFile(name);
    Text text;
    while (reader->ReadMore(text)) {
    }
    return ToUtf8(text);
  }

  std::ostringstream messages_;
  HeadlessDesktop desktop_{messages_};
  Win32Platform platform_{desktop_};
  ScratchFolder folder_;
};

TEST_F(Files, ListingGivesPlainFilesInAnyCaseWithoutTheirFolder) {
  EXPECT_THAT(platform_.ListFiles(folder_ / L"MSG*.TXT"),
              UnorderedElementsAre(L"MSG1.TXT", L"msg7.txt", L"MSG4.TXT"));
  EnterFolder();
  EXPECT_THAT(platform_.ListFiles(L"msg?.txt"),
              UnorderedElementsAre(L"MSG1.TXT", L"msg7.txt", L"MSG4.TXT"));
  EXPECT_THAT(platform_.ListFiles(L"Extract*"), ::testing::IsEmpty());
  EXPECT_THAT(platform_.ListFiles(folder_ / L"nowhere\\MSG*.TXT"),
              ::testing::IsEmpty());
}

TEST_F(Files, DeletingTakesOnlyPlainFilesAndStopsAtAReadOnlyOne) {
  SetFileAttributesW((folder_ / L"MSG4.TXT").c_str(), FILE_ATTRIBUTE_NORMAL);
  platform_.DeleteFiles(folder_.path() + L"\\MSG*.TXT");
  EXPECT_FALSE(folder_.Exists(L"MSG1.TXT"));
  EXPECT_FALSE(folder_.Exists(L"msg7.txt"));
  EXPECT_FALSE(folder_.Exists(L"MSG4.TXT"));
  EXPECT_TRUE(folder_.Exists(L"notes.txt"));
  EXPECT_TRUE(folder_.Exists(L"MSG2.TXT"));
  EXPECT_TRUE(folder_.Exists(L"MSG3.TXT"));
  EXPECT_TRUE(folder_.Exists(L"MSG5.TXT"));

  folder_.Write(L"MSG8.TXT", "x", FILE_ATTRIBUTE_READONLY);
  try {
    platform_.DeleteFiles(folder_ / L"MSG*.TXT");
    ADD_FAILURE() << "a read-only file was deleted";
  } catch (const Failure& f) {
    EXPECT_THAT(f.message(), HasSubstr(L"'" + (folder_ / L"MSG8.TXT") + L"'"));
  }
  EXPECT_TRUE(folder_.Exists(L"MSG8.TXT"));
  platform_.DeleteFiles(folder_ / L"nothing*.txt");
}

TEST_F(Files, RenamingNeverReplacesAndTellsTheCause) {
  EnterFolder();
  try {
    platform_.RenameFile(L"notes.txt", L"Msg1.txt");
    ADD_FAILURE() << "renamed onto an existing file";
  } catch (const Failure& f) {
    EXPECT_EQ(f.reason(), Failure::Reason::TargetExists);
    EXPECT_THAT(f.message(), HasSubstr(L"'notes.txt'"));
  }
  EXPECT_TRUE(folder_.Exists(L"notes.txt"));

  try {
    platform_.RenameFile(L"msg9.txt", L"07-01-28 09-36-14.vch");
    ADD_FAILURE() << "renamed a missing file";
  } catch (const Failure& f) {
    EXPECT_EQ(f.reason(), Failure::Reason::SourceMissing);
    EXPECT_THAT(f.message(), HasSubstr(L"'msg9.txt'"));
  }

  // The source is found under any case of its name.
  platform_.RenameFile(L"NOTES.TXT", L"07-01-28 09-36-14-1.vch");
  EXPECT_FALSE(folder_.Exists(L"notes.txt"));
  EXPECT_TRUE(folder_.Exists(L"07-01-28 09-36-14-1.vch"));
}

TEST_F(Files, OpeningFindsANameInAnyCaseAndNamesAMissingFile) {
  folder_.Write(L"MSG9.TXT", "Subject: Velbrin\r\n");
  EnterFolder();
  EXPECT_EQ(ReadAll(L"msg9.txt"), "Subject: Velbrin\r\n");
  EXPECT_EQ(ReadAll(L"notes.txt"), "x");
  try {
    platform_.OpenTextFile(L"MSG6.txt");
    ADD_FAILURE() << "opened a missing file";
  } catch (const Failure& f) {
    EXPECT_THAT(f.message(), HasSubstr(L"'MSG6.txt'"));
  }
}

TEST_F(Files, AFilesStateChangesWithEveryWriteOrReplacement) {
  EnterFolder();
  EXPECT_FALSE(platform_.GetFileState(L"msg9.txt").exists);
  EXPECT_FALSE(platform_.GetFileState(L"MSG5.TXT").exists);  // a folder

  folder_.Write(L"msg9.txt", "first");
  const auto setWritten = [&](DWORD low) {
    const HANDLE file = CreateFileW((folder_ / L"msg9.txt").c_str(),
                                    FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    const FILETIME time{low, 0x01D00000};
    EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &time));
    CloseHandle(file);
  };
  setWritten(0);
  const FileState first = platform_.GetFileState(L"MSG9.TXT");
  EXPECT_TRUE(first.exists);
  EXPECT_EQ(first.size, 5u);
  EXPECT_EQ(platform_.GetFileState(L"msg9.txt"), first);

  // Written again a tenth of a microsecond later, with the same size.
  setWritten(1);
  EXPECT_NE(platform_.GetFileState(L"msg9.txt"), first);
  // Replaced by another file with the same size and time.
  folder_.Write(L"other", "other");
  ASSERT_TRUE(MoveFileExW((folder_ / L"other").c_str(),
                          (folder_ / L"msg9.txt").c_str(),
                          MOVEFILE_REPLACE_EXISTING));
  setWritten(0);
  EXPECT_NE(platform_.GetFileState(L"msg9.txt"), first);
}

TEST(UpperCase, FollowsTheUsersLocale) {
  std::ostringstream messages;
  HeadlessDesktop desktop(messages);
  Win32Platform platform(desktop);
  EXPECT_EQ(platform.UpperCase(L"Velbrin"), L"VELBRIN");
  EXPECT_EQ(platform.UpperCase(L"caf\u00e9, \u00fcber"), L"CAF\u00c9, \u00dcBER");
  EXPECT_EQ(platform.UpperCase(L""), L"");
}

}  // namespace
}  // namespace quarrow
