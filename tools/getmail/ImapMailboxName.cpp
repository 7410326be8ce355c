// Mailbox names as IMAP4rev1 sends them: printable ASCII as it is ("&" as
// "&-"), everything else as UTF-16 in a modified base64 between "&" and "-".
#include <cstdint>
#include <string>
#include <vector>

#include "tools/getmail/Errors.h"
#include "tools/getmail/ImapReader.h"
#include "tools/getmail/ImapSession.h"

namespace getmail {
namespace {

// The code points of `text`, which must be UTF-8.
std::vector<std::uint32_t> CodePoints(const std::string& text) {
  std::vector<std::uint32_t> points;
  for (std::size_t k = 0; k < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[k]);
    int extra = lead < 0x80 ? 0 : lead >= 0xf0 && lead < 0xf5 ? 3 : lead >= 0xe0 ? 2
              : lead >= 0xc2 ? 1 : -1;
    if (extra < 0 || k + static_cast<std::size_t>(extra) >= text.size()) {
      throw Error("the mailbox name " + text + " is not UTF-8");
    }
    std::uint32_t point = extra == 0 ? lead : lead & (0x3f >> extra);
    for (int m = 1; m <= extra; ++m) {
      const unsigned char next = static_cast<unsigned char>(text[k + m]);
      if ((next & 0xc0) != 0x80) throw Error("the mailbox name " + text + " is not UTF-8");
      point = (point << 6) | (next & 0x3f);
    }
    points.push_back(point);
    k += static_cast<std::size_t>(extra) + 1;
  }
  return points;
}

// UTF-16 units of `points`, in base64 with "," for "/" and no padding.
std::string ModifiedBase64(const std::vector<std::uint32_t>& points) {
  static const char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+,";
  std::string bytes;
  auto unit = [&bytes](std::uint32_t u) {
    bytes += static_cast<char>(u >> 8);
    bytes += static_cast<char>(u & 0xff);
  };
  for (std::uint32_t point : points) {
    if (point >= 0x10000) {
      point -= 0x10000;
      unit(0xd800 + (point >> 10));
      unit(0xdc00 + (point & 0x3ff));
    } else {
      unit(point);
    }
  }
  std::string out;
  std::uint32_t bits = 0;
  int held = 0;
  for (char c : bytes) {
    bits = (bits << 8) | static_cast<unsigned char>(c);
    held += 8;
    while (held >= 6) {
      held -= 6;
      out += kDigits[(bits >> held) & 0x3f];
    }
  }
  if (held > 0) out += kDigits[(bits << (6 - held)) & 0x3f];
  return out;
}

}  // namespace

std::string MailboxArgument(const std::string& name) {
  std::string encoded;
  std::vector<std::uint32_t> run;  // code points waiting to be encoded
  auto flush = [&] {
    if (run.empty()) return;
    encoded += "&" + ModifiedBase64(run) + "-";
    run.clear();
  };
  for (std::uint32_t point : CodePoints(name)) {
    if (point >= 0x20 && point <= 0x7e) {
      flush();
      encoded += point == '&' ? std::string("&-") : std::string(1, static_cast<char>(point));
    } else {
      run.push_back(point);
    }
  }
  flush();
  return Quoted(encoded);
}

}  // namespace getmail
