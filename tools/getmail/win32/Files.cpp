// The file layer on Windows: wide-character names (UTF-8 in the tool),
// CreateFileW with CREATE_NEW, MoveFileExW with write-through.
#include "tools/getmail/Files.h"

#include <windows.h>
#include <bcrypt.h>
#include <fcntl.h>
#include <gmime/gmime.h>
#include <io.h>

#include <algorithm>

#include "tools/getmail/Errors.h"
#include "tools/getmail/Stopping.h"
#include "tools/getmail/win32/WinText.h"

namespace getmail {
namespace {

std::string SystemError() { return win32::ErrorText(GetLastError()); }

// 12 characters of [a-z0-9] from the system's random source, so that no one
// can plant something under the name beforehand.
std::string RandomPart() {
  static const char kDigits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char bytes[12];
  if (BCryptGenRandom(nullptr, bytes, sizeof bytes, BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0) {
    throw Error("cannot make a name for a temporary file");
  }
  std::string part;
  for (unsigned char byte : bytes) part += kDigits[byte % 36];
  return part;
}

HANDLE Handle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// `name` in the current folder as a whole path in the "\\?\" form, which the
// wide API takes beyond MAX_PATH (260 characters): a mail folder deep in the
// tree with an attachment's long name would pass it. The form also takes
// the name as it is, which the names here allow (SafeName keeps trailing
// dots and blanks and device names out).
std::wstring LongPath(const std::string& name) {
  std::wstring folder(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data());
    if (n == 0) return win32::Widen(name);  // the plain name, relative as before
    if (n < folder.size()) {
      folder.resize(n);
      break;
    }
    folder.resize(n);
  }
  if (folder.rfind(L"\\\\?\\", 0) != 0 && folder.rfind(L"\\\\.\\", 0) != 0) {
    folder = folder.rfind(L"\\\\", 0) == 0 ? L"\\\\?\\UNC\\" + folder.substr(2)
                                         : L"\\\\?\\" + folder;
  }
  if (folder.back() != L'\\') folder += L'\\';
  return folder + win32::Widen(name);
}

// Files the tool keeps for itself (".getmail-state") are hidden, as their
// names would make them on Linux; everything else is a plain file that
// Quarrow lists.
void MarkHiddenIfDotName(const std::string& name) {
  if (!name.empty() && name[0] == '.') {
    SetFileAttributesW(LongPath(name).c_str(), FILE_ATTRIBUTE_HIDDEN);
  }
}

// Whether two handles are the same file: same volume and file index.
bool SameFile(HANDLE a, HANDLE b) {
  BY_HANDLE_FILE_INFORMATION x, y;
  return GetFileInformationByHandle(a, &x) && GetFileInformationByHandle(b, &y) &&
         x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
         x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
}

}  // namespace

std::string_view TextFileMark() { return "\xEF\xBB\xBF"; }

TempFile::TempFile(std::string purpose, Readers readers)
    : purpose_(std::move(purpose)), readers_(readers) {
  // CREATE_NEW: a name that exists, a planted link included, is never
  // opened. Others may read and rename it, never write it.
  for (int attempt = 0; attempt < 100; ++attempt) {
    name_ = ".getmail-" + RandomPart() + ".part";
    HANDLE file = INVALID_HANDLE_VALUE;
    DWORD error = 0;
    if (CreateNotedTempFile(name_, [&] {
          file = CreateFileW(LongPath(name_).c_str(), GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
          error = GetLastError();
          return file != INVALID_HANDLE_VALUE;
        })) {
      handle_ = reinterpret_cast<std::intptr_t>(file);
      return;
    }
    SetLastError(error);
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  handle_ = -1;
  throw Error("cannot create a file in the current folder for " + purpose_ + ": " +
              SystemError());
}

TempFile::~TempFile() {
  if (handle_ != -1) CloseHandle(Handle(handle_));
  if (!placed_) DeleteFileW(LongPath(name_).c_str());
  ForgetTempFile(name_);
}

void TempFile::WriteOut(std::string_view data) {
  // Each write names its offset, like pwrite; the read stream has a handle
  // of its own with its own position.
  std::size_t done = 0;
  while (done < data.size()) {
    const std::uint64_t at = written_ + done;
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(at);
    where.OffsetHigh = static_cast<DWORD>(at >> 32);
    const DWORD chunk =
        static_cast<DWORD>(std::min<std::size_t>(data.size() - done, 1u << 30));
    DWORD wrote = 0;
    if (!WriteFile(Handle(handle_), data.data() + done, chunk, &wrote, &where) || wrote == 0) {
      throw Error("cannot write " + purpose_ + ": " + SystemError());
    }
    done += wrote;
  }
  written_ += done;
}

GMimeStream* TempFile::ReadStream() {
  Drain();
  // A handle of its own, so that reading never moves the writer's position;
  // opened without following a reparse point, and checked to be this very
  // file, in case the name was changed meanwhile.
  HANDLE reader = CreateFileW(LongPath(name_).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (reader == INVALID_HANDLE_VALUE) {
    throw Error("cannot read " + purpose_ + " back: " + SystemError());
  }
  if (!SameFile(reader, Handle(handle_))) {
    CloseHandle(reader);
    throw Error("cannot read " + purpose_ + " back: the file was replaced");
  }
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(reader), _O_RDONLY | _O_BINARY);
  if (fd < 0) {
    CloseHandle(reader);
    throw Error("cannot read " + purpose_ + " back");
  }
  // The stream seeks to its own position before every read.
  return g_mime_stream_fs_new_with_bounds(fd, 0, -1);
}

void TempFile::Close(bool toDisk) {
  if (handle_ == -1) return;
  Drain();
  HANDLE file = Handle(handle_);
  handle_ = -1;
  if (toDisk && !FlushFileBuffers(file)) {
    std::string reason = SystemError();
    CloseHandle(file);
    throw Error("cannot flush " + purpose_ + " to disk: " + reason);
  }
  if (!CloseHandle(file)) throw Error("cannot write " + purpose_ + ": " + SystemError());
}

bool TempFile::PutInPlace(const std::string& name) {
  // Without MOVEFILE_REPLACE_EXISTING the system checks and moves in one
  // step: a name that is taken (a link included) stays as it is. Write-
  // through: the move is on disk when the call returns.
  if (MoveFileExW(LongPath(name_).c_str(), LongPath(name).c_str(), MOVEFILE_WRITE_THROUGH)) {
    placed_ = true;
    MarkHiddenIfDotName(name);
    return true;
  }
  DWORD error = GetLastError();
  if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) return false;
  throw Error("cannot save " + name + ": " + SystemError());
}

void TempFile::ReplaceInPlace(const std::string& name) {
  // Replaces the entry `name` itself; a link of that name is not followed.
  if (!MoveFileExW(LongPath(name_).c_str(), LongPath(name).c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    throw Error("cannot save " + name + ": " + SystemError());
  }
  placed_ = true;
  MarkHiddenIfDotName(name);
}

std::vector<std::string> NamesInCurrentFolder() {
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileExW(LongPath("*").c_str(), FindExInfoBasic, &entry,
                                 FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) {
    if (GetLastError() == ERROR_FILE_NOT_FOUND) return {};
    throw Error("cannot list the current folder: " + SystemError());
  }
  std::vector<std::string> names;
  do {
    std::wstring name = entry.cFileName;
    if (name != L"." && name != L"..") names.push_back(win32::Narrow(name));
  } while (FindNextFileW(find, &entry));
  FindClose(find);
  return names;
}

// Every move was made with MOVEFILE_WRITE_THROUGH and has reached the disk
// already; Windows has no separate flush of a folder's entries.
void SyncCurrentFolder() {}

void RemoveIfPresent(const std::string& name) {
  if (!DeleteFileW(LongPath(name).c_str())) {
    DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND) {
      throw Error("cannot remove " + name + ": " + SystemError());
    }
  }
}

}  // namespace getmail
