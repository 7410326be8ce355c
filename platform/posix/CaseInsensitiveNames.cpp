#include "platform/posix/CaseInsensitiveNames.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cwctype>
#include <memory>

namespace quarrow::posix {

namespace {

wchar_t Fold(wchar_t c) { return static_cast<wchar_t>(std::towupper(c)); }

Text Mapped(const Text& text, wint_t (*map)(wint_t)) {
  Text out = text;
  for (wchar_t& c : out) c = static_cast<wchar_t>(map(c));
  return out;
}

bool EntryExists(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0;
}

}  // namespace

bool SameIgnoringCase(const Text& a, const Text& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i] && Fold(a[i]) != Fold(b[i])) return false;
  return true;
}

bool MatchesWildcard(const Text& name, const Text& pattern) {
  // Greedy match that backtracks only to the last "*".
  size_t n = 0, p = 0, starP = Text::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == L'*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() &&
               (pattern[p] == L'?' || Fold(pattern[p]) == Fold(name[n]))) {
      ++p;
      ++n;
    } else if (starP != Text::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == L'*') ++p;
  return p == pattern.size();
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (!folder.empty() && folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

std::optional<std::string> FindEntry(const std::string& folder,
                                     const Text& name) {
  // The spellings the tool and the passes use (as given, all upper, all
  // lower) are tried first, so a folder of thousands of header files is not
  // read once for every file opened.
  for (const Text& spelling :
       {name, Mapped(name, std::towupper), Mapped(name, std::towlower)}) {
    const std::string bytes = ToUtf8(spelling);
    if (EntryExists(JoinPath(folder, bytes))) return bytes;
  }
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()),
                                          ::closedir);
  if (!dir) return std::nullopt;
  while (const dirent* entry = ::readdir(dir.get())) {
    if (SameIgnoringCase(FromUtf8(entry->d_name), name)) return entry->d_name;
  }
  return std::nullopt;
}

}  // namespace quarrow::posix
