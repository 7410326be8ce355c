// Where the program lives and what it was started with.
#pragma once

#include "platform/Platform.h"

namespace quarrow::win32 {

// The folder that holds the running executable.
Text ProgramFolder();
// The process's command line after the program's own name.
Text ArgumentText();

// "c:\apps" for "c:\apps\Quarrow.exe", "c:\" for "c:\Quarrow.exe".
Text FolderOf(const Text& path);
// `commandLine` without the program's name and the blanks after it. The
// name ends at the closing quote when it begins with one, else at the first
// blank or tab, as the C runtime reads it.
Text AfterProgramName(const Text& commandLine);

}  // namespace quarrow::win32
