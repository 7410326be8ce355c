// The version record that Windows shows in the properties of Quarrow.exe
// and of getmail.exe.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "BuiltProgram.h"

namespace quarrow {
namespace {

struct Program {
  const char* path;
  const wchar_t* internalName;
  const wchar_t* fileName;
};

class VersionRecord : public ::testing::TestWithParam<Program> {
 protected:
  VersionRecord() {
    const std::wstring program = testing::BuiltProgram(GetParam().path);
    DWORD ignored = 0;
    record_.resize(GetFileVersionInfoSizeW(program.c_str(), &ignored));
    if (!record_.empty())
      GetFileVersionInfoW(program.c_str(), 0,
                          static_cast<DWORD>(record_.size()), record_.data());
  }

  std::wstring Text(const std::wstring& name) {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring key = L"\\StringFileInfo\\040904B0\\" + name;
    if (!VerQueryValueW(record_.data(), key.c_str(), &value, &length) ||
        length == 0)
      return L"(none)";
    return std::wstring(static_cast<const wchar_t*>(value), length - 1);
  }

  std::vector<char> record_;
};

TEST_P(VersionRecord, NamesTheProductAndItsVersionInUsEnglish) {
  ASSERT_FALSE(record_.empty()) << GetParam().path << " has no version record";
  EXPECT_EQ(Text(L"ProductName"), L"Quarrow");
  EXPECT_EQ(Text(L"InternalName"), GetParam().internalName);
  EXPECT_EQ(Text(L"OriginalFilename"), GetParam().fileName);
  EXPECT_EQ(Text(L"FileVersion"), L"1.00.0010");
  EXPECT_EQ(Text(L"ProductVersion"), L"1.00.0010");

  void* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(record_.data(), L"\\", &value, &length));
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
  EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(0, 1));
  EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(10, 0));
  EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(0, 1));
  EXPECT_EQ(fixed->dwProductVersionLS, MAKELONG(10, 0));

  ASSERT_TRUE(VerQueryValueW(record_.data(), L"\\VarFileInfo\\Translation",
                             &value, &length));
  ASSERT_EQ(length, 4u);
  const auto* language = static_cast<const WORD*>(value);
  EXPECT_EQ(language[0], 0x409);
  EXPECT_EQ(language[1], 1200);
}

INSTANTIATE_TEST_SUITE_P(Programs, VersionRecord,
                         ::testing::Values(
#ifdef GETMAIL_EXE
                             Program{GETMAIL_EXE, L"getmail", L"getmail.exe"},
#endif
                             Program{QUARROW_EXE, L"Quarrow", L"Quarrow.exe"}));

}  // namespace
}  // namespace quarrow
