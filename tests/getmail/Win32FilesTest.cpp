// getmail's file layer on Windows, in a scratch folder: names beyond ASCII,
// never replacing, hidden files of its own, and reading back while writing.
#include <gtest/gtest.h>
#include <windows.h>
#include <gmime/gmime.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <string>

#include "tools/getmail/Errors.h"
#include "tools/getmail/Files.h"
#include "tools/getmail/FolderLock.h"
#include "tools/getmail/win32/WinText.h"

namespace getmail {
namespace {

class Win32Files : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    // A new folder each time: Wine hands out the same process ids again.
    for (unsigned k = 0;; ++k) {
      folder_ = std::wstring(temp) + L"getmail-files-" + std::to_wstring(GetCurrentProcessId()) +
                L"-" + std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(k);
      if (CreateDirectoryW(folder_.c_str(), nullptr)) break;
      ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    }
    GetCurrentDirectoryW(MAX_PATH, temp);
    previous_ = temp;
    ASSERT_TRUE(SetCurrentDirectoryW(folder_.c_str()));
  }
  void TearDown() override {
    const std::vector<std::string> left = Names();
    SetCurrentDirectoryW(previous_.c_str());
    for (const std::string& name : left) {
      std::wstring path = folder_ + L"\\" + win32::Widen(name);
      SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW(path.c_str());
    }
    RemoveDirectoryW(folder_.c_str());
  }
  std::vector<std::string> Names() {
    std::vector<std::string> names = NamesInCurrentFolder();
    std::sort(names.begin(), names.end());
    return names;
  }
  static std::string Read(const std::string& name) {
    std::string data;
    if (FILE* in = _wfopen(win32::Widen(name).c_str(), L"rb")) {
      char buffer[4096];
      std::size_t got;
      while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) data.append(buffer, got);
      std::fclose(in);
    }
    return data;
  }
  static DWORD Attributes(const std::string& name) {
    return GetFileAttributesW(win32::Widen(name).c_str());
  }

  std::wstring folder_, previous_;
};

TEST_F(Win32Files, NamesBeyondAsciiAreKeptAndNothingIsReplaced) {
  const std::string name = "Extract2-r\xC3\xA9sum\xC3\xA9 \xE2\x82\xAC.pdf";  // résumé €
  WriteFileAtomically(name, "first", true);
  {
    TempFile second("the second");
    second.Write("second");
    second.Close();
    // Without regard to case, as Windows names go.
    EXPECT_FALSE(second.PutInPlace("EXTRACT2-R\xC3\x89SUM\xC3\x89 \xE2\x82\xAC.PDF"));
  }
  EXPECT_EQ(Read(name), "first");
  EXPECT_EQ(Names(), std::vector<std::string>{name});  // no temporary file left

  // The tool's own files are hidden from Quarrow's listings; the others not.
  WriteFileAtomically(".getmail-state", "state", true);
  WriteFileAtomically("MSG1.TXT", "header", false);
  WriteFileAtomically(".getmail-state", "state again", true);  // replaces a hidden file
  EXPECT_NE(Attributes(".getmail-state") & FILE_ATTRIBUTE_HIDDEN, 0u);
  EXPECT_EQ(Attributes("MSG1.TXT") & FILE_ATTRIBUTE_HIDDEN, 0u);
  EXPECT_EQ(Attributes(name) & FILE_ATTRIBUTE_HIDDEN, 0u);
  EXPECT_EQ(Read(".getmail-state"), "state again");
  EXPECT_EQ(TextFileMark(), "\xEF\xBB\xBF");
}

TEST_F(Win32Files, AFileIsReadBackWhileItIsWrittenAndAfterItIsPlaced) {
  TempFile file("the body file");
  file.Write("Subject: one\r\n");
  GMimeStream* stream = file.ReadStream();
  file.Write("\r\nbody\r\n");
  file.Close();
  ASSERT_TRUE(file.PutInPlace("MSG4.TXT"));
  char buffer[64];
  gssize got = g_mime_stream_read(stream, buffer, sizeof buffer);
  g_object_unref(stream);
  ASSERT_GT(got, 0);
  EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(got)), "Subject: one\r\n\r\nbody\r\n");
  EXPECT_EQ(Read("MSG4.TXT"), "Subject: one\r\n\r\nbody\r\n");
}

TEST_F(Win32Files, TheFolderLockIsHiddenAndHeldByOneRunAndLeftoversGoUnderIt) {
  _putenv_s(kFolderLockVariable, "");
  {
    FolderLock first;
    EXPECT_FALSE(first.inherited());
    EXPECT_NE(Attributes(kFolderLockFileName) & FILE_ATTRIBUTE_HIDDEN, 0u);
    // Another handle of it counts as another job's.
    EXPECT_THROW(FolderLock(), Error);
  }
  // The job's handle, handed down by its number.
  HANDLE job = CreateFileW(win32::Widen(kFolderLockFileName).c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(job, INVALID_HANDLE_VALUE);
  OVERLAPPED at{};
  ASSERT_TRUE(LockFileEx(job, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at));
  _putenv_s(kFolderLockVariable,
            std::to_string(reinterpret_cast<std::uintptr_t>(job)).c_str());
  {
    FolderLock handed;
    EXPECT_TRUE(handed.inherited());
  }
  _putenv_s(kFolderLockVariable, "12345");  // no handle of it
  EXPECT_THROW(FolderLock(), Error);
  CloseHandle(job);
  _putenv_s(kFolderLockVariable, "");

  // Left by killed runs: a file of ours, and under our names a folder; and
  // another program's file.
  for (const char* name : {".getmail-k1ll3d.part", "other.part"}) {
    FILE* out = _wfopen(win32::Widen(name).c_str(), L"wb");
    ASSERT_NE(out, nullptr);
    std::fclose(out);
  }
  ASSERT_TRUE(CreateDirectoryW(L".getmail-f0lder.part", nullptr));
  EXPECT_EQ(RemoveLeftoverTempFiles(), 1);
  EXPECT_TRUE(RemoveDirectoryW(L".getmail-f0lder.part"));
  EXPECT_EQ(Names(), (std::vector<std::string>{".quarrow.lock", "other.part"}));
}

// A mail folder deep in the tree and an attachment's long name make paths
// beyond MAX_PATH (260 characters): written, listed, replaced and removed
// all the same.
TEST_F(Win32Files, PathsLongerThanMaxPathAreTakenWhole) {
  std::wstring deep = folder_ + L"\\" + std::wstring(90, L'd');
  ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
  ASSERT_TRUE(SetCurrentDirectoryW(deep.c_str()));
  const std::string name = "Extract1-" + std::string(176, 'n') + ".pdf";
  ASSERT_GT(deep.size() + 1 + name.size(), static_cast<std::size_t>(MAX_PATH));
  std::string error;
  try {
    TempFile file(name);
    file.Write("attachment");
    file.Close();
    EXPECT_TRUE(file.PutInPlace(name));
    WriteFileAtomically(".getmail-state", "state", true);
    EXPECT_EQ(Names(), (std::vector<std::string>{".getmail-state", name}));
    EXPECT_NE(GetFileAttributesW((L"\\\\?\\" + deep + L"\\.getmail-state").c_str()) &
                  FILE_ATTRIBUTE_HIDDEN,
              0u);
    RemoveIfPresent(name);
    RemoveIfPresent(".getmail-state");
    EXPECT_TRUE(Names().empty());
  } catch (const std::exception& failure) {
    error = failure.what();
  }
  SetCurrentDirectoryW(folder_.c_str());
  EXPECT_EQ(error, "");
  const std::wstring longName = L"\\\\?\\" + deep + L"\\" + win32::Widen(name);
  SetFileAttributesW((L"\\\\?\\" + deep + L"\\.getmail-state").c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW((L"\\\\?\\" + deep + L"\\.getmail-state").c_str());
  DeleteFileW(longName.c_str());
  RemoveDirectoryW(deep.c_str());
}

}  // namespace
}  // namespace getmail
