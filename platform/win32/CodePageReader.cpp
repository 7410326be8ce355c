#include "platform/win32/CodePageReader.h"

#include <windows.h>

#include <algorithm>
#include <utility>

#include "platform/win32/SystemMessage.h"

namespace quarrow::win32 {

namespace {

size_t UnfinishedUtf8Tail(const std::string& bytes) {
  // Look back over at most three continuation bytes for the lead byte.
  for (size_t back = 1; back <= 4 && back <= bytes.size(); ++back) {
    const auto byte = static_cast<unsigned char>(bytes[bytes.size() - back]);
    if ((byte & 0xC0) == 0x80) continue;
    const size_t length = byte >= 0xF0   ? 4
                          : byte >= 0xE0 ? 3
                          : byte >= 0xC0 ? 2
                                         : 1;
    return length > back ? back : 0;
  }
  return 0;
}

size_t UnfinishedDoubleByteTail(const std::string& bytes, unsigned codePage) {
  // Lead and trail bytes overlap, so only a walk from a known character
  // start (the start of the piece) tells which is which.
  size_t at = 0;
  while (at < bytes.size()) {
    const auto byte = static_cast<BYTE>(bytes[at]);
    if (!IsDBCSLeadByteEx(codePage, byte)) {
      ++at;
    } else if (at + 1 == bytes.size()) {
      return 1;
    } else {
      at += 2;
    }
  }
  return 0;
}

class CodePageReader final : public TextReader {
 public:
  CodePageReader(HANDLE file, Text name, size_t pieceBytes)
      : file_(file),
        name_(std::move(name)),
        pieceBytes_(pieceBytes),
        codePage_(GetACP()) {}
  ~CodePageReader() override { CloseHandle(file_); }

  bool ReadMore(Text& out) override {
    for (;;) {
      const bool more = ReadPiece();
      if (!markChecked_ && !CheckMark(more)) continue;
      const size_t keep = more ? UnfinishedTail(bytes_, codePage_) : 0;
      const size_t ready = bytes_.size() - keep;
      if (ready > 0) {
        Convert(ready, out);
        bytes_.erase(0, ready);
        return true;
      }
      if (!more) return false;
    }
  }

 private:
  // Appends the next piece of the file to bytes_; false at its end.
  bool ReadPiece() {
    const size_t had = bytes_.size();
    bytes_.resize(had + pieceBytes_);
    DWORD got = 0;
    if (!ReadFile(file_, bytes_.data() + had, static_cast<DWORD>(pieceBytes_),
                  &got, nullptr))
      throw LastErrorFailure(L"read " + Quoted(name_));
    bytes_.resize(had + got);
    return got > 0;
  }

  // A file that begins with the UTF-8 byte-order mark says it is UTF-8,
  // whatever the system's code page: it is read so, without the mark.
  // False while too few bytes have come to tell.
  bool CheckMark(bool more) {
    static const std::string kMark = "\xEF\xBB\xBF";
    const size_t have = std::min(bytes_.size(), kMark.size());
    if (more && have < kMark.size() && bytes_.compare(0, have, kMark, 0, have) == 0)
      return false;
    if (bytes_.compare(0, kMark.size(), kMark) == 0) {
      codePage_ = CP_UTF8;
      bytes_.erase(0, kMark.size());
    }
    markChecked_ = true;
    return true;
  }

  void Convert(size_t count, Text& out) {
    const int in = static_cast<int>(count);
    const int size =
        MultiByteToWideChar(codePage_, 0, bytes_.data(), in, nullptr, 0);
    const size_t start = out.size();
    out.resize(start + size);
    MultiByteToWideChar(codePage_, 0, bytes_.data(), in, out.data() + start,
                        size);
  }

  HANDLE file_;
  Text name_;
  size_t pieceBytes_;
  unsigned codePage_;
  bool markChecked_ = false;
  std::string bytes_;  // read but not yet handed out
};

}  // namespace

size_t UnfinishedTail(const std::string& bytes, unsigned codePage) {
  if (codePage == CP_UTF8) return UnfinishedUtf8Tail(bytes);
  CPINFO info;
  if (!GetCPInfo(codePage, &info) || info.MaxCharSize < 2) return 0;
  return UnfinishedDoubleByteTail(bytes, codePage);
}

std::unique_ptr<TextReader> OpenCodePageFile(const Text& name,
                                             size_t pieceBytes) {
  const HANDLE file = CreateFileW(
      name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
      OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    throw LastErrorFailure(L"open " + Quoted(name));
  return std::make_unique<CodePageReader>(file, name, pieceBytes);
}

}  // namespace quarrow::win32
