#include "platform/posix/TextFileReader.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "platform/posix/Codeset.h"
#include "platform/posix/SystemError.h"

namespace quarrow::posix {

namespace {

constexpr size_t kChunk = 64 * 1024;

wchar_t Latin1(char byte) {
  return static_cast<wchar_t>(static_cast<unsigned char>(byte));
}

// Header files are nearly all ASCII: runs of it are widened directly, and
// only the runs between go through the full decoder. No UTF-8 sequence
// holds an ASCII byte, so cutting at one never splits a character.
void AppendUtf8(const char* bytes, size_t size, Text& out) {
  size_t i = 0;
  while (i < size) {
    size_t end = i;
    while (end < size && static_cast<unsigned char>(bytes[end]) < 0x80) ++end;
    const size_t at = out.size();
    out.resize(at + (end - i));
    std::copy(bytes + i, bytes + end, out.begin() + static_cast<long>(at));
    i = end;
    while (end < size && static_cast<unsigned char>(bytes[end]) >= 0x80) ++end;
    if (end > i) out += FromUtf8(std::string(bytes + i, end - i));
    i = end;
  }
}

}  // namespace

size_t WholeUtf8Length(const std::string& bytes) {
  const size_t size = bytes.size();
  for (size_t back = 1; back <= 3 && back <= size; ++back) {
    const auto byte = static_cast<unsigned char>(bytes[size - back]);
    if ((byte & 0xC0) == 0x80) continue;  // inside a sequence
    const size_t needed = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    return needed > back ? size - back : size;
  }
  return size;
}

TextFileReader::TextFileReader(int fd, Text shownName)
    : fd_(fd), shownName_(std::move(shownName)), utf8_(ReadsAsUtf8()) {}

TextFileReader::~TextFileReader() { ::close(fd_); }

bool TextFileReader::ReadMore(Text& out) {
  const size_t before = out.size();
  while (out.size() == before) {
    if (ended_) return false;
    if (!chunk_) chunk_.reset(new char[kChunk]);  // left uninitialised
    const ssize_t got = ::read(fd_, chunk_.get(), kChunk);
    if (got < 0) {
      if (errno == EINTR) continue;
      throw Failure(L"Cannot read " + shownName_ + L": " + SystemError(errno));
    }
    pending_.append(chunk_.get(), static_cast<size_t>(got));
    ended_ = got == 0;
    Decode(out, ended_);
  }
  return true;
}

void TextFileReader::Decode(Text& out, bool atEnd) {
  if (utf8_) {
    const size_t whole = atEnd ? pending_.size() : WholeUtf8Length(pending_);
    AppendUtf8(pending_.data(), whole, out);
    pending_.erase(0, whole);
    return;
  }
  size_t at = 0;
  while (at < pending_.size()) {
    wchar_t c;
    const size_t length = std::mbrtowc(&c, pending_.data() + at,
                                       pending_.size() - at, &state_);
    if (length == static_cast<size_t>(-2) && !atEnd) {
      // Cut off: read again from its first byte once more has come.
      state_ = std::mbstate_t{};
      break;
    }
    if (length == static_cast<size_t>(-1) ||
        length == static_cast<size_t>(-2)) {
      out += Latin1(pending_[at++]);
      state_ = std::mbstate_t{};
    } else {
      out += c;
      at += length == 0 ? 1 : length;  // a NUL byte is a character too
    }
  }
  pending_.erase(0, at);
}

}  // namespace quarrow::posix
