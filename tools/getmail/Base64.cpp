#include "tools/getmail/Base64.h"

#include <array>

namespace getmail {
namespace {

constexpr unsigned char kSkip = 0x80;
constexpr unsigned char kPad = 0x81;

constexpr std::array<unsigned char, 256> MakeValues() {
  std::array<unsigned char, 256> values{};
  for (auto& value : values) value = kSkip;
  const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (unsigned char i = 0; i < 64; ++i) values[static_cast<unsigned char>(digits[i])] = i;
  values['='] = kPad;
  return values;
}
constexpr std::array<unsigned char, 256> kValues = MakeValues();

unsigned char ValueOf(char c) { return kValues[static_cast<unsigned char>(c)]; }

}  // namespace

std::size_t Base64Decoder::Step(const char* in, std::size_t size, char* out) {
  const char* const end = in + size;
  char* const start = out;
  while (in < end) {
    if (digits_ == 0) {
      // The common case: whole groups between line ends.
      while (end - in >= 4) {
        std::uint32_t a = ValueOf(in[0]), b = ValueOf(in[1]), c = ValueOf(in[2]),
                      d = ValueOf(in[3]);
        if ((a | b | c | d) & 0x80) break;
        std::uint32_t group = a << 18 | b << 12 | c << 6 | d;
        *out++ = static_cast<char>(group >> 16);
        *out++ = static_cast<char>(group >> 8);
        *out++ = static_cast<char>(group);
        in += 4;
      }
      if (in == end) break;
    }
    unsigned char value = ValueOf(*in++);
    if (value < 64) {
      bits_ = bits_ << 6 | value;
      if (++digits_ == 4) {
        *out++ = static_cast<char>(bits_ >> 16);
        *out++ = static_cast<char>(bits_ >> 8);
        *out++ = static_cast<char>(bits_);
        bits_ = 0;
        digits_ = 0;
      }
    } else if (value == kPad) {
      out += Finish(out);
    }
  }
  return static_cast<std::size_t>(out - start);
}

std::size_t Base64Decoder::Finish(char* out) {
  std::size_t written = 0;
  if (digits_ == 2) {
    out[0] = static_cast<char>(bits_ >> 4);
    written = 1;
  } else if (digits_ == 3) {
    out[0] = static_cast<char>(bits_ >> 10);
    out[1] = static_cast<char>(bits_ >> 2);
    written = 2;
  }
  bits_ = 0;
  digits_ = 0;
  return written;
}

}  // namespace getmail
