// Removing what killed runs left behind, on POSIX systems.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tools/getmail/Files.h"

namespace getmail {

int RemoveLeftoverTempFiles() {
  DIR* dir = opendir(".");
  if (dir == nullptr) return 0;  // the run itself then says what is wrong
  const int folder = dirfd(dir);
  int removed = 0;
  while (dirent* entry = readdir(dir)) {
    if (!IsTempFileName(entry->d_name)) continue;
    // A plain file of this user's: never a link (unlinkat would remove only
    // the link, but it is not ours to touch), a folder or another's file.
    struct stat info;
    if (fstatat(folder, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(info.st_mode) || info.st_uid != geteuid()) {
      continue;
    }
    if (unlinkat(folder, entry->d_name, 0) == 0) ++removed;
  }
  closedir(dir);
  return removed;
}

}  // namespace getmail
