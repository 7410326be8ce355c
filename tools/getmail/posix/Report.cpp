#include "tools/getmail/Report.h"

#include <cstdio>

namespace getmail {

// A terminal, cron's mail or the journal keeps standard error on Linux.
void Report(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

std::string ReportLogPath() { return std::string(); }

}  // namespace getmail
