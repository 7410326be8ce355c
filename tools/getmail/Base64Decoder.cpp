#include "tools/getmail/Base64Decoder.h"

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

// A digit's six bits already in place for each of the four places of a
// group, and kNotDigit for anything else: a group is four lookups and ORs.
constexpr std::uint32_t kNotDigit = 1u << 24;
constexpr std::array<std::uint32_t, 256> MakePlaced(int shift) {
  std::array<std::uint32_t, 256> placed{};
  for (int c = 0; c < 256; ++c) {
    placed[c] = kValues[c] < 64 ? static_cast<std::uint32_t>(kValues[c]) << shift : kNotDigit;
  }
  return placed;
}
constexpr std::array<std::uint32_t, 256> kPlaced0 = MakePlaced(18);
constexpr std::array<std::uint32_t, 256> kPlaced1 = MakePlaced(12);
constexpr std::array<std::uint32_t, 256> kPlaced2 = MakePlaced(6);
constexpr std::array<std::uint32_t, 256> kPlaced3 = MakePlaced(0);

unsigned char ValueOf(char c) { return kValues[static_cast<unsigned char>(c)]; }

}  // namespace

std::size_t Base64Decoder::Step(const char* in, std::size_t size, char* out) {
  const char* const end = in + size;
  char* const start = out;
  while (in < end) {
    if (digits_ == 0) {
      // The common case: whole groups between line ends.
      while (end - in >= 4) {
        const auto* u = reinterpret_cast<const unsigned char*>(in);
        std::uint32_t group = kPlaced0[u[0]] | kPlaced1[u[1]] | kPlaced2[u[2]] | kPlaced3[u[3]];
        if (group & kNotDigit) break;
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
