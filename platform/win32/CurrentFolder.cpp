#include "platform/win32/CurrentFolder.h"

#include <direct.h>
#include <windows.h>

#include <cwctype>

#include "platform/win32/SystemMessage.h"

namespace quarrow::win32 {

namespace {

Text CurrentFolderOfProcess() {
  DWORD size = MAX_PATH;
  Text folder;
  for (;;) {
    folder.resize(size);
    const DWORD length = GetCurrentDirectoryW(size, folder.data());
    if (length < size) {
      folder.resize(length);
      return folder;
    }
    size = length;
  }
}

Text FullPath(const Text& name) {
  const DWORD size = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
  if (size == 0) return Text();
  Text full(size, L'\0');
  const DWORD length = GetFullPathNameW(name.c_str(), size, full.data(), nullptr);
  full.resize(length < size ? length : 0);
  return full;
}

// 'C' for "c:\mail", 0 for a folder without a drive letter (a share).
wchar_t DriveOf(const Text& fullPath) {
  if (fullPath.size() >= 2 && fullPath[1] == L':' && std::iswalpha(fullPath[0]))
    return static_cast<wchar_t>(std::towupper(fullPath[0]));
  return 0;
}

// Notes `folder` as the current folder of its drive, so the drive finds it
// again when it is selected later. The C runtime on Windows does this in
// _wchdir; not every runtime does.
void RememberForDrive(const Text& folder) {
  const wchar_t drive = DriveOf(folder);
  if (drive == 0) return;
  const wchar_t variable[] = {L'=', drive, L':', L'\0'};
  SetEnvironmentVariableW(variable, folder.c_str());
}

Failure FolderFailure(const Text& folder, DWORD error) {
  const Text why = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                       ? Text(L"it does not exist")
                       : SystemMessage(error);
  return Failure(L"Cannot make " + Quoted(folder) + L" the current folder: " +
                 why);
}

}  // namespace

void SelectDrive(wchar_t letter) {
  const wchar_t upper = static_cast<wchar_t>(std::towupper(letter));
  const wchar_t root[] = {upper, L':', L'\\', L'\0'};
  if (upper < L'A' || upper > L'Z' ||
      GetDriveTypeW(root) == DRIVE_NO_ROOT_DIR)
    throw Failure(L"Cannot select drive " + Quoted(Text{letter, L':'}) +
                  L": it does not exist");
  RememberForDrive(CurrentFolderOfProcess());
  // The drive's own folder may have gone since; its root is still there.
  if (_chdrive(upper - L'A' + 1) != 0 && _wchdir(root) != 0)
    throw LastErrorFailure(L"select drive " + Quoted(Text{letter, L':'}));
  RememberForDrive(CurrentFolderOfProcess());
}

void ChangeFolder(const Text& folder) {
  if (folder.empty())
    throw Failure(L"Cannot make the current folder from an empty name");
  // "d:\x" while C is current changes D's own folder and leaves the
  // process where it is; a relative name starts from its drive's folder.
  const Text full = FullPath(folder);
  const DWORD attributes =
      full.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(full.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES)
    throw FolderFailure(folder, GetLastError());
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
    throw Failure(L"Cannot make " + Quoted(folder) +
                  L" the current folder: it is not a folder");
  const wchar_t drive = DriveOf(full);
  if (drive != 0 && drive != DriveOf(CurrentFolderOfProcess())) {
    RememberForDrive(full);
    return;
  }
  if (_wchdir(full.c_str()) != 0) throw FolderFailure(folder, GetLastError());
  RememberForDrive(CurrentFolderOfProcess());
}

}  // namespace quarrow::win32
