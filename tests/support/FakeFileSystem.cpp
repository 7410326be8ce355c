#include "support/FakeFileSystem.h"

#include <algorithm>
#include <cwctype>

namespace quarrow::testing {

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

Text Upper(Text text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(c));
  return text;
}

}  // namespace

FakeFileSystem::FakeFileSystem() { AddDrive(L'C'); }

void FakeFileSystem::AddDrive(wchar_t letter) {
  letter = static_cast<wchar_t>(std::towupper(letter));
  driveFolders_.emplace(letter, Text(1, letter) + L":\\");
}

Text FakeFileSystem::CurrentFolder() const {
  return driveFolders_.at(currentDrive_);
}

Text FakeFileSystem::Absolute(const Text& path) const {
  wchar_t drive = currentDrive_;
  Text rest = path;
  if (path.size() >= 2 && path[1] == L':') {
    drive = static_cast<wchar_t>(std::towupper(path[0]));
    rest = path.substr(2);
  }
  Text start;
  if (!rest.empty() && IsSeparator(rest[0])) {
    start = Text(1, drive) + L":\\";
  } else {
    auto it = driveFolders_.find(drive);
    start = it != driveFolders_.end() ? it->second : Text(1, drive) + L":\\";
  }
  std::vector<Text> parts;
  const auto addParts = [&parts](const Text& text) {
    Text part;
    for (size_t i = 0; i <= text.size(); ++i) {
      if (i == text.size() || IsSeparator(text[i])) {
        if (part == L"..") {
          if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != L".") {
          parts.push_back(part);
        }
        part.clear();
      } else {
        part += text[i];
      }
    }
  };
  addParts(start.substr(3));
  addParts(rest);
  Text result = Text(1, drive) + L":\\";
  for (size_t i = 0; i < parts.size(); ++i)
    result += (i ? L"\\" : L"") + parts[i];
  return result;
}

Text FakeFileSystem::Key(const Text& absolutePath) { return Upper(absolutePath); }

std::pair<Text, Text> FakeFileSystem::SplitFolder(const Text& absolutePath) {
  const size_t slash = absolutePath.rfind(L'\\');
  Text folder = absolutePath.substr(0, slash);
  if (folder.size() == 2) folder += L'\\';  // a drive's root
  return {folder, absolutePath.substr(slash + 1)};
}

void FakeFileSystem::AddFolder(const Text& path) {
  Text folder = Absolute(path);
  while (folder.size() > 3) {
    folders_.emplace(Key(folder), folder);
    folder = SplitFolder(folder).first;
  }
}

bool FakeFileSystem::FolderExists(const Text& path) const {
  const Text folder = Absolute(path);
  if (folder.size() == 3) return driveFolders_.count(folder[0]) > 0;
  return folders_.count(Key(folder)) > 0;
}

void FakeFileSystem::WriteFile(const Text& path, const std::string& bytes) {
  const Text absolute = Absolute(path);
  AddFolder(SplitFolder(absolute).first);
  auto [it, made] = files_.try_emplace(Key(absolute));
  if (made) {
    it->second.path = absolute;
    it->second.order = nextOrder_++;
  }
  it->second.bytes = bytes;
  it->second.written = ++writes_;
}

void FakeFileSystem::Remove(const Text& path) {
  files_.erase(Key(Absolute(path)));
}

FakeFile* FakeFileSystem::Find(const Text& path) {
  auto it = files_.find(Key(Absolute(path)));
  return it == files_.end() ? nullptr : &it->second;
}

FileState FakeFileSystem::State(const Text& path) {
  const FakeFile* file = Find(path);
  if (!file) return FileState();
  return {true, static_cast<unsigned long long>(file->order), file->bytes.size(),
          file->written};
}

std::string FakeFileSystem::Read(const Text& path) {
  const FakeFile* file = Find(path);
  return file ? file->bytes : std::string();
}

std::vector<Text> FakeFileSystem::NamesIn(const Text& folder) const {
  return List(Absolute(folder) + L"\\*");
}

bool FakeFileSystem::Matches(const Text& pattern, const Text& name) {
  // Classic wildcard match with backtracking to the last "*".
  const Text p = Upper(pattern), n = Upper(name);
  size_t pi = 0, ni = 0, star = Text::npos, mark = 0;
  while (ni < n.size()) {
    if (pi < p.size() && (p[pi] == L'?' || p[pi] == n[ni])) {
      ++pi, ++ni;
    } else if (pi < p.size() && p[pi] == L'*') {
      star = pi++, mark = ni;
    } else if (star != Text::npos) {
      pi = star + 1, ni = ++mark;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == L'*') ++pi;
  return pi == p.size();
}

void FakeFileSystem::SelectDrive(wchar_t letter) {
  const wchar_t drive = static_cast<wchar_t>(std::towupper(letter));
  if (!driveFolders_.count(drive))
    throw Failure(L"Cannot select drive '" + Text(1, letter) +
                  L":': there is no such drive");
  currentDrive_ = drive;
}

void FakeFileSystem::ChangeFolder(const Text& folder) {
  if (folder.empty() || !FolderExists(folder))
    throw Failure(L"Cannot make '" + folder +
                  L"' the current folder: it does not exist");
  const Text absolute = Absolute(folder);
  driveFolders_[absolute[0]] = absolute;
}

std::vector<Text> FakeFileSystem::List(const Text& pattern) const {
  const auto [folder, namePattern] = SplitFolder(Absolute(pattern));
  std::vector<const FakeFile*> found;
  for (const auto& [key, file] : files_) {
    const auto [fileFolder, name] = SplitFolder(file.path);
    if (Key(fileFolder) == Key(folder) && !file.hidden && !file.system &&
        Matches(namePattern, name))
      found.push_back(&file);
  }
  std::sort(found.begin(), found.end(),
            [](auto a, auto b) { return a->order < b->order; });
  std::vector<Text> names;
  for (const FakeFile* file : found)
    names.push_back(SplitFolder(file->path).second);
  return names;
}

void FakeFileSystem::DeleteMatching(const Text& pattern) {
  const Text folder = SplitFolder(Absolute(pattern)).first;
  for (const Text& name : List(pattern)) {
    const Text path = folder + (folder.size() == 3 ? L"" : L"\\") + name;
    if (Find(path)->readOnly)
      throw Failure(L"Cannot delete '" + path + L"': access is denied");
    files_.erase(Key(path));
  }
}

void FakeFileSystem::Rename(const Text& from, const Text& to) {
  const Text what = L"Cannot rename '" + from + L"' to '" + to + L"': ";
  FakeFile* source = Find(from);
  if (!source)
    throw Failure(what + L"it does not exist", Failure::Reason::SourceMissing);
  if (Find(to))
    throw Failure(what + L"that name exists", Failure::Reason::TargetExists);
  const Text target = Absolute(to);
  if (!FolderExists(SplitFolder(target).first))
    throw Failure(what + L"the folder does not exist");
  FakeFile moved = *source;
  moved.path = target;
  files_.erase(Key(source->path));
  files_.emplace(Key(target), moved);
}

}  // namespace quarrow::testing
