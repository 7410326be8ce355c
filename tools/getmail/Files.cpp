// The part of the file layer that is the same on every system.
#include "tools/getmail/Files.h"

namespace getmail {
namespace {

// Write calls are few and large: a message arrives a line at a time.
constexpr std::size_t kBufferBytes = 64 * 1024;

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

void TempFile::Write(std::string_view data) {
  if (buffer_.size() + data.size() <= kBufferBytes) {
    buffer_.append(data);
    return;
  }
  Drain();
  if (data.size() >= kBufferBytes) {
    WriteOut(data);
  } else {
    buffer_.append(data);
  }
}

void TempFile::Drain() {
  if (buffer_.empty()) return;
  WriteOut(buffer_);
  buffer_.clear();
}

void WriteFileAtomically(const std::string& name, std::string_view data,
                         bool sync, Readers readers) {
  TempFile file(name, readers);
  file.Write(data);
  file.Close(sync);
  file.ReplaceInPlace(name);
}

bool IsTempFileName(std::string_view name) {
  constexpr std::string_view kStart = ".getmail-";
  constexpr std::string_view kEnd = ".part";
  return name.size() > kStart.size() + kEnd.size() && name.substr(0, kStart.size()) == kStart &&
         name.substr(name.size() - kEnd.size()) == kEnd &&
         name.find_first_of("/\\") == std::string_view::npos;
}

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

}  // namespace getmail
