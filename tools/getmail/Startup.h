// What the tool does first, before it reads anything or starts anything.
#pragma once

namespace getmail {

// Makes the process safe to run in a folder that others may write to (the
// mail folder): on Windows, DLLs are loaded from System32 only, never from
// the current folder or the program's. Nothing to do on POSIX systems,
// which look for libraries only where the system keeps them.
void SafeStart();

}  // namespace getmail
