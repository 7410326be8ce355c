// Base64 decoding (RFC 2045) of attachments, piece by piece and fast: GMime's
// own decoder takes a byte at a time, which made it most of a large
// retrieval's work.
#pragma once

#include <cstddef>
#include <cstdint>

namespace getmail {

// Digits (A-Z a-z 0-9 + /) in groups of four make three bytes; "=" ends a
// group early (two digits and "=" make one byte, three digits two); anything
// else (line ends, stray characters) is skipped. A group left unfinished at
// the end gives the whole bytes its digits hold.
class Base64Decoder {
 public:
  // Decodes `size` bytes at `in` into `out`, which has room for
  // MaxOutput(size); returns the number of bytes written there.
  std::size_t Step(const char* in, std::size_t size, char* out);
  // The bytes of an unfinished group (at most 2) into `out`.
  std::size_t Finish(char* out);
  static std::size_t MaxOutput(std::size_t size) { return size / 4 * 3 + 3; }

 private:
  std::uint32_t bits_ = 0;
  int digits_ = 0;  // in bits_, 0 to 3
};

}  // namespace getmail
