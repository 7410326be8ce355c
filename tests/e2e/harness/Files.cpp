#include "Files.h"

#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace harness {

TempFolder::TempFolder(const std::string& label) {
  std::string pattern = "/tmp/" + label + "-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("mkdtemp failed: " + std::string(std::strerror(errno)));
  }
  path_ = pattern;
}

TempFolder::~TempFolder() { RemoveTree(path_); }

CurrentFolder::CurrentFolder(const std::string& path) {
  char* previous = getcwd(nullptr, 0);
  if (previous == nullptr) throw std::runtime_error("getcwd failed");
  previous_ = previous;
  free(previous);
  if (chdir(path.c_str()) != 0) throw std::runtime_error("cannot go to " + path);
}

CurrentFolder::~CurrentFolder() {
  if (chdir(previous_.c_str()) != 0) std::abort();  // the tests after it would run astray
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << data;
  if (!out.flush()) throw std::runtime_error("cannot write " + path);
}

bool Exists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

std::vector<std::string> ListFolder(const std::string& path) {
  std::vector<std::string> names;
  DIR* dir = opendir(path.c_str());
  if (dir == nullptr) throw std::runtime_error("cannot list " + path);
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

void RemoveTree(const std::string& path) {
  struct stat info;
  if (lstat(path.c_str(), &info) != 0) return;
  if (S_ISDIR(info.st_mode)) {
    chmod(path.c_str(), 0700);
    for (const std::string& name : ListFolder(path)) RemoveTree(path + "/" + name);
    rmdir(path.c_str());
  } else {
    unlink(path.c_str());
  }
}

}  // namespace harness
