// Runs a program and collects what it printed.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace harness {

struct ProcessResult {
  int status = -1;  // exit status; 128 + signal number if killed
  std::string out;
  std::string err;
  double seconds = 0;
  long maxRssKb = 0;  // the most memory the program held, in KiB
};

// Runs argv[0] (a path) with the arguments after it, in folder `cwd`, with the
// environment of this process changed by `env` (a value of nothing removes
// the variable). Killed after `timeoutSeconds`. With `started`, the program
// runs in a process group of its own, and `started` gets its id (also the
// group's) as soon as it runs, to signal it while it works.
ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::string& cwd,
                         const std::map<std::string, std::optional<std::string>>& env = {},
                         int timeoutSeconds = 120,
                         const std::function<void(int pid)>& started = {});

}  // namespace harness
