// Small file helpers for the getmail and whole-job tests.
#pragma once

#include <string>
#include <vector>

namespace harness {

// A new empty folder under /tmp, removed with everything in it on
// destruction.
class TempFolder {
 public:
  explicit TempFolder(const std::string& label);
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Makes `path` the current folder while it lives. Throws if it cannot.
class CurrentFolder {
 public:
  explicit CurrentFolder(const std::string& path);
  ~CurrentFolder();
  CurrentFolder(const CurrentFolder&) = delete;
  CurrentFolder& operator=(const CurrentFolder&) = delete;

 private:
  std::string previous_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& data);
bool Exists(const std::string& path);
// The names of the entries in a folder (no "." or ".."), sorted.
std::vector<std::string> ListFolder(const std::string& path);
void RemoveTree(const std::string& path);

}  // namespace harness
