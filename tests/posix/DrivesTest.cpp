#include <gtest/gtest.h>

#include "LayerFixture.h"

namespace quarrow::posix::testing {
namespace {

using Drives = LayerTest;

TEST_F(Drives, MappedLetterSelectsItsFolderAndOthersDoNotExist) {
  tmp.Folder("c/mail");
  auto p = Make();
  p->SelectDrive(L'c');
  EXPECT_EQ(WorkingFolder(), tmp / "c");
  p->ChangeFolder(L"c:\\mail");
  EXPECT_EQ(WorkingFolder(), tmp / "c/mail");

  EXPECT_EQ(FailureOf([&] { p->SelectDrive(L'm'); }),
            L"Cannot select drive 'm:': there is no such drive");
  EXPECT_EQ(WorkingFolder(), tmp / "c/mail");
}

TEST_F(Drives, WithoutVariablesCIsHomeAndZIsTheRoot) {
  environment.erase("QUARROW_DRIVE_C");
  environment.erase("QUARROW_DRIVE_D");
  auto p = Make();
  p->SelectDrive(L'C');
  EXPECT_EQ(WorkingFolder(), tmp / "home");
  // Z: holds the folder the process started in, its current one.
  p->SelectDrive(L'z');
  EXPECT_EQ(WorkingFolder(), tmp.path());
  p->ChangeFolder(L"\\");
  EXPECT_EQ(WorkingFolder(), "/");
  EXPECT_NE(FailureOf([&] { p->SelectDrive(L'd'); }), L"");
}

TEST_F(Drives, AVariableNamingNoFolderIsNoDrive) {
  environment["QUARROW_DRIVE_E"] = tmp / "missing";
  auto p = Make();
  EXPECT_NE(FailureOf([&] { p->SelectDrive(L'e'); }), L"");
}

TEST_F(Drives, EachDriveKeepsItsOwnCurrentFolder) {
  tmp.Folder("c/mail");
  tmp.Folder("d/other");
  tmp.Folder("d/third");
  auto p = Make();
  p->SelectDrive(L'c');
  p->ChangeFolder(L"c:\\mail");
  p->SelectDrive(L'd');
  EXPECT_EQ(WorkingFolder(), tmp / "d");  // at first its root
  p->ChangeFolder(L"other");
  p->SelectDrive(L'c');
  EXPECT_EQ(WorkingFolder(), tmp / "c/mail");

  // Another drive's folder changes only for that drive.
  p->ChangeFolder(L"d:\\third");
  EXPECT_EQ(WorkingFolder(), tmp / "c/mail");
  p->SelectDrive(L'd');
  EXPECT_EQ(WorkingFolder(), tmp / "d/third");
}

TEST_F(Drives, RelativeRootedAndSlashedNames) {
  tmp.Folder("c/mail/inner");
  tmp.Folder("c/top");
  auto p = Make();
  p->SelectDrive(L'c');
  p->ChangeFolder(L"mail");
  p->ChangeFolder(L"inner\\");
  EXPECT_EQ(WorkingFolder(), tmp / "c/mail/inner");
  p->ChangeFolder(L"..\\..\\top");
  EXPECT_EQ(WorkingFolder(), tmp / "c/top");
  p->ChangeFolder(L"\\mail");
  EXPECT_EQ(WorkingFolder(), tmp / "c/mail");
  p->ChangeFolder(L"C:/MAIL//Inner");
  EXPECT_EQ(WorkingFolder(), tmp / "c/mail/inner");
  p->ChangeFolder(L"c:\\..\\..");  // no higher than the root
  EXPECT_EQ(WorkingFolder(), tmp / "c");
}

TEST_F(Drives, StartsOnTheDriveThatHoldsTheWorkingFolder) {
  tmp.Folder("d/sub/x");
  ASSERT_EQ(::chdir((tmp / "d/sub").c_str()), 0);
  auto p = Make();
  p->ChangeFolder(L"x");
  EXPECT_EQ(WorkingFolder(), tmp / "d/sub/x");
  p->SelectDrive(L'c');
  p->SelectDrive(L'd');
  EXPECT_EQ(WorkingFolder(), tmp / "d/sub/x");
}

TEST_F(Drives, FolderFailuresNameTheFolderAndLeaveTheCurrentOne) {
  tmp.File("c/file.txt");
  auto p = Make();
  p->SelectDrive(L'c');
  const Text c = FromUtf8(tmp / "c");
  EXPECT_EQ(FailureOf([&] { p->ChangeFolder(L"c:\\mail"); }),
            L"Cannot make 'c:\\mail' (" + c +
                L"/mail) the current folder: it does not exist");
  EXPECT_EQ(FailureOf([&] { p->ChangeFolder(L"c:\\file.txt"); }),
            L"Cannot make 'c:\\file.txt' (" + c +
                L"/file.txt) the current folder: it is not a folder");
  EXPECT_EQ(FailureOf([&] { p->ChangeFolder(L""); }),
            L"Cannot make '' the current folder: the name is empty");
  EXPECT_EQ(FailureOf([&] { p->ChangeFolder(L"q:\\x"); }),
            L"Cannot make 'q:\\x' the current folder: there is no such drive");
  EXPECT_EQ(WorkingFolder(), tmp / "c");
}

// Messages show a name with the path it maps to: found without regard to
// case as far as it exists, as written after that, from the drive's current
// folder where the name is relative.
TEST_F(Drives, NamesAreShownWithThePathTheyMapTo) {
  tmp.Folder("c/Mail/Sub");
  tmp.Folder("d/x");
  auto p = Make();
  p->SelectDrive(L'c');
  p->ChangeFolder(L"MAIL");
  const std::string c = tmp / "c";
  const struct {
    Text name;
    std::string path;  // "" for none
  } cases[] = {
      {L"c:\\MAIL\\sub\\New Folder\\x.txt", c + "/Mail/Sub/New Folder/x.txt"},
      {L"msg1.txt", c + "/Mail/msg1.txt"},
      {L"sub\\..\\.\\Extract1-a.jpg", c + "/Mail/Extract1-a.jpg"},
      {L"\\utils\\PDA", c + "/utils/PDA"},
      {L"D:X/y", tmp / "d/x/y"},
      {L"c:", c + "/Mail"},
      {L"q:\\x", ""},
      {L"", ""},
  };
  for (const auto& [name, path] : cases) {
    EXPECT_EQ(p->DisplayPath(name),
              path.empty() ? name : name + L" (" + FromUtf8(path) + L")");
  }
}

TEST_F(Drives, ACurrentFolderRemovedMeanwhileLeavesTheDriveAtItsRoot) {
  tmp.Folder("d/gone");
  auto p = Make();
  p->SelectDrive(L'd');
  p->ChangeFolder(L"gone");
  p->SelectDrive(L'c');
  std::filesystem::remove(tmp / "d/gone");
  p->SelectDrive(L'd');
  EXPECT_EQ(WorkingFolder(), tmp / "d");
}

TEST(DriveNames, RealFoldersReadOnTheDriveWithTheLongestMapping) {
  TempFolder tmp;
  tmp.Folder("c/a/b/deep");
  const std::map<std::string, std::string> environment = {
      {"QUARROW_DRIVE_C", tmp / "c"}, {"QUARROW_DRIVE_D", tmp / "c/a/b"}};
  const posix::Drives drives([&](const char* name) -> const char* {
    const auto found = environment.find(name);
    return found == environment.end() ? nullptr : found->second.c_str();
  });
  EXPECT_EQ(drives.WindowsName(tmp / "c/a"), L"C:\\a");
  EXPECT_EQ(drives.WindowsName(tmp / "c"), L"C:\\");
  EXPECT_EQ(drives.WindowsName(tmp / "c/a/b/deep"), L"D:\\deep");
  EXPECT_EQ(drives.WindowsName(tmp / "c/a/bc"), L"C:\\a\\bc");
  EXPECT_EQ(drives.WindowsName("/usr/bin"), L"Z:\\usr\\bin");
  // And back to the same folder.
  EXPECT_EQ(drives.Find(L"D:\\DEEP"), tmp / "c/a/b/deep");
}

}  // namespace
}  // namespace quarrow::posix::testing
