// A name as Windows reads it: an optional drive ("c:"), rooted or not, and
// its folder names, with "\" and "/" both separating them.
#pragma once

#include <vector>

#include "platform/Platform.h"

namespace quarrow::posix {

struct WindowsPath {
  wchar_t drive = 0;     // upper-case letter, or 0 for the current drive
  bool rooted = false;   // "\a" or "c:\a", not "a" or "c:a"
  std::vector<Text> names;  // empty names (doubled separators) left out
};

WindowsPath ParseWindowsPath(const Text& text);

bool IsSeparator(wchar_t c);

// The folder part of `text` (through its last separator, or its "x:" drive)
// and the name after it.
void SplitFolderAndName(const Text& text, Text& folder, Text& name);

}  // namespace quarrow::posix
