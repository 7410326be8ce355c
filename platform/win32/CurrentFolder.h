// The current drive and the current folder of each drive, kept the way the
// Windows command line and C runtime keep them: the process has one current
// folder, and every other drive remembers its own in the "=X:" variable.
#pragma once

#include "platform/Platform.h"

namespace quarrow::win32 {

void SelectDrive(wchar_t letter);
void ChangeFolder(const Text& folder);

}  // namespace quarrow::win32
