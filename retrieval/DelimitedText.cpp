#include "retrieval/DelimitedText.h"

namespace quarrow {

bool DelimitedTextReader::Available() {
  while (pos_ >= buffer_.size()) {
    if (ended_) return false;
    // Drop what has been read so the buffer stays one piece long.
    buffer_.clear();
    pos_ = 0;
    if (!input_.ReadMore(buffer_)) ended_ = true;
  }
  return true;
}

void DelimitedTextReader::TakeUntil(wchar_t stop, bool lineEndStops,
                                    Text* record) {
  while (Available()) {
    const wchar_t* const begin = buffer_.data() + pos_;
    const wchar_t* const end = buffer_.data() + buffer_.size();
    const wchar_t* p = begin;
    if (lineEndStops) {
      while (p != end && *p != stop && *p != L'\r' && *p != L'\n') ++p;
    } else {
      while (p != end && *p != stop) ++p;
    }
    if (record) record->append(begin, p);
    pos_ += static_cast<size_t>(p - begin);
    if (p != end) return;
  }
}

bool DelimitedTextReader::AtEnd() { return !Available(); }

void DelimitedTextReader::SkipDelimiter() {
  if (!Available()) return;
  const wchar_t c = buffer_[pos_];
  if (c == L',' || c == L'\n') {
    ++pos_;
  } else if (c == L'\r') {
    ++pos_;
    if (Available() && buffer_[pos_] == L'\n') ++pos_;
  }
}

Text DelimitedTextReader::NextRecord() {
  while (Available() && IsBlank(buffer_[pos_])) ++pos_;
  Text record;
  if (!Available()) return record;

  if (buffer_[pos_] == L'"') {
    ++pos_;
    TakeUntil(L'"', false, &record);
    if (Available() && buffer_[pos_] == L'"') ++pos_;
    TakeUntil(L',', true, nullptr);
  } else {
    TakeUntil(L',', true, &record);
    const size_t last = record.find_last_not_of(L" \t");
    record.erase(last == Text::npos ? 0 : last + 1);
  }
  SkipDelimiter();
  return record;
}

}  // namespace quarrow
