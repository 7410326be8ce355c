// The two command lines of the mail tool. They are plain concatenations: the
// values go in exactly as they stand, without quoting or escaping.
#pragma once

#include "app/Settings.h"

namespace quarrow {

// The tool itself: `programFolder` + "\getmail.exe". The commands below
// begin with it; it is also handed to the process start on its own, so the
// program is never looked for in the unquoted text.
Text ToolProgram(const Text& programFolder);

// `programFolder` + "\getmail.exe ... -headersonly"
Text HeaderCommand(const Text& programFolder, const Settings& settings);

// `programFolder` + "\getmail.exe ... -m i -xtract Extracti- -delete"
Text RetrievalCommand(const Text& programFolder, const Settings& settings,
                      int messageNumber);

}  // namespace quarrow
