#include "platform/posix/Drives.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cwctype>

#include "platform/posix/CaseInsensitiveNames.h"
#include "platform/posix/SystemError.h"
#include "platform/posix/WindowsPath.h"

namespace quarrow::posix {

namespace {

std::optional<std::string> ResolvedFolder(const char* path) {
  if (path == nullptr || *path == '\0') return std::nullopt;
  char resolved[PATH_MAX];
  struct stat info;
  if (::realpath(path, resolved) == nullptr ||
      ::stat(resolved, &info) != 0 || !S_ISDIR(info.st_mode))
    return std::nullopt;
  return std::string(resolved);
}

const char* HomeFolder(const Drives::Environment& environment) {
  const char* home = environment("HOME");
  if (home != nullptr && *home != '\0') return home;
  const passwd* user = ::getpwuid(::getuid());
  return user != nullptr ? user->pw_dir : nullptr;
}

bool IsFolder(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

Text Quoted(const Text& name) { return L"'" + name + L"'"; }

}  // namespace

Drives::Drives(const Environment& environment) {
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    const std::string variable = std::string("QUARROW_DRIVE_") + letter;
    const char* folder = environment(variable.c_str());
    if (folder == nullptr || *folder == '\0') {
      if (letter == 'C') folder = HomeFolder(environment);
      if (letter == 'Z') folder = "/";
    }
    if (const auto root = ResolvedFolder(folder))
      drives_[static_cast<wchar_t>(letter)] = Drive{*root, {}};
  }

  std::vector<std::string> names;
  const auto working = ResolvedFolder(".");
  current_ = working ? Holder(*working, names) : 0;
  if (current_ != 0) {
    drives_[current_].current = names;
  } else if (!drives_.empty()) {
    current_ = drives_.count(L'C') ? L'C' : drives_.begin()->first;
  }
}

const Drives::Drive* Drives::Lookup(wchar_t letter) const {
  const auto found = drives_.find(letter == 0 ? current_ : letter);
  return found == drives_.end() ? nullptr : &found->second;
}

std::string Drives::RealPath(const Drive& drive,
                             const std::vector<std::string>& names) {
  std::string path = drive.root;
  for (const std::string& name : names) path = JoinPath(path, name);
  return path;
}

void Drives::Select(wchar_t letter) {
  const wchar_t upper =
      letter < 0x80 ? static_cast<wchar_t>(std::towupper(letter)) : letter;
  const auto found = drives_.find(upper);
  if (found == drives_.end())
    throw Failure(L"Cannot select drive " + Shown(Text(1, letter) + L":") +
                  L": there is no such drive");
  Drive& drive = found->second;
  // A current folder removed meanwhile leaves the drive at its root.
  if (::chdir(RealPath(drive, drive.current).c_str()) != 0) {
    drive.current.clear();
    if (::chdir(drive.root.c_str()) != 0)
      throw Failure(L"Cannot select drive " + Shown(Text(1, letter) + L":") +
                    L": " + SystemError(errno));
  }
  current_ = upper;
}

bool Drives::Resolve(const Text& name, wchar_t& letter,
                     std::vector<std::string>& names, bool& complete) const {
  const WindowsPath path = ParseWindowsPath(name);
  const Drive* drive = Lookup(path.drive);
  if (drive == nullptr) return false;
  letter = path.drive == 0 ? current_ : path.drive;
  names = path.rooted ? std::vector<std::string>{} : drive->current;
  complete = true;
  for (const Text& part : path.names) {
    if (part == L".") continue;
    if (part == L"..") {
      if (!names.empty()) names.pop_back();
      continue;
    }
    std::optional<std::string> entry;
    if (complete) entry = FindEntry(RealPath(*drive, names), part);
    complete = entry.has_value();
    names.push_back(complete ? *entry : ToUtf8(part));
  }
  return true;
}

bool Drives::Walk(const Text& name, wchar_t& letter,
                  std::vector<std::string>& names) const {
  bool complete = false;
  return Resolve(name, letter, names, complete) && complete;
}

Text Drives::Shown(const Text& name, bool quoted) const {
  const Text shown = quoted ? Quoted(name) : name;
  wchar_t letter = 0;
  std::vector<std::string> names;
  bool complete = false;
  if (name.empty() || !Resolve(name, letter, names, complete)) return shown;
  return shown + L" (" + FromUtf8(RealPath(*Lookup(letter), names)) + L")";
}

Text Drives::ShownAt(const Text& name, const std::string& realPath) {
  return Quoted(name) + L" (" + FromUtf8(realPath) + L")";
}

void Drives::ChangeFolder(const Text& folder) {
  const Text what = L"Cannot make " + Shown(folder) + L" the current folder";
  if (folder.empty()) throw Failure(what + L": the name is empty");
  wchar_t letter = 0;
  std::vector<std::string> names;
  if (!Walk(folder, letter, names)) {
    if (Lookup(ParseWindowsPath(folder).drive) == nullptr)
      throw Failure(what + L": there is no such drive");
    throw Failure(what + L": it does not exist");
  }
  Drive& drive = drives_[letter];
  const std::string real = RealPath(drive, names);
  if (!IsFolder(real)) throw Failure(what + L": it is not a folder");
  if (letter == current_ && ::chdir(real.c_str()) != 0)
    throw Failure(what + L": " + SystemError(errno));
  drive.current = names;
}

std::optional<std::string> Drives::Find(const Text& name) const {
  wchar_t letter = 0;
  std::vector<std::string> names;
  if (!Walk(name, letter, names)) return std::nullopt;
  const std::string real = RealPath(*Lookup(letter), names);
  struct stat info;
  if (::lstat(real.c_str(), &info) != 0) return std::nullopt;
  return real;
}

wchar_t Drives::Holder(const std::string& realPath,
                       std::vector<std::string>& names) const {
  wchar_t best = 0;
  size_t bestLength = 0;
  for (const auto& [letter, drive] : drives_) {
    const std::string& root = drive.root;
    const bool leads =
        realPath.compare(0, root.size(), root) == 0 &&
        (root.back() == '/' || realPath.size() == root.size() ||
         realPath[root.size()] == '/');
    if (leads && (best == 0 || root.size() > bestLength)) {
      best = letter;
      bestLength = root.size();
    }
  }
  names.clear();
  if (best == 0) return 0;
  std::string name;
  for (size_t i = bestLength; i <= realPath.size(); ++i) {
    if (i == realPath.size() || realPath[i] == '/') {
      if (!name.empty()) names.push_back(name);
      name.clear();
    } else {
      name += realPath[i];
    }
  }
  return best;
}

Text Drives::WindowsName(const std::string& realPath) const {
  std::vector<std::string> names;
  const wchar_t letter = Holder(realPath, names);
  if (letter == 0) {
    // No drive holds it: the best that can be said is a rooted name.
    Text rooted = FromUtf8(realPath);
    for (wchar_t& c : rooted)
      if (c == L'/') c = L'\\';
    return rooted;
  }
  Text name = Text(1, letter) + L":";
  if (names.empty()) return name + L"\\";
  for (const std::string& part : names) name += L"\\" + FromUtf8(part);
  return name;
}

}  // namespace quarrow::posix
