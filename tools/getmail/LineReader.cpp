#include "tools/getmail/LineReader.h"

#include <algorithm>
#include <cstring>

#include "tools/getmail/Errors.h"

namespace getmail {
namespace {

constexpr std::size_t kReadSize = 64 * 1024;

}  // namespace

LineReader::LineReader(Connection& connection, std::string server,
                       std::chrono::milliseconds timeout)
    : connection_(connection), server_(std::move(server)), timeout_(timeout) {
  buffer_.resize(kReadSize);
  StartReply();
}

void LineReader::StartReply() {
  replyStart_ = std::chrono::steady_clock::now();
  replyBytes_ = 0;
}

std::string_view LineReader::ReadLine(std::size_t limit) {
  for (;;) {
    const char* begin = buffer_.data() + start_;
    const std::size_t unread = end_ - start_;
    const void* newline = std::memchr(begin + scanned_, '\n', unread - scanned_);
    std::size_t length = newline != nullptr
                             ? static_cast<const char*>(newline) - begin + 1
                             : unread;
    if (length > limit) {
      throw Error("the server " + server_ + " sent a line longer than " +
                  std::to_string(limit) + " bytes");
    }
    if (newline != nullptr) {
      start_ += length;
      scanned_ = 0;
      return std::string_view(begin, length);
    }
    scanned_ = unread;
    Fill();
  }
}

std::string_view LineReader::ReadLinePart(std::size_t most, bool& ended) {
  for (;;) {
    const char* begin = buffer_.data() + start_;
    const std::size_t unread = end_ - start_;
    const std::size_t window = std::min(unread, most);
    const void* newline =
        scanned_ < window ? std::memchr(begin + scanned_, '\n', window - scanned_) : nullptr;
    if (newline != nullptr || unread >= most) {
      ended = newline != nullptr;
      const std::size_t length =
          ended ? static_cast<std::size_t>(static_cast<const char*>(newline) - begin) + 1 : most;
      start_ += length;
      scanned_ = 0;
      return std::string_view(begin, length);
    }
    scanned_ = unread;
    Fill();
  }
}

std::string_view LineReader::ReadBytes(std::size_t most) {
  if (end_ == start_) Fill();
  const std::size_t n = std::min(most, end_ - start_);
  const char* begin = buffer_.data() + start_;
  start_ += n;
  scanned_ = scanned_ > n ? scanned_ - n : 0;
  return std::string_view(begin, n);
}

void LineReader::Fill() {
  // Make room: move what is unread to the front once the space behind it
  // runs short, and grow only for a line longer than the buffer (the caller
  // has checked that it is within its limit).
  if (start_ > 0 && (start_ == end_ || buffer_.size() - end_ < kReadSize / 4)) {
    std::memmove(&buffer_[0], &buffer_[start_], end_ - start_);
    end_ -= start_;
    start_ = 0;
  }
  if (buffer_.size() - end_ < kReadSize / 4) buffer_.resize(buffer_.size() * 2);
  std::size_t n = connection_.ReadSome(&buffer_[end_], buffer_.size() - end_);
  end_ += n;
  replyBytes_ += n;
  using std::chrono::milliseconds;
  const auto taken = std::chrono::duration_cast<milliseconds>(
      std::chrono::steady_clock::now() - replyStart_);
  const milliseconds allowed =
      timeout_ + milliseconds(replyBytes_ * 1000 / kFloorBytesPerSecond);
  if (taken > allowed) {
    throw Error("the server " + server_ + " is sending too slowly: " +
                std::to_string(replyBytes_) + " bytes in " +
                std::to_string(taken.count() / 1000) +
                " s (once the time-out of " + std::to_string(timeout_.count() / 1000.0).substr(0, 4) +
                " s has passed, a reply must keep up " +
                std::to_string(kFloorBytesPerSecond) + " bytes a second)");
  }
}

}  // namespace getmail
