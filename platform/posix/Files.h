// Listing, deleting, renaming and opening files by Windows name, without
// regard to case.
#pragma once

#include <memory>
#include <vector>

#include "platform/posix/Drives.h"

namespace quarrow::posix {

// Plain files: regular files or links to them, whose names do not begin
// with "." (hidden). Folders are left out.
std::vector<Text> ListFiles(const Drives& drives, const Text& pattern);
// Deletes the plain files matching `pattern`; one that its owner may not
// write counts as read-only and is not deleted.
void DeleteFiles(const Drives& drives, const Text& pattern);
void RenameFile(const Drives& drives, const Text& from, const Text& to);
// Inode, size and modification time to the nanosecond of the plain file
// that `name` names, following links.
FileState GetFileState(const Drives& drives, const Text& name);
std::unique_ptr<TextReader> OpenTextFile(const Drives& drives,
                                         const Text& name);

}  // namespace quarrow::posix
