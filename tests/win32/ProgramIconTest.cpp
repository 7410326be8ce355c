// The icon that Explorer and the task bar show for Quarrow.exe.
#include <gtest/gtest.h>
#include <windows.h>

#include <set>

#include "BuiltProgram.h"
#include "ui/win32/Resources.h"

namespace quarrow {
namespace {

// An icon group resource as the resource compiler lays it out.
#pragma pack(push, 2)
struct IconGroupEntry {
  BYTE width, height, colours, reserved;
  WORD planes, bitsPerPixel;
  DWORD bytes;
  WORD id;
};
struct IconGroup {
  WORD reserved, type, count;
  IconGroupEntry entries[1];
};
#pragma pack(pop)

// RT_GROUP_ICON, a number the narrow headers spell as a narrow string.
const LPCWSTR kIconGroup = reinterpret_cast<LPCWSTR>(RT_GROUP_ICON);

BOOL CALLBACK TakeFirst(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR first) {
  *reinterpret_cast<LPCWSTR*>(first) = name;
  return FALSE;
}

TEST(ProgramIcon, IsTheFirstIconOfQuarrowExeDrawnAt16And32Pixels) {
  const HMODULE program = LoadLibraryExW(
      testing::BuiltProgram(QUARROW_EXE).c_str(), nullptr,
      LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(program, nullptr);

  // Explorer shows the first icon group.
  LPCWSTR first = nullptr;
  EnumResourceNamesW(program, kIconGroup, TakeFirst,
                     reinterpret_cast<LONG_PTR>(&first));
  EXPECT_EQ(first, MAKEINTRESOURCEW(QUARROW_ICON));

  const HRSRC found =
      FindResourceW(program, MAKEINTRESOURCEW(QUARROW_ICON), kIconGroup);
  ASSERT_NE(found, nullptr) << "Quarrow.exe has no icon";
  const auto* group =
      static_cast<const IconGroup*>(LockResource(LoadResource(program, found)));
  std::multiset<int> sizes;
  for (int i = 0; i < group->count; ++i) {
    EXPECT_EQ(group->entries[i].width, group->entries[i].height);
    EXPECT_EQ(group->entries[i].bitsPerPixel, 32) << "with transparency";
    sizes.insert(group->entries[i].width);
  }
  EXPECT_EQ(sizes, (std::multiset<int>{16, 32}));
  FreeLibrary(program);
}

}  // namespace
}  // namespace quarrow
