// A message of a retrieval run on its way to the mail folder: written
// straight to the body file's temporary file as it arrives, while a thread of
// its own parses it from that file and writes each attachment to a temporary
// file of its own; its header kept aside for the check that it is still the
// message of the header run; then everything put in place. Nothing of it is
// held whole in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tools/getmail/Files.h"
#include "tools/getmail/FollowStream.h"
#include "tools/getmail/PartLines.h"
#include "tools/getmail/Pop3Session.h"

namespace getmail {

class IncomingMessage {
 public:
  // Headers of real mail are a few kilobytes; a longer one than the header
  // run takes is refused.
  static constexpr std::size_t kMaxHeaderBytes = kHeaderLimit;
  // GMime holds the tree of a message's parts in memory, a few kilobytes a
  // part: a message with more lines that begin with "--" (a MIME delimiter
  // does) than this is refused.
  static constexpr long kMaxDelimiterLines = 50000;
  // GMime holds each part's header whole: a message whose parts' headers
  // come to more than this in all is refused.
  static constexpr std::uint64_t kMaxPartHeaderBytes = kHeaderLimit;

  // The message is to become the body file `bodyName`, its attachments
  // `prefix` + their names. Throws Error.
  IncomingMessage(std::string bodyName, std::string prefix);
  // Stops the parsing and removes every temporary file not put in place.
  ~IncomingMessage();
  IncomingMessage(const IncomingMessage&) = delete;
  IncomingMessage& operator=(const IncomingMessage&) = delete;

  // Takes the next piece of the message as received, cut anywhere. Throws
  // Error.
  void Take(std::string_view piece);

  // All of the message has come: waits until every attachment is written to
  // its temporary file (FindAttachments: decoded, nothing whole in memory).
  // Throws Error, also for a message with too many parts.
  void Complete();

  // The message's header as received, up to the empty line after it
  // (HeaderPart). Throws Error if it is longer than kMaxHeaderBytes.
  std::string_view Header() const;

  // Once complete: puts each attachment in place, in order, as `prefix` +
  // its name by a NameBook that keeps clear of every file here; then the
  // message as the body file, replacing an earlier one and removing its
  // spellings in other cases (so that exactly one stands; links among them
  // are removed, never followed); then flushes the folder to disk. Reads the
  // folder once. Throws Error, after removing what it had put in place.
  void Save();

 private:
  struct Attachment {
    std::string name;  // before the prefix, not yet made unique
    std::unique_ptr<TempFile> file;
  };

  void Extract(GMimeStream* file);  // the parsing thread
  void CollectHeader(std::string_view piece);
  // Counts the piece's part lines, and stops the parse where GMime would
  // hold too much.
  void CountPartLines(std::string_view piece);
  void Abandon();

  std::string bodyName_;
  std::string prefix_;
  TempFile body_;
  std::string header_;
  bool headerEnded_ = false;
  bool headerTooLong_ = false;
  PartLines partLines_;

  WriteProgress progress_;
  std::thread parser_;
  // Written by the parsing thread, read once it has ended.
  std::vector<Attachment> attachments_;
  std::exception_ptr failure_;
};

}  // namespace getmail
