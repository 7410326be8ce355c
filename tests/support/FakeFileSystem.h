// An in-memory file system with Windows meaning: drives with a current folder
// each, names compared without regard to case, read-only, hidden and system
// files, and listings in the order the files were made.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace quarrow::testing {

struct FakeFile {
  Text path;  // full path as made, e.g. "C:\mail\MSG1.TXT"
  std::string bytes;
  bool readOnly = false;
  bool hidden = false;
  bool system = false;
  long order = 0;  // listing order; also the file's identity
  long written = 0;  // moves on at every write, as a modification time
};

class FakeFileSystem {
 public:
  FakeFileSystem();

  // Drives exist once added; each starts with its root as current folder.
  void AddDrive(wchar_t letter);
  void AddFolder(const Text& path);
  void WriteFile(const Text& path, const std::string& bytes);
  // Removes a file, hidden or not; none is not an error.
  void Remove(const Text& path);
  FakeFile* Find(const Text& path);
  bool Exists(const Text& path) { return Find(path) != nullptr; }
  bool FolderExists(const Text& path) const;
  std::string Read(const Text& path);
  // Names of the files in `folder`, in listing order.
  std::vector<Text> NamesIn(const Text& folder) const;
  FileState State(const Text& path);

  // "X:\A\B" with "." and ".." resolved, from the current drive and folders.
  Text Absolute(const Text& path) const;
  wchar_t currentDrive() const { return currentDrive_; }
  Text CurrentFolder() const;

  // The Platform operations, with their failures.
  void SelectDrive(wchar_t letter);
  void ChangeFolder(const Text& folder);
  std::vector<Text> List(const Text& pattern) const;
  void DeleteMatching(const Text& pattern);
  void Rename(const Text& from, const Text& to);

 private:
  static Text Key(const Text& absolutePath);
  static bool Matches(const Text& pattern, const Text& name);
  static std::pair<Text, Text> SplitFolder(const Text& absolutePath);

  std::map<wchar_t, Text> driveFolders_;  // drive letter -> current folder
  wchar_t currentDrive_ = L'C';
  std::map<Text, Text> folders_;  // key -> path as made
  std::map<Text, FakeFile> files_;  // key -> file
  long nextOrder_ = 0;
  long writes_ = 0;
};

}  // namespace quarrow::testing
