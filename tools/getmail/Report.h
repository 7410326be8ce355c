// Where the tool's messages go: standard error, and on Windows also a log
// file, since the console window the tool runs in closes when it ends.
#pragma once

#include <string>

namespace getmail {

// Tells the user `text` (one or more lines, each ending in "\n").
void Report(const std::string& text);

// Where Report() keeps a copy, for the usage text; empty where it keeps none.
std::string ReportLogPath();

}  // namespace getmail
