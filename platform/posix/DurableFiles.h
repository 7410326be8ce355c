// Files whose names must survive a power cut: syncing a folder, and the
// job's own small hidden files written whole or not at all.
#pragma once

#include <optional>
#include <string>

#include "platform/Platform.h"

namespace quarrow::posix {

// fsync of `folder`, which makes renames and removals in it durable.
void SyncFolderAt(const std::string& folder);
// Writes `bytes` as `folder`/`name` by way of a temporary file: written,
// synced, renamed over the old one, and the folder synced.
void WriteWhole(const std::string& folder, const std::string& name,
                const std::string& bytes);
// Up to `limit` bytes of `folder`/`name`; nothing when it does not exist.
std::optional<std::string> ReadSmall(const std::string& folder,
                                     const std::string& name, size_t limit);
// Removes `folder`/`name`; one that is not there is not an error.
void RemoveIfThere(const std::string& folder, const std::string& name);

}  // namespace quarrow::posix
