// The secret store on Windows: each blob encrypted with DPAPI for the
// current user (CryptProtectData), in %LOCALAPPDATA%\Quarrow\signins\. Only
// a process of this user on this machine can decrypt it; the file itself
// needs no protection beyond the profile's.
#include "tools/getmail/SecretStore.h"

#include <windows.h>
#include <dpapi.h>
#include <shlobj.h>

#include <memory>
#include <thread>

#include "tools/getmail/Errors.h"
#include "tools/getmail/win32/WinText.h"

namespace getmail {
namespace {

constexpr const wchar_t* kSuffix = L".signin";

std::string SystemError() { return win32::ErrorText(GetLastError()); }

std::wstring FolderW() {
  PWSTR local = nullptr;
  if (SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &local) != S_OK) {
    CoTaskMemFree(local);
    throw Error("cannot find the local application data folder to keep sign-ins in");
  }
  std::wstring folder = std::wstring(local) + L"\\Quarrow\\signins";
  CoTaskMemFree(local);
  return folder;
}

std::wstring PathOf(const std::string& key) {
  return FolderW() + L"\\" + win32::Widen(key) + kSuffix;
}

struct LocalBlob {
  DATA_BLOB blob{0, nullptr};
  ~LocalBlob() {
    if (blob.pbData != nullptr) {
      SecureZeroMemory(blob.pbData, blob.cbData);
      LocalFree(blob.pbData);
    }
  }
};

struct FileHandle {
  HANDLE handle = INVALID_HANDLE_VALUE;
  ~FileHandle() {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};

}  // namespace

std::string SecretStoreLocation() { return win32::Narrow(FolderW()); }

std::optional<std::string> ReadSecret(const std::string& key) {
  const std::wstring path = PathOf(key);
  FileHandle file;
  file.handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file.handle == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return std::nullopt;
    throw Error("cannot open " + win32::Narrow(path) + ": " + win32::ErrorText(error));
  }
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.handle, &size)) {
    throw Error("cannot read " + win32::Narrow(path) + ": " + SystemError());
  }
  // DPAPI adds a few hundred bytes to what it protects.
  if (size.QuadPart > static_cast<LONGLONG>(2 * kSecretLimit)) {
    throw Error(win32::Narrow(path) + " is too long to be a sign-in");
  }
  std::string sealed(static_cast<std::size_t>(size.QuadPart), '\0');
  DWORD got = 0;
  if (!sealed.empty() &&
      (!ReadFile(file.handle, sealed.data(), static_cast<DWORD>(sealed.size()), &got, nullptr) ||
       got != sealed.size())) {
    throw Error("cannot read " + win32::Narrow(path) + ": " + SystemError());
  }
  DATA_BLOB in{static_cast<DWORD>(sealed.size()),
               reinterpret_cast<BYTE*>(sealed.data())};
  LocalBlob out;
  if (!CryptUnprotectData(&in, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                          &out.blob)) {
    throw Error(win32::Narrow(path) + " cannot be decrypted by this user (" + SystemError() +
                "); sign in again");
  }
  return std::string(reinterpret_cast<const char*>(out.blob.pbData), out.blob.cbData);
}

void WriteSecret(const std::string& key, std::string_view data) {
  const std::wstring folder = FolderW();
  const int made = SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
  if (made != ERROR_SUCCESS && made != ERROR_ALREADY_EXISTS && made != ERROR_FILE_EXISTS) {
    throw Error("cannot create the folder " + win32::Narrow(folder) + ": " +
                win32::ErrorText(static_cast<unsigned long>(made)));
  }
  DATA_BLOB in{static_cast<DWORD>(data.size()),
               reinterpret_cast<BYTE*>(const_cast<char*>(data.data()))};
  LocalBlob sealed;
  if (!CryptProtectData(&in, L"Quarrow sign-in", nullptr, nullptr, nullptr,
                        CRYPTPROTECT_UI_FORBIDDEN, &sealed.blob)) {
    throw Error("cannot encrypt the sign-in: " + SystemError());
  }
  const std::wstring path = PathOf(key);
  const std::wstring temp = path + L"." + std::to_wstring(GetCurrentProcessId()) + L".tmp";
  {
    FileHandle file;
    file.handle = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file.handle == INVALID_HANDLE_VALUE) {
      throw Error("cannot create a file in " + win32::Narrow(folder) + ": " + SystemError());
    }
    DWORD written = 0;
    if (!WriteFile(file.handle, sealed.blob.pbData, sealed.blob.cbData, &written, nullptr) ||
        written != sealed.blob.cbData || !FlushFileBuffers(file.handle)) {
      std::string reason = SystemError();
      CloseHandle(file.handle);
      file.handle = INVALID_HANDLE_VALUE;
      DeleteFileW(temp.c_str());
      throw Error("cannot write " + win32::Narrow(temp) + ": " + reason);
    }
  }
  // Write-through: the rename is on disk when it returns.
  if (!MoveFileExW(temp.c_str(), path.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    std::string reason = SystemError();
    DeleteFileW(temp.c_str());
    throw Error("cannot save " + win32::Narrow(path) + ": " + reason);
  }
}

bool RemoveSecret(const std::string& key) {
  const std::wstring path = PathOf(key);
  if (DeleteFileW(path.c_str())) return true;
  DWORD error = GetLastError();
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return false;
  throw Error("cannot remove " + win32::Narrow(path) + ": " + win32::ErrorText(error));
}

SecretLock::SecretLock(const std::string& key, std::chrono::milliseconds timeout) {
  const std::wstring folder = FolderW();
  SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
  // Opened without sharing: a second run cannot open it until the first
  // closes it (or ends).
  const std::wstring path = folder + L"\\" + win32::Widen(key) + L".lock";
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      handle_ = reinterpret_cast<std::intptr_t>(file);
      return;
    }
    if (GetLastError() != ERROR_SHARING_VIOLATION ||
        std::chrono::steady_clock::now() > deadline) {
      throw Error("cannot lock the sign-in " + win32::Narrow(path) + ": " + SystemError());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

SecretLock::~SecretLock() {
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

std::vector<std::string> SecretKeys() {
  std::vector<std::string> keys;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((FolderW() + L"\\*" + kSuffix).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return keys;
  const std::size_t suffix = wcslen(kSuffix);
  do {
    std::wstring name = found.cFileName;
    // The pattern also matches longer suffixes on some file systems.
    if (name.size() > suffix && name.compare(name.size() - suffix, suffix, kSuffix) == 0) {
      keys.push_back(win32::Narrow(name.substr(0, name.size() - suffix)));
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return keys;
}

}  // namespace getmail
