// Listing, deleting and renaming plain files by Windows rules: names are
// compared without regard to case, and folders, hidden and system files are
// not plain files.
#pragma once

#include <vector>

#include "platform/Platform.h"

namespace quarrow::win32 {

std::vector<Text> ListFiles(const Text& pattern);
void DeleteFiles(const Text& pattern);
void RenameFile(const Text& from, const Text& to);
// File index, size and last write time (in 100 ns units) of `name`.
FileState GetFileState(const Text& name);

// The folder part of a pattern, with its closing "\" or ":" ("c:\mail\"
// for "c:\mail\MSG*.TXT", "c:" for "c:MSG*.TXT", empty for "MSG*.TXT").
Text FolderPart(const Text& pattern);

}  // namespace quarrow::win32
