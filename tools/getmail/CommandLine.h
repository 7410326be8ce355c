// The command line that Quarrow gives its mail tool:
//   -u LOGIN -pw PASSWORD -s SERVER -port PORT -headersonly
//   -u LOGIN -pw PASSWORD -s SERVER -port PORT -m I -xtract PREFIX -delete
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace getmail {

struct Options {
  std::string login;
  std::string password;
  std::string server;
  int port = 0;
  bool headersOnly = false;  // true: header run; false: retrieval run
  int message = 0;           // retrieval run: the message number I
  std::string prefix;        // retrieval run: what attachment names begin with
};

// Reads the arguments after the program name. Each option takes the next
// argument as its value, whatever it looks like (a password may begin with
// "-"). The options may come in any order, each once; exactly one of the two
// forms must be complete. On a bad command line gives nothing and sets
// `error` to what is wrong.
std::optional<Options> ParseCommandLine(const std::vector<std::string>& args,
                                        std::string& error);

// The usage text for standard error.
std::string UsageText(const std::string& program);

}  // namespace getmail
