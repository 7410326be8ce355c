// The folder lock on Windows: LockFileEx on byte 0 of ".quarrow.lock".
#include "tools/getmail/FolderLock.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/getmail/Errors.h"
#include "tools/getmail/win32/WinText.h"

namespace getmail {
namespace {

// The handle that kFolderLockVariable names, if it is a decimal number.
HANDLE NamedHandle() {
  const char* text = std::getenv(kFolderLockVariable);
  if (text == nullptr || *text == '\0' || std::strlen(text) > 18) return nullptr;
  unsigned long long value = 0;
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9') return nullptr;
    value = value * 10 + static_cast<unsigned long long>(*c - '0');
  }
  return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(value));
}

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
         a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

// Whether the job that started this run handed down `held`, a handle of the
// lock file here. Windows ties a lock to the process that took it, so the
// job's lock cannot be tried from here; the job holds it by the contract
// between the two.
bool JobHandedDownLock(HANDLE held) {
  BY_HANDLE_FILE_INFORMATION job, here;
  if (held == nullptr || !GetFileInformationByHandle(held, &job)) return false;
  // Opened for its identity only: no access, every sharing.
  HANDLE file = CreateFileW(win32::Widen(kFolderLockFileName).c_str(), 0,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool same = GetFileInformationByHandle(file, &here) && SameFile(job, here);
  CloseHandle(file);
  return same;
}

}  // namespace

FolderLock::FolderLock() {
  HANDLE inherited = NamedHandle();
  if (JobHandedDownLock(inherited)) {
    // Not handed on to programs this run starts (the token command), which
    // could outlive it.
    SetHandleInformation(inherited, HANDLE_FLAG_INHERIT, 0);
    return;
  }
  // Hidden when made here; a reparse point under the name is opened itself,
  // never followed, and refused.
  HANDLE file = CreateFileW(win32::Widen(kFolderLockFileName).c_str(),
                            GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    if (error == ERROR_SHARING_VIOLATION) throw Error(kFolderBusyText);
    throw Error(std::string("cannot open the folder's lock file ") + kFolderLockFileName + ": " +
                win32::ErrorText(error));
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    CloseHandle(file);
    throw Error(std::string("cannot open the folder's lock file ") + kFolderLockFileName +
                ": it is not a plain file");
  }
  OVERLAPPED at{};
  if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
    DWORD error = GetLastError();
    CloseHandle(file);
    if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) throw Error(kFolderBusyText);
    throw Error(std::string("cannot lock ") + kFolderLockFileName + ": " +
                win32::ErrorText(error));
  }
  own_ = reinterpret_cast<std::intptr_t>(file);
}

FolderLock::~FolderLock() {
  if (own_ != -1) CloseHandle(reinterpret_cast<HANDLE>(own_));
}

}  // namespace getmail
