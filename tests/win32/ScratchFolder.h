// A fresh folder of real files for one test, removed afterwards together
// with whatever the test left in it (read-only files included). The process
// is taken back to the folder it was in.
#pragma once

#include <windows.h>

#include <filesystem>
#include <string>

namespace quarrow::testing {

class ScratchFolder {
 public:
  // A new folder inside `parent` (the user's temporary folder by default).
  explicit ScratchFolder(std::wstring parent = TempFolder());
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // The folder's full name, without a trailing backslash.
  const std::wstring& path() const { return path_; }
  // Full name of `name` inside the folder.
  std::wstring operator/(const std::wstring& name) const;

  // Writes `bytes` to `name` (relative to the folder) and sets `attributes`.
  void Write(const std::wstring& name, const std::string& bytes = "x",
             DWORD attributes = FILE_ATTRIBUTE_NORMAL) const;
  void MakeFolder(const std::wstring& name) const;
  bool Exists(const std::wstring& name) const;
  std::string Read(const std::wstring& name) const;

  static std::wstring TempFolder();
  static std::wstring CurrentFolder();

 private:
  std::wstring path_;
  std::wstring startFolder_;
};

}  // namespace quarrow::testing
