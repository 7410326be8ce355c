#include "tools/getmail/win32/RawCommandLine.h"

#include <windows.h>
#include <shellapi.h>

namespace getmail::win32 {
namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// The full form of `path`, as the system makes it from the current folder.
std::wstring FullPath(const std::wstring& path) {
  if (path.empty()) return path;
  DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (n == 0) return std::wstring();
  std::wstring full(n, L'\0');
  n = GetFullPathNameW(path.c_str(), n, full.data(), nullptr);
  full.resize(n);
  return full;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return !a.empty() &&
         CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// The arguments of `text` as CommandLineToArgvW gives them, after a program
// name of one letter put in front (its rules for the first word differ).
std::vector<std::wstring> Split(std::wstring_view text) {
  std::wstring line = L"x " + std::wstring(text);
  int count = 0;
  wchar_t** list = CommandLineToArgvW(line.c_str(), &count);
  std::vector<std::wstring> out;
  if (list == nullptr) return out;
  for (int i = 1; i < count; ++i) out.emplace_back(list[i]);
  LocalFree(list);
  return out;
}

}  // namespace

std::size_t ProgramPathEnd(std::wstring_view line, const std::wstring& self) {
  if (!line.empty() && line[0] == L'"') {
    std::size_t close = line.find(L'"', 1);
    return close == std::wstring_view::npos ? line.size() : close + 1;
  }
  const std::wstring full = FullPath(self);
  for (std::size_t p = 0; p <= line.size(); ++p) {
    if (p < line.size() && !IsBlank(line[p])) continue;
    const std::wstring candidate(line.substr(0, p));
    if (SamePath(FullPath(candidate), full) || SamePath(FullPath(candidate + L".exe"), full)) {
      return p;
    }
  }
  std::size_t blank = line.find_first_of(L" \t");
  return blank == std::wstring_view::npos ? line.size() : blank;
}

std::vector<RawArgument> ArgumentsAfter(std::wstring_view line, std::size_t from) {
  const std::wstring_view rest = line.substr(std::min(from, line.size()));
  std::vector<RawArgument> out;
  std::size_t p = 0;
  for (;;) {
    while (p < rest.size() && IsBlank(rest[p])) ++p;
    if (p == rest.size()) return out;
    // The argument ends at the first blank outside quotes: one that leaves
    // the split unchanged when it is added.
    const std::size_t begin = p;
    std::vector<std::wstring> before;
    for (;; ++p) {
      if (p < rest.size() && !IsBlank(rest[p])) continue;
      before = Split(rest.substr(0, p));
      if (p == rest.size() || Split(rest.substr(0, p + 1)) == before) break;
    }
    out.push_back({before.empty() ? std::wstring() : before.back(), from + begin, from + p});
  }
}

}  // namespace getmail::win32
