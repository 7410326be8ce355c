#include "tools/getmail/HeaderText.h"

#include <gmime/gmime.h>

#include <vector>

namespace getmail {
namespace {

// The header's logical lines, unfolded.
std::vector<std::string> Unfold(std::string_view header) {
  std::vector<std::string> fields;
  std::size_t pos = 0;
  while (pos < header.size()) {
    std::size_t end = header.find('\n', pos);
    if (end == std::string_view::npos) end = header.size();
    std::string_view line = header.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    pos = end + 1;
    if (!fields.empty() && !line.empty() &&
        (line[0] == ' ' || line[0] == '\t')) {
      std::string& field = fields.back();
      field += ' ';
      field.append(line.substr(1));
    } else {
      fields.emplace_back(line);
    }
  }
  return fields;
}

std::string Decode(const std::string& value) {
  char* decoded = g_mime_utils_header_decode_text(nullptr, value.c_str());
  if (decoded == nullptr) return value;
  std::string text(decoded);
  g_free(decoded);
  for (char& c : text) {
    if (c == '\r' || c == '\n' || c == '\0') c = ' ';
  }
  return text;
}

}  // namespace

std::string HeaderText(std::string_view header) {
  std::string out;
  out.reserve(header.size() + 64);
  for (const std::string& field : Unfold(header)) {
    if (field.empty()) continue;
    std::size_t colon = field.find(':');
    bool plain = colon == std::string::npos;
    for (std::size_t i = 0; !plain && i < colon; ++i) {
      unsigned char c = static_cast<unsigned char>(field[i]);
      if (c <= ' ' || c >= 127) plain = true;  // not a field name
    }
    if (plain) {
      out += field;
    } else {
      std::string value = field.substr(colon + 1);
      // Keep the blank after the colon as it was; decode the rest.
      std::size_t lead = value.find_first_not_of(" \t");
      if (lead == std::string::npos) lead = value.size();
      out.append(field, 0, colon + 1);
      out.append(value, 0, lead);
      if (lead < value.size()) out += Decode(value.substr(lead));
    }
    out += "\r\n";
  }
  return out;
}

}  // namespace getmail
