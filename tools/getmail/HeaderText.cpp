#include "tools/getmail/HeaderText.h"

#include <gmime/gmime.h>

#include <cstdint>
#include <cstdio>

namespace getmail {
namespace {

// Whether GMime has anything to do for a value: encoded words or bytes
// beyond ASCII. Most values have neither, and skipping GMime for them keeps
// a header run of many messages fast.
bool NeedsDecoding(std::string_view value) {
  if (value.find("=?") != std::string_view::npos) return true;
  for (char c : value) {
    if (static_cast<unsigned char>(c) >= 0x80) return true;
  }
  return false;
}

// Appends `text` with every NUL, CR and LF made a blank: in a header file a
// line ends only where a field does, and a NUL would end the text early.
void AppendPlain(std::string_view text, std::string& out) {
  std::size_t start = out.size();
  out.append(text);
  for (std::size_t i = start; i < out.size(); ++i) {
    char& c = out[i];
    if (c == '\r' || c == '\n' || c == '\0') c = ' ';
  }
}

void AppendDecoded(std::string_view value, std::string& out) {
  if (!NeedsDecoding(value)) {
    AppendPlain(value, out);
    return;
  }
  // GMime reads a C string: what follows a NUL would be lost.
  std::string text(value);
  for (char& c : text) {
    if (c == '\0') c = ' ';
  }
  char* decoded = g_mime_utils_header_decode_text(nullptr, text.c_str());
  if (decoded != nullptr) {
    text = decoded;
    g_free(decoded);
  }
  AppendPlain(text, out);
}

// Appends one unfolded field and its CRLF.
void AppendField(std::string_view field, std::string& out) {
  std::size_t colon = field.find(':');
  bool plain = colon == std::string_view::npos;
  for (std::size_t i = 0; !plain && i < colon; ++i) {
    unsigned char c = static_cast<unsigned char>(field[i]);
    if (c <= ' ' || c >= 127) plain = true;  // not a field name
  }
  if (plain) {
    AppendPlain(field, out);
  } else {
    // Keep the blanks after the colon as they are; decode the rest.
    std::size_t lead = field.find_first_not_of(" \t", colon + 1);
    if (lead == std::string_view::npos) lead = field.size();
    out.append(field.substr(0, lead));
    if (lead < field.size()) AppendDecoded(field.substr(lead), out);
  }
  out += "\r\n";
}

}  // namespace

std::string HeaderText(std::string_view header) {
  std::string out, field;
  out.reserve(header.size() + 64);
  std::size_t pos = 0;
  while (pos < header.size()) {
    std::size_t end = header.find('\n', pos);
    if (end == std::string_view::npos) end = header.size();
    std::string_view line = header.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    pos = end + 1;
    if (!field.empty() && !line.empty() && (line[0] == ' ' || line[0] == '\t')) {
      field += ' ';  // unfolded: the line break goes, a tab becomes a blank
      field.append(line.substr(1));
      continue;
    }
    if (!field.empty()) AppendField(field, out);
    field.assign(line);
  }
  if (!field.empty()) AppendField(field, out);
  return out;
}

std::string_view HeaderPart(std::string_view message) {
  std::size_t pos = 0;
  while (pos < message.size()) {
    std::size_t end = message.find('\n', pos);
    if (end == std::string_view::npos) return message;
    std::string_view line = message.substr(pos, end - pos);
    if (line.empty() || line == "\r") return message.substr(0, pos);
    pos = end + 1;
  }
  return message;
}

std::string HeaderFingerprint(std::string_view header) {
  // FNV-1a, 64 bits: headers of different messages differ (Message-ID,
  // Received, Date), and this only has to tell them apart.
  std::uint64_t hash = 14695981039346656037ull;
  for (char c : header) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

}  // namespace getmail
