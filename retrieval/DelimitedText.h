// Reads a text file as delimited records, the way the header files are
// scanned: a record ends at a comma or at the end of a line, blanks before a
// record are skipped, and a record that begins with a double quote runs to
// the closing quote (commas and line ends included) and loses its quotes.
#pragma once

#include "platform/Platform.h"

namespace quarrow {

class DelimitedTextReader {
 public:
  explicit DelimitedTextReader(TextReader& input) : input_(input) {}

  // True once everything has been read.
  bool AtEnd();
  // The next record; empty for an empty field or line. Trailing blanks of an
  // unquoted record are dropped; text after a closing quote up to the next
  // delimiter is dropped too. A quoted record keeps its line ends as they
  // stand, and one never closed runs to the end of the file.
  Text NextRecord();

 private:
  // Makes sure the character at pos_ is in the buffer; false at the end.
  bool Available();
  // Moves on to the next `stop`, or line end where `lineEndStops`, or the
  // end of the file, adding what it passes to `record` unless that is null.
  void TakeUntil(wchar_t stop, bool lineEndStops, Text* record);
  // Consumes one delimiter (a comma, CR LF, CR or LF) if one is next.
  void SkipDelimiter();
  static bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

  TextReader& input_;
  Text buffer_;
  size_t pos_ = 0;
  bool ended_ = false;
};

}  // namespace quarrow
