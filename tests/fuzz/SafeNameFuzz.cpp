// Fuzzes attachment file names and the name book. The input is lines: the
// first is the prefix, a line beginning "!" reserves the rest as a whole
// file name, every other line is an attachment's name as a message gives
// it, made safe and then claimed.
#include <cstdint>
#include <set>
#include <string>

#include "FuzzSupport.h"
#include "tools/getmail/SafeName.h"

namespace {

constexpr std::size_t kMostLines = 2000;

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// The code points of `text`; false if it is not UTF-8.
bool CodePoints(std::string_view text, std::u32string& out) {
  for (std::size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    std::size_t length = c < 0x80          ? 1
                         : (c >> 5) == 6   ? 2
                         : (c >> 4) == 14  ? 3
                         : (c >> 3) == 30  ? 4
                                           : 0;
    if (length == 0 || i + length > text.size()) return false;
    std::uint32_t cp = length == 1 ? c : c & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      unsigned char d = static_cast<unsigned char>(text[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (d & 0x3F);
    }
    static const std::uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kLeast[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    out.push_back(cp);
    i += length;
  }
  return true;
}

bool Unsafe(std::uint32_t cp) {
  if (cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp < 0xA0)) return true;
  constexpr std::string_view kForbidden = "\\/:*?\"<>|";
  if (cp < 0x80 && kForbidden.find(static_cast<char>(cp)) != std::string_view::npos) return true;
  return (cp >= 0x200E && cp <= 0x200F) || (cp >= 0x202A && cp <= 0x202E) ||
         (cp >= 0x2066 && cp <= 0x2069) || cp == 0xFEFF;
}

// Whether Windows takes `name` for a device: the part before the first dot,
// blanks at its end ignored, is one of the device names.
bool WindowsDevice(std::string_view name) {
  std::string base = Lower(name.substr(0, name.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  static const std::set<std::string> kDevices = [] {
    std::set<std::string> names = {"con", "prn", "aux", "nul", "conin$", "conout$"};
    for (const char* digit : {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9",
                              "\u00b9", "\u00b2", "\u00b3"}) {
      names.insert(std::string("com") + digit);
      names.insert(std::string("lpt") + digit);
    }
    return names;
  }();
  return kDevices.count(base) != 0;
}

void CheckSafe(const std::string& name) {
  std::u32string points;
  fuzz::Require(CodePoints(name, points), "a safe name is UTF-8");
  for (std::uint32_t cp : points) fuzz::Require(!Unsafe(cp), "a safe name has no unsafe character");
  fuzz::Require(name.size() <= 180, "a safe name has at most 180 bytes");
  fuzz::Require(name.find("..") == std::string::npos, "a safe name has no \"..\"");
  if (!name.empty()) {
    fuzz::Require(name.front() != '.' && name.front() != ' ' && name.back() != '.' &&
                      name.back() != ' ',
                  "a safe name neither begins nor ends with a dot or a blank");
  }
  fuzz::Require(!WindowsDevice(name), "a safe name is no Windows device");
  fuzz::Require(getmail::SafeFileName(name) == name, "a safe name stays as it is");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  std::string_view input = fuzz::AsText(data, size);
  std::size_t end = input.find('\n');
  std::string prefix(input.substr(0, end));
  input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);

  getmail::NameBook book(prefix);
  std::set<std::string> taken;  // lower-case whole names, reserved or given out
  for (std::size_t lines = 0; !input.empty() && lines < kMostLines; ++lines) {
    end = input.find('\n');
    std::string_view line = input.substr(0, end);
    input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
    if (!line.empty() && line[0] == '!') {
      book.Reserve(line.substr(1));
      taken.insert(Lower(line.substr(1)));
      continue;
    }
    std::string name = getmail::SafeFileName(line);
    CheckSafe(name);
    if (name.empty()) continue;
    bool free = taken.count(Lower(prefix + name)) == 0;
    std::string claimed = book.Claim(name);
    fuzz::Require(claimed.compare(0, prefix.size(), prefix) == 0, "a claimed name has the prefix");
    // Only a device name that the prefix and the name make together may be
    // changed.
    fuzz::Require(!free || claimed == prefix + name || WindowsDevice(prefix + name),
                  "a free name is given as it is");
    fuzz::Require(taken.insert(Lower(claimed)).second,
                  "a claimed name is neither reserved nor given out before");
  }
  return 0;
}
