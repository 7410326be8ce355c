// The settings that the window and the passes share for one run of the
// program, and the reading of the command line that fills them.
#pragma once

#include "platform/Platform.h"

namespace quarrow {

struct Settings {
  Text myPath;   // mail folder: where the tool writes and results are renamed
  Text myLogin;  // mailbox login
  Text myPass;   // mailbox password
  Text mySrv;    // mail server host name
  Text myPort;   // server port, as text
  Text mySubj;   // subject text to look for
};

enum class Mode { Interactive, Batch };

// The settings of interactive mode.
Settings DefaultSettings();

// Fills `settings` from `commandLine` (the process's argument text): six
// "/"-separated fields give batch mode, anything less the defaults and
// interactive mode.
Mode LoadSettings(const Text& commandLine, Settings& settings);

}  // namespace quarrow
