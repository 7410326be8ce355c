// The system's own description of an error code, for failure messages.
#pragma once

#include "platform/Platform.h"

namespace quarrow::win32 {

// FormatMessageW text for `error` without the trailing line break, or
// "Error N" when the system has no text for it. Where the text has the
// insert "%1" ("%1 is not a valid Win32 application."), `insert` takes its
// place.
Text SystemMessage(unsigned long error, const Text& insert = Text());

// "Cannot <what>: <description of error>".
Failure SystemFailure(const Text& what, unsigned long error);
// The same for GetLastError().
Failure LastErrorFailure(const Text& what);

// A name quoted for a failure message: 'c:\mail'.
Text Quoted(const Text& name);

}  // namespace quarrow::win32
