// A file read as 8-bit text in the locale's character set (UTF-8 under the
// C locale). A byte that does not decode becomes one character of its own,
// as in Latin-1, so a damaged header file never stops the scan.
#pragma once

#include <cwchar>
#include <memory>
#include <string>

#include "platform/Platform.h"

namespace quarrow::posix {

class TextFileReader : public TextReader {
 public:
  // Takes over `fd`; `shownName` names the file in failures, as messages
  // show it ("'MSG1.TXT' (/home/ana/mail/MSG1.TXT)").
  TextFileReader(int fd, Text shownName);
  ~TextFileReader() override;
  TextFileReader(const TextFileReader&) = delete;
  TextFileReader& operator=(const TextFileReader&) = delete;

  bool ReadMore(Text& out) override;

 private:
  // Decodes the leading whole characters of `pending_` into `out` and
  // drops them; at the end of the file, every byte left.
  void Decode(Text& out, bool atEnd);

  int fd_;
  Text shownName_;
  bool utf8_;
  std::mbstate_t state_{};
  std::unique_ptr<char[]> chunk_;  // what one read gives
  std::string pending_;  // read but not yet decoded
  bool ended_ = false;
};

// Length of the leading part of `bytes` that does not end inside a UTF-8
// character: a cut-off sequence at the end waits for the next read.
size_t WholeUtf8Length(const std::string& bytes);

}  // namespace quarrow::posix
