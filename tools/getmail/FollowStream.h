// Reading a file while another thread writes it, so that GMime can parse a
// message while it is still arriving.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

typedef struct _GMimeStream GMimeStream;

namespace getmail {

// How much of a file is written, told by the thread that writes it to the
// thread that reads it.
class WriteProgress {
 public:
  // The writer: the first `bytes` bytes are written.
  void Advance(std::uint64_t bytes);
  // The writer: nothing more comes. If not `whole`, the reader is to stop at
  // once, even short of what is written.
  void End(bool whole);

  // The reader: waits until more than `position` bytes are written or
  // nothing more comes; gives how far the file may be read (not past
  // `position` at its end).
  std::uint64_t WaitBeyond(std::uint64_t position);
  // The reader: waits until nothing more comes; gives how far the file may be
  // read.
  std::uint64_t WaitForEnd();
  // The reader, without waiting: whether nothing more comes past `position`.
  bool EndsAt(std::uint64_t position);
  // Whether the writer has told the reader to stop.
  bool abandoned();

 private:
  std::uint64_t Limit() const { return whole_ ? written_ : 0; }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::uint64_t written_ = 0;
  bool ended_ = false;
  bool whole_ = true;
};

// A new GMime stream that reads `file` (a stream over the whole file, which
// it takes over) as far as `progress` says it is written, waiting for more
// where it has caught up; through a buffer, since GMime's parser reads a few
// kilobytes at a time. Its substreams (GMime's parser makes one of each part's
// content) read `file` directly: they are for reading once all is written.
// `progress` must outlive the reading.
GMimeStream* NewFollowStream(GMimeStream* file, WriteProgress& progress);

}  // namespace getmail
