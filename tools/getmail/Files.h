// Writing files in the current folder so that a crash never leaves a
// half-written one under its final name.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace getmail {

// Writes `data` to a temporary file (named ".getmail-*.part", which matches
// neither "MSG*.TXT" nor "Extract*"), flushes it to disk if `sync`, and
// renames it to `name`, replacing a file of that name. Throws Error naming
// the file on failure, and leaves no temporary file behind.
void WriteFileAtomically(const std::string& name, std::string_view data,
                         bool sync);

// Flushes the current folder's entries (the renames) to disk.
void SyncCurrentFolder();

// Removes the files in the current folder whose names equal `name` without
// regard to ASCII case, other than `name` itself (Quarrow compares names
// without regard to case; on Linux two such files could stand side by side).
void RemoveCaseVariants(const std::string& name);

// The names of the entries in the current folder.
std::vector<std::string> NamesInCurrentFolder();

// Removes `name` if it exists; throws Error if it exists and cannot be
// removed.
void RemoveIfPresent(const std::string& name);

// Compares without regard to ASCII case.
bool SameNameIgnoringCase(std::string_view a, std::string_view b);

}  // namespace getmail
