// Removing what killed runs left behind, on Windows.
#include <windows.h>

#include "tools/getmail/Files.h"
#include "tools/getmail/win32/WinText.h"

namespace getmail {

int RemoveLeftoverTempFiles() {
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileExW(L".getmail-*.part", FindExInfoBasic, &entry,
                                 FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) return 0;
  int removed = 0;
  do {
    // Plain files only: never a folder, nor a link or junction (a reparse
    // point), whose target is not ours. The wildcard also matches short
    // names, so the long name is checked again.
    const std::string name = win32::Narrow(entry.cFileName);
    if ((entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
        !IsTempFileName(name)) {
      continue;
    }
    if (DeleteFileW(entry.cFileName)) ++removed;
  } while (FindNextFileW(find, &entry));
  FindClose(find);
  return removed;
}

}  // namespace getmail
