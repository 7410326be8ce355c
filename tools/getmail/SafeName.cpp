#include "tools/getmail/SafeName.h"

#include <cctype>
#include <cstdint>
#include <cstring>
#include <utility>

namespace getmail {
namespace {

constexpr std::size_t kMaxBytes = 180;

// Length of the UTF-8 sequence at `s`, and its code point, or 0 if invalid.
std::size_t DecodeUtf8(std::string_view s, std::uint32_t& cp) {
  unsigned char c = static_cast<unsigned char>(s[0]);
  std::size_t length;
  if (c < 0x80) {
    cp = c;
    return 1;
  } else if ((c & 0xE0) == 0xC0) {
    length = 2;
    cp = c & 0x1F;
  } else if ((c & 0xF0) == 0xE0) {
    length = 3;
    cp = c & 0x0F;
  } else if ((c & 0xF8) == 0xF0) {
    length = 4;
    cp = c & 0x07;
  } else {
    return 0;
  }
  if (s.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    unsigned char d = static_cast<unsigned char>(s[i]);
    if ((d & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (d & 0x3F);
  }
  static const std::uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kMin[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    return 0;
  }
  return length;
}

bool Forbidden(std::uint32_t cp) {
  if (cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp < 0xA0)) return true;
  if (std::strchr("\\/:*?\"<>|", static_cast<int>(cp)) != nullptr && cp < 0x80) {
    return true;
  }
  // Bidirectional controls can make "exe.txt" look like "txt.exe".
  return (cp >= 0x200E && cp <= 0x200F) || (cp >= 0x202A && cp <= 0x202E) ||
         (cp >= 0x2066 && cp <= 0x2069) || cp == 0xFEFF;
}

// Cuts `text` to at most `limit` bytes at a character boundary.
std::string CutUtf8(std::string text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
  return text;
}

void Trim(std::string& name) {
  std::size_t begin = name.find_first_not_of(". ");
  std::size_t end = name.find_last_not_of(". ");
  if (begin == std::string::npos) {
    name.clear();
  } else {
    name = name.substr(begin, end - begin + 1);
  }
}

// `name` cut to kMaxBytes, keeping its extension where that is short.
std::string Fit(std::string name) {
  if (name.size() <= kMaxBytes) return name;
  std::string extension(ExtensionOf(name));
  if (extension.size() > 20) extension.clear();
  name = CutUtf8(name.substr(0, name.size() - extension.size()),
                 kMaxBytes - extension.size());
  Trim(name);
  if (name.empty()) name = "attachment";
  return name + extension;
}

}  // namespace

bool IsWindowsDeviceName(std::string_view name) {
  // Windows takes the part before the first dot, without trailing blanks.
  std::string base(name.substr(0, name.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" ||
      base == "CONIN$" || base == "CONOUT$") {
    return true;
  }
  if (base.compare(0, 3, "COM") != 0 && base.compare(0, 3, "LPT") != 0) return false;
  std::string_view number = std::string_view(base).substr(3);
  // A digit, or the superscripts one, two and three (UTF-8), which Windows
  // takes as digits there.
  return (number.size() == 1 && number[0] >= '0' && number[0] <= '9') ||
         number == "\xC2\xB9" || number == "\xC2\xB2" || number == "\xC2\xB3";
}

std::string SafeFileName(std::string_view raw) {
  std::size_t slash = raw.find_last_of("/\\");
  if (slash != std::string_view::npos) raw.remove_prefix(slash + 1);
  std::string name;
  while (!raw.empty()) {
    std::uint32_t cp = 0;
    std::size_t length = DecodeUtf8(raw, cp);
    if (length == 0) {
      name += '_';
      raw.remove_prefix(1);
      continue;
    }
    if (cp == '\t') {
      name += ' ';
    } else if (Forbidden(cp)) {
      name += '_';
    } else if (cp == '.' && !name.empty() && name.back() == '.') {
      // ".." never survives: runs of dots become one.
    } else {
      name.append(raw.data(), length);
    }
    raw.remove_prefix(length);
  }
  Trim(name);
  if (name.empty()) return name;
  // Checked once the name is final: cutting can make a device name of a
  // name that was none.
  name = Fit(std::move(name));
  if (IsWindowsDeviceName(name)) name = Fit("_" + name);
  return name;
}

std::string_view ExtensionOf(std::string_view name) {
  std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return {};
  return name.substr(dot);
}

std::string ExtensionForType(std::string_view mimeType) {
  std::string type(mimeType);
  for (char& c : type) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  static const std::pair<const char*, const char*> kTypes[] = {
      {"text/plain", ".txt"},
      {"text/html", ".html"},
      {"text/csv", ".csv"},
      {"text/calendar", ".ics"},
      {"text/vcard", ".vcf"},
      {"text/x-vcard", ".vcf"},
      {"text/xml", ".xml"},
      {"text/rtf", ".rtf"},
      {"text/enriched", ".txt"},
      {"image/jpeg", ".jpg"},
      {"image/png", ".png"},
      {"image/gif", ".gif"},
      {"image/bmp", ".bmp"},
      {"image/tiff", ".tif"},
      {"image/webp", ".webp"},
      {"image/svg+xml", ".svg"},
      {"audio/mpeg", ".mp3"},
      {"audio/wav", ".wav"},
      {"audio/x-wav", ".wav"},
      {"audio/ogg", ".ogg"},
      {"video/mp4", ".mp4"},
      {"video/mpeg", ".mpg"},
      {"application/pdf", ".pdf"},
      {"application/zip", ".zip"},
      {"application/gzip", ".gz"},
      {"application/x-gzip", ".gz"},
      {"application/json", ".json"},
      {"application/xml", ".xml"},
      {"application/rtf", ".rtf"},
      {"application/msword", ".doc"},
      {"application/vnd.ms-excel", ".xls"},
      {"application/vnd.ms-powerpoint", ".ppt"},
      {"application/vnd.openxmlformats-officedocument.wordprocessingml.document", ".docx"},
      {"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet", ".xlsx"},
      {"application/vnd.openxmlformats-officedocument.presentationml.presentation", ".pptx"},
      {"application/vnd.oasis.opendocument.text", ".odt"},
      {"application/pgp-signature", ".asc"},
      {"application/pkcs7-signature", ".p7s"},
      {"application/x-pkcs7-signature", ".p7s"},
      {"message/rfc822", ".eml"},
      {"message/delivery-status", ".txt"},
      {"text/rfc822-headers", ".txt"},
  };
  for (const auto& [name, extension] : kTypes) {
    if (type == name) return extension;
  }
  if (type.rfind("text/", 0) == 0) return ".txt";
  return ".bin";
}

std::string NameBook::Key(std::string_view fileName) {
  std::string key(fileName);
  for (char& c : key) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return key;
}

void NameBook::Reserve(std::string_view fileName) { taken_.insert(Key(fileName)); }

std::string NameBook::Claim(std::string_view name) {
  std::string given(name);
  // The prefix and the name together must not make a device name either.
  if (IsWindowsDeviceName(prefix_ + given)) given.insert(0, "_");
  std::string candidate = prefix_ + given;
  if (taken_.insert(Key(candidate)).second) return candidate;
  const std::string extension(ExtensionOf(given));
  const std::string stem = prefix_ + given.substr(0, given.size() - extension.size());
  // Numbering goes on where the last name of this stem left off, so that n
  // parts of one name cost n tries, not n * n / 2. "/" is in no file name.
  int& next = next_[Key(stem) + "/" + Key(extension)];
  if (next < 2) next = 2;
  for (;;) {
    candidate = stem + "-" + std::to_string(next++) + extension;
    if (taken_.insert(Key(candidate)).second) return candidate;
  }
}

}  // namespace getmail
