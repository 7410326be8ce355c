#include "platform/posix/WindowsPath.h"

#include <cwctype>

namespace quarrow::posix {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

namespace {

bool HasDrive(const Text& text) {
  return text.size() >= 2 && text[1] == L':' && text[0] < 0x80 &&
         std::iswalpha(text[0]);
}

}  // namespace

WindowsPath ParseWindowsPath(const Text& text) {
  WindowsPath path;
  size_t at = 0;
  if (HasDrive(text)) {
    path.drive = static_cast<wchar_t>(std::towupper(text[0]));
    at = 2;
  }
  path.rooted = at < text.size() && IsSeparator(text[at]);
  Text name;
  for (; at <= text.size(); ++at) {
    if (at == text.size() || IsSeparator(text[at])) {
      if (!name.empty()) path.names.push_back(name);
      name.clear();
    } else {
      name += text[at];
    }
  }
  return path;
}

void SplitFolderAndName(const Text& text, Text& folder, Text& name) {
  size_t cut = HasDrive(text) ? 2 : 0;
  for (size_t i = cut; i < text.size(); ++i)
    if (IsSeparator(text[i])) cut = i + 1;
  folder = text.substr(0, cut);
  name = text.substr(cut);
}

}  // namespace quarrow::posix
