#include "platform/posix/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/posix/CaseInsensitiveNames.h"
#include "platform/posix/SystemError.h"
#include "platform/posix/TextFileReader.h"
#include "platform/posix/WindowsPath.h"

namespace quarrow::posix {

namespace {

struct Listed {
  Text name;          // as the core sees it
  std::string bytes;  // as it is on disk
};

Text Quoted(const Text& name) { return L"'" + name + L"'"; }

// Plain files in the folder part of `pattern` matching its name part.
std::vector<Listed> List(const Drives& drives, const Text& pattern,
                         std::string& folder) {
  Text folderName, wildcard;
  SplitFolderAndName(pattern, folderName, wildcard);
  std::vector<Listed> files;
  const auto found = drives.Find(folderName);
  if (!found) return files;
  folder = *found;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return files;
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    const Text name = FromUtf8(entry->d_name);
    if (!MatchesWildcard(name, wildcard)) continue;
    struct stat info;
    if (::stat(JoinPath(folder, entry->d_name).c_str(), &info) == 0 &&
        S_ISREG(info.st_mode))
      files.push_back({name, entry->d_name});
  }
  ::closedir(dir);
  return files;
}

}  // namespace

std::vector<Text> ListFiles(const Drives& drives, const Text& pattern) {
  std::string folder;
  std::vector<Text> names;
  for (Listed& file : List(drives, pattern, folder))
    names.push_back(std::move(file.name));
  return names;
}

void DeleteFiles(const Drives& drives, const Text& pattern) {
  Text folderName, wildcard;
  SplitFolderAndName(pattern, folderName, wildcard);
  std::string folder;
  for (const Listed& file : List(drives, pattern, folder)) {
    const std::string path = JoinPath(folder, file.bytes);
    const Text what =
        L"Cannot delete " + Drives::ShownAt(folderName + file.name, path);
    struct stat info;
    if (::stat(path.c_str(), &info) != 0)
      throw Failure(what + L": " + SystemError(errno));
    if ((info.st_mode & S_IWUSR) == 0)
      throw Failure(what + L": it is read-only");
    if (::unlink(path.c_str()) != 0)
      throw Failure(what + L": " + SystemError(errno));
  }
}

void RenameFile(const Drives& drives, const Text& from, const Text& to) {
  // Built only on failure: every result of a pass is renamed here.
  const auto what = [&] {
    return L"Cannot rename " + drives.Shown(from) + L" to " + drives.Shown(to);
  };
  Text fromFolder, fromName, toFolder, toName;
  SplitFolderAndName(from, fromFolder, fromName);
  SplitFolderAndName(to, toFolder, toName);

  const auto sourceFolder = drives.Find(fromFolder);
  const auto source =
      sourceFolder && !fromName.empty() ? FindEntry(*sourceFolder, fromName)
                                        : std::nullopt;
  if (!source)
    throw Failure(what() + L": it does not exist",
                  Failure::Reason::SourceMissing);

  const auto targetFolder = drives.Find(toFolder);
  if (!targetFolder || toName.empty())
    throw Failure(what() + L": the target folder does not exist");
  // Another spelling of the source's own name is a change of case only.
  const auto existing = FindEntry(*targetFolder, toName);
  if (existing && !(*targetFolder == *sourceFolder && *existing == *source))
    throw Failure(what() + L": " + Quoted(to) + L" exists already",
                  Failure::Reason::TargetExists);

  const std::string sourcePath = JoinPath(*sourceFolder, *source);
  const std::string targetPath = JoinPath(*targetFolder, ToUtf8(toName));
  // A name that turns up between the look-up and the rename must not be
  // overwritten: the kernel refuses it where it can.
  int result = existing ? -1 : ::renameat2(AT_FDCWD, sourcePath.c_str(),
                                           AT_FDCWD, targetPath.c_str(),
                                           RENAME_NOREPLACE);
  if (result != 0 && !existing && errno == EEXIST)
    throw Failure(what() + L": " + Quoted(to) + L" exists already",
                  Failure::Reason::TargetExists);
  if (result != 0 && (existing || errno == EINVAL || errno == ENOSYS))
    result = ::rename(sourcePath.c_str(), targetPath.c_str());
  if (result != 0) throw Failure(what() + L": " + SystemError(errno));
}

FileState GetFileState(const Drives& drives, const Text& name) {
  FileState state;
  const auto path = drives.Find(name);
  struct stat info;
  if (!path || ::stat(path->c_str(), &info) != 0 || !S_ISREG(info.st_mode))
    return state;
  state.exists = true;
  state.id = static_cast<unsigned long long>(info.st_ino);
  state.size = static_cast<unsigned long long>(info.st_size);
  state.modified = static_cast<long long>(info.st_mtim.tv_sec) * 1000000000 +
                   info.st_mtim.tv_nsec;
  return state;
}

std::unique_ptr<TextReader> OpenTextFile(const Drives& drives,
                                         const Text& name) {
  const auto path = drives.Find(name);
  if (!path)
    throw Failure(L"Cannot open " + drives.Shown(name) + L": it does not exist");
  const Text shown = Drives::ShownAt(name, *path);
  const Text what = L"Cannot open " + shown;
  const int fd = ::open(path->c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw Failure(what + L": " + SystemError(errno));
  struct stat info;
  if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    ::close(fd);
    throw Failure(what + L": it is a folder");
  }
  return std::make_unique<TextFileReader>(fd, shown);
}

}  // namespace quarrow::posix
