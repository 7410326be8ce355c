// Drive letters mapped onto folders, with a current folder per drive as
// Windows keeps one, so Windows names ("c:\mail", "\mail", "mail") find the
// same files on this system.
//
// QUARROW_DRIVE_<LETTER> names the folder a drive maps to; without it, C: is
// the home folder and Z: is "/", and no other letter is a drive.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace quarrow::posix {

class Drives {
 public:
  // Looks up an environment variable; nullptr when it is not set.
  using Environment = std::function<const char*(const char*)>;

  // Maps the drives from `environment`. The drive that holds the process's
  // working folder becomes current, with that folder as its current one.
  explicit Drives(const Environment& environment);

  // Makes drive `letter` current and the process's working folder its
  // current folder. Throws when there is no such drive.
  void Select(wchar_t letter);
  // Makes `folder` the current folder of its drive, and the process's
  // working folder when that drive is the current one. Throws when it is
  // empty, does not exist or is not a folder.
  void ChangeFolder(const Text& folder);

  // Real path of the existing file or folder that `name` names without
  // regard to case; "" (or "x:") names the current folder. Nothing when it
  // does not exist.
  std::optional<std::string> Find(const Text& name) const;

  // `name` as a message shows it: in quotes when `quoted`, then the path it
  // stands for on this system in parentheses, e.g. "'c:\mail' (/home/ana/
  // mail)". That path is found without regard to case as far as it exists
  // and taken as written after that; a name on no drive, or an empty one,
  // is shown alone.
  Text Shown(const Text& name, bool quoted = true) const;

  // `name` quoted, then `realPath`, the path it stands for, in parentheses.
  static Text ShownAt(const Text& name, const std::string& realPath);

  // `realPath` (absolute) as a Windows name on the drive whose folder is
  // its longest leading part, e.g. "Z:\usr\bin"; a drive's own folder
  // gives its root, "Z:\".
  Text WindowsName(const std::string& realPath) const;

 private:
  struct Drive {
    std::string root;                  // real folder, without symbolic links
    std::vector<std::string> current;  // names on disk below the root
  };

  // The drive that `letter` (0: the current one) names, or nullptr.
  const Drive* Lookup(wchar_t letter) const;
  // Real names below the drive's root for `name`; false when missing.
  bool Walk(const Text& name, wchar_t& letter,
            std::vector<std::string>& names) const;
  // As Walk, but names that do not exist are taken as written: false only
  // when there is no such drive. `complete`: every name existed.
  bool Resolve(const Text& name, wchar_t& letter,
               std::vector<std::string>& names, bool& complete) const;
  // Letter of the drive whose folder is the longest leading part of
  // `realPath`, and the names below it; 0 when no drive holds it.
  wchar_t Holder(const std::string& realPath,
                 std::vector<std::string>& names) const;
  static std::string RealPath(const Drive& drive,
                              const std::vector<std::string>& names);

  std::map<wchar_t, Drive> drives_;
  wchar_t current_ = 0;
};

}  // namespace quarrow::posix
