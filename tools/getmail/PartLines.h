// What GMime will hold in memory for a message, counted from the message's
// lines as they arrive, so that a message that would make it hold too much
// is refused before its parse gets that far. GMime keeps the tree of parts
// (a few kilobytes a part) and every part's header whole; the content of a
// part it leaves in the file, however long its lines.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace getmail {

class PartLines {
 public:
  // Takes the next piece of the message, cut anywhere.
  void Take(std::string_view piece);

  // Lines that begin with "--", as MIME delimiters do.
  long delimiterLines() const { return delimiterLines_; }
  // Bytes in the lines after a delimiter line up to and including the empty
  // line after it: a part's header, where the delimiter is a real one.
  std::uint64_t partHeaderBytes() const { return partHeaderBytes_; }

 private:
  std::string head_;            // the current line's first bytes, at most 2
  std::uint64_t lineBytes_ = 0;  // the current line's bytes so far
  std::uint64_t counted_ = 0;    // of them, counted as a part header's
  bool inPartHeader_ = false;
  long delimiterLines_ = 0;
  std::uint64_t partHeaderBytes_ = 0;
};

}  // namespace getmail
