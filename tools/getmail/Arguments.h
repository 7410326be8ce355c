// The tool's command line, as each system hands it over.
#pragma once

#include <string>
#include <vector>

namespace getmail {

// The arguments after the program's name, as UTF-8 text (on Windows read
// from the wide command line, so that any character survives).
std::vector<std::string> ToolArguments(int argc, char** argv);

// Overwrites the value of -pw where the system shows the process's command
// line to other users, now that it has been read.
void HidePassword(int argc, char** argv);

}  // namespace getmail
