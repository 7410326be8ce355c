// A message of a retrieval run on its way to the mail folder: written
// straight to the body file's temporary file as it arrives, its header kept
// aside for the check that it is still the message of the header run, then
// saved with its attachments. Nothing of it is held whole in memory.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "tools/getmail/Files.h"

namespace getmail {

class IncomingMessage {
 public:
  // Headers of real mail are a few kilobytes; this one is refused.
  static constexpr std::size_t kMaxHeaderBytes = 4 * 1024 * 1024;
  // GMime holds the tree of a message's parts in memory, a few kilobytes a
  // part: a message with more lines that begin with "--" (a MIME delimiter
  // does) than this is refused.
  static constexpr long kMaxDelimiterLines = 50000;

  // The message is to become the body file `bodyName`. Throws Error.
  explicit IncomingMessage(std::string bodyName);

  // Takes the next piece of the message as received, cut anywhere. Throws
  // Error.
  void Take(std::string_view piece);

  // Once all has arrived: the message's header as received, up to the empty
  // line after it (HeaderPart). Throws Error if it is longer than
  // kMaxHeaderBytes.
  std::string_view Header() const;

  // Puts the message in place as the body file, replacing an earlier one and
  // removing its spellings in other cases (so that exactly one stands; links
  // among them are removed, never followed); then saves each attachment
  // (FindAttachments) straight from that file, decoded, as a new file named
  // `prefix` + its name by a NameBook that keeps clear of every file here;
  // then flushes the folder to disk. Reads the folder once. Throws Error,
  // before anything is put in place if the message has too many parts.
  void Save(const std::string& prefix);

 private:
  void CollectHeader(std::string_view piece);
  void CountDelimiterLines(std::string_view piece);

  std::string bodyName_;
  TempFile body_;
  std::string header_;
  bool headerEnded_ = false;
  bool headerTooLong_ = false;
  int dashes_ = 0;  // "-" at the start of the current line so far; -1: other
  long delimiterLines_ = 0;
};

}  // namespace getmail
