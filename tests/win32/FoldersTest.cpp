// Drive selection and the per-drive current folders, in real folders. The
// tests' Wine prefix has a drive M besides C (see CMakeLists.txt).
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

std::wstring Upper(std::wstring path) {
  for (auto& c : path) c = towupper(c);
  return path;
}

MATCHER_P(IsFolder, expected, "") {
  return Upper(arg) == Upper(expected);
}

wchar_t MissingDrive() {
  const DWORD drives = GetLogicalDrives();
  for (int i = 25; i >= 0; --i)
    if (!(drives & (1u << i))) return static_cast<wchar_t>(L'A' + i);
  return 0;
}

class Folders : public ::testing::Test {
 protected:
  std::ostringstream messages_;
  HeadlessDesktop desktop_{messages_};
  Win32Platform platform_{desktop_};
  ScratchFolder onC_;                 // on the temporary folder's drive C
  ScratchFolder onM_{L"M:\\"};        // on the tests' drive M
};

TEST_F(Folders, AFolderWithOrWithoutItsBackslashBecomesCurrent) {
  onC_.MakeFolder(L"mail");
  platform_.SelectDrive(L'c');
  platform_.ChangeFolder(onC_ / L"mail");
  EXPECT_THAT(ScratchFolder::CurrentFolder(), IsFolder(onC_ / L"mail"));
  platform_.ChangeFolder(onC_.path() + L"\\");
  EXPECT_THAT(ScratchFolder::CurrentFolder(), IsFolder(onC_.path()));
  // Relative to the folder just made current; names in any case.
  platform_.ChangeFolder(L"MAIL");
  EXPECT_THAT(ScratchFolder::CurrentFolder(), IsFolder(onC_ / L"mail"));
}

TEST_F(Folders, EachDriveKeepsItsOwnFolder) {
  platform_.SelectDrive(L'C');
  platform_.ChangeFolder(onC_.path());
  platform_.SelectDrive(L'm');
  platform_.ChangeFolder(onM_.path());
  EXPECT_THAT(ScratchFolder::CurrentFolder(), IsFolder(onM_.path()));

  platform_.SelectDrive(L'c');
  EXPECT_THAT(ScratchFolder::CurrentFolder(), IsFolder(onC_.path()));
  platform_.SelectDrive(L'M');
  EXPECT_THAT(ScratchFolder::CurrentFolder(), IsFolder(onM_.path()));
}

TEST_F(Folders, AFolderOnAnotherDriveBecomesThatDrivesFolderOnly) {
  onM_.MakeFolder(L"mail");
  platform_.SelectDrive(L'c');
  platform_.ChangeFolder(onC_.path());
  platform_.ChangeFolder(onM_ / L"mail");
  EXPECT_THAT(ScratchFolder::CurrentFolder(), IsFolder(onC_.path()));
  platform_.SelectDrive(L'm');
  EXPECT_THAT(ScratchFolder::CurrentFolder(), IsFolder(onM_ / L"mail"));
}

TEST_F(Folders, ARelativeNameStartsFromItsDrivesFolder) {
  // As a mail folder "mail" does: drive M, then "mail" from M's folder.
  onM_.MakeFolder(L"mail");
  platform_.SelectDrive(L'm');
  platform_.ChangeFolder(onM_.path());
  platform_.SelectDrive(L'c');
  platform_.SelectDrive(L'm');
  platform_.ChangeFolder(L"mail");
  EXPECT_THAT(ScratchFolder::CurrentFolder(), IsFolder(onM_ / L"mail"));
}

TEST_F(Folders, FailuresNameTheFolderOrDriveAndLeaveTheCurrentFolder) {
  platform_.SelectDrive(L'c');
  platform_.ChangeFolder(onC_.path());
  const std::wstring missing = onC_ / L"nowhere";
  try {
    platform_.ChangeFolder(missing);
    ADD_FAILURE() << "a missing folder became current";
  } catch (const Failure& f) {
    EXPECT_EQ(f.message(), L"Cannot make '" + missing +
                               L"' the current folder: it does not exist");
  }
  onC_.Write(L"notes.txt");
  EXPECT_THROW(platform_.ChangeFolder(onC_ / L"notes.txt"), Failure);
  EXPECT_THROW(platform_.ChangeFolder(L""), Failure);
  EXPECT_THAT(ScratchFolder::CurrentFolder(), IsFolder(onC_.path()));

  const wchar_t drive = MissingDrive();
  ASSERT_NE(drive, 0);
  try {
    platform_.SelectDrive(drive);
    ADD_FAILURE() << "a missing drive was selected";
  } catch (const Failure& f) {
    EXPECT_THAT(f.what(), HasSubstr("does not exist"));
    EXPECT_THAT(f.message(), HasSubstr(std::wstring{drive, L':'}));
  }
  EXPECT_THROW(platform_.SelectDrive(L'\\'), Failure);
  EXPECT_THAT(ScratchFolder::CurrentFolder(), IsFolder(onC_.path()));
}

}  // namespace
}  // namespace quarrow
