#include "tools/getmail/PartLines.h"

#include <cstring>

namespace getmail {

void PartLines::Take(std::string_view piece) {
  std::size_t pos = 0;
  while (pos < piece.size()) {
    const void* lf = std::memchr(piece.data() + pos, '\n', piece.size() - pos);
    const std::size_t end =
        lf != nullptr ? static_cast<std::size_t>(static_cast<const char*>(lf) - piece.data()) + 1
                      : piece.size();
    const std::string_view segment = piece.substr(pos, end - pos);
    pos = end;
    head_.append(segment.substr(0, 2 - head_.size()));
    lineBytes_ += segment.size();
    const bool delimiter = head_.size() == 2 && head_ == "--";
    // Counted as it comes, not at the line's end, since a header line may be
    // long; but only once it is known not to be a delimiter line.
    if (inPartHeader_ && !delimiter && (head_.size() == 2 || lf != nullptr)) {
      partHeaderBytes_ += lineBytes_ - counted_;
      counted_ = lineBytes_;
    }
    if (lf == nullptr) continue;
    if (delimiter) {
      ++delimiterLines_;
      inPartHeader_ = true;
    } else if (lineBytes_ == 1 || (lineBytes_ == 2 && head_ == "\r\n")) {
      inPartHeader_ = false;
    }
    head_.clear();
    lineBytes_ = 0;
    counted_ = 0;
  }
}

}  // namespace getmail
