#include "platform/win32/FileOperations.h"

#include <windows.h>

#include "platform/win32/SystemMessage.h"

namespace quarrow::win32 {

namespace {

bool IsPlainFile(const WIN32_FIND_DATAW& found) {
  return !(found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY |
                                     FILE_ATTRIBUTE_HIDDEN |
                                     FILE_ATTRIBUTE_SYSTEM));
}

}  // namespace

Text FolderPart(const Text& pattern) {
  const size_t end = pattern.find_last_of(L"\\/:");
  return end == Text::npos ? Text() : pattern.substr(0, end + 1);
}

std::vector<Text> ListFiles(const Text& pattern) {
  std::vector<Text> names;
  WIN32_FIND_DATAW found;
  const HANDLE search =
      FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found,
                       FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    // Nothing matches, or the folder is not there: no names.
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
        error == ERROR_NO_MORE_FILES)
      return names;
    throw SystemFailure(L"list " + Quoted(pattern), error);
  }
  do {
    if (IsPlainFile(found)) names.emplace_back(found.cFileName);
  } while (FindNextFileW(search, &found));
  const DWORD error = GetLastError();
  FindClose(search);
  if (error != ERROR_NO_MORE_FILES) {
    throw SystemFailure(L"list " + Quoted(pattern), error);
  }
  return names;
}

void DeleteFiles(const Text& pattern) {
  const Text folder = FolderPart(pattern);
  for (const Text& name : ListFiles(pattern)) {
    const Text path = folder + name;
    if (!DeleteFileW(path.c_str()))
      throw LastErrorFailure(L"delete " + Quoted(path));
  }
}

void RenameFile(const Text& from, const Text& to) {
  // Without MOVEFILE_REPLACE_EXISTING it never replaces an existing file;
  // written through, the new name is on disk when it returns.
  if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) return;
  const DWORD error = GetLastError();
  const Text what = L"Cannot rename " + Quoted(from) + L" to " + Quoted(to);
  if (error == ERROR_FILE_NOT_FOUND)
    throw Failure(what + L": " + Quoted(from) + L" does not exist",
                  Failure::Reason::SourceMissing);
  if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)
    throw Failure(what + L": " + Quoted(to) + L" already exists",
                  Failure::Reason::TargetExists);
  throw Failure(what + L": " + SystemMessage(error));
}

FileState GetFileState(const Text& name) {
  FileState state;
  // Opened for no access at all: its attributes can still be read, and no
  // sharing mode of another program's can stand in the way.
  const HANDLE file = CreateFileW(
      name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return state;
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileInformationByHandle(file, &info) &&
      !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    const auto join = [](DWORD high, DWORD low) {
      return (static_cast<unsigned long long>(high) << 32) | low;
    };
    state.exists = true;
    state.id = join(info.nFileIndexHigh, info.nFileIndexLow);
    state.size = join(info.nFileSizeHigh, info.nFileSizeLow);
    state.modified = static_cast<long long>(
        join(info.ftLastWriteTime.dwHighDateTime,
             info.ftLastWriteTime.dwLowDateTime));
  }
  CloseHandle(file);
  return state;
}

}  // namespace quarrow::win32
