// A private temporary folder for one test, removed with everything in it.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace quarrow::posix::testing {

class TempFolder {
 public:
  TempFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
        "/quarrow-test-XXXXXX";
    path_ = std::filesystem::canonical(::mkdtemp(pattern.data())).string();
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const {
    return path_ + "/" + name;
  }

  // Makes folder `name` (and the folders above it).
  std::string Folder(const std::string& name) const {
    std::filesystem::create_directories(*this / name);
    return *this / name;
  }
  // Writes file `name` with `bytes`.
  std::string File(const std::string& name, const std::string& bytes = "") const {
    std::ofstream(*this / name, std::ios::binary) << bytes;
    return *this / name;
  }

 private:
  std::string path_;
};

inline bool Exists(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0;
}

inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline std::string WorkingFolder() {
  return std::filesystem::current_path().string();
}

}  // namespace quarrow::posix::testing
