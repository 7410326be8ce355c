#include "ScratchFolder.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fs = std::filesystem;

namespace quarrow::testing {

std::wstring ScratchFolder::TempFolder() {
  wchar_t buffer[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
  std::wstring folder(buffer, length);
  if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
  return folder;
}

std::wstring ScratchFolder::CurrentFolder() {
  wchar_t buffer[1024];
  return std::wstring(buffer, GetCurrentDirectoryW(1024, buffer));
}

ScratchFolder::ScratchFolder(std::wstring parent)
    : startFolder_(CurrentFolder()) {
  static int made = 0;
  if (!parent.empty() && parent.back() == L'\\') parent.pop_back();
  for (;;) {
    path_ = parent + L"\\quarrow-test-" + std::to_wstring(GetCurrentProcessId()) +
            L"-" + std::to_wstring(++made);
    if (CreateDirectoryW(path_.c_str(), nullptr)) return;
    if (GetLastError() != ERROR_ALREADY_EXISTS)
      throw std::runtime_error("cannot make a scratch folder");
  }
}

ScratchFolder::~ScratchFolder() {
  SetCurrentDirectoryW(startFolder_.c_str());
  std::error_code ignored;
  for (const auto& entry : fs::recursive_directory_iterator(path_, ignored))
    SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
  fs::remove_all(path_, ignored);
}

std::wstring ScratchFolder::operator/(const std::wstring& name) const {
  return path_ + L"\\" + name;
}

void ScratchFolder::Write(const std::wstring& name, const std::string& bytes,
                          DWORD attributes) const {
  const std::wstring full = *this / name;
  std::ofstream(fs::path(full), std::ios::binary) << bytes;
  SetFileAttributesW(full.c_str(), attributes);
}

void ScratchFolder::MakeFolder(const std::wstring& name) const {
  CreateDirectoryW((*this / name).c_str(), nullptr);
}

bool ScratchFolder::Exists(const std::wstring& name) const {
  return GetFileAttributesW((*this / name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ScratchFolder::Read(const std::wstring& name) const {
  std::ifstream in(fs::path(*this / name), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace quarrow::testing
