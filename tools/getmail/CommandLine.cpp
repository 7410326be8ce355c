#include "tools/getmail/CommandLine.h"

#include <cstddef>
#include <map>

namespace getmail {
namespace {

// A decimal number in [low, high], digits only.
std::optional<int> ParseNumber(const std::string& text, long low, long high) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < low || value > high) return std::nullopt;
  return static_cast<int>(value);
}

}  // namespace

std::optional<Options> ParseCommandLine(const std::vector<std::string>& args,
                                        std::string& error) {
  static const char* const kWithValue[] = {"-u", "-pw", "-s", "-port", "-m",
                                           "-xtract"};
  static const char* const kFlags[] = {"-headersonly", "-delete"};
  std::map<std::string, std::string> seen;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    bool takesValue = false, known = false;
    for (const char* name : kWithValue) {
      if (arg == name) takesValue = known = true;
    }
    for (const char* name : kFlags) {
      if (arg == name) known = true;
    }
    if (!known) {
      // A password with a blank in it reaches us as several words: a stray
      // word after -pw may be the rest of it, so it is not shown.
      error = seen.count("-pw") != 0
                  ? "an unknown option follows -pw (not shown: it may be part "
                    "of a password with a blank in it)"
                  : "unknown option '" + arg + "'";
      return std::nullopt;
    }
    if (seen.count(arg)) {
      error = "option " + arg + " given twice";
      return std::nullopt;
    }
    if (takesValue) {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        error = "option " + arg + " needs a value";
        return std::nullopt;
      }
      seen[arg] = args[++i];
    } else {
      seen[arg] = "";
    }
  }
  for (const char* name : {"-u", "-pw", "-s", "-port"}) {
    if (!seen.count(name)) {
      error = std::string("option ") + name + " is missing";
      return std::nullopt;
    }
  }
  Options options;
  options.login = seen["-u"];
  options.password = seen["-pw"];
  options.server = seen["-s"];
  std::optional<int> port = ParseNumber(seen["-port"], 1, 65535);
  if (!port) {
    error = "the port must be a number from 1 to 65535";
    return std::nullopt;
  }
  options.port = *port;

  bool headers = seen.count("-headersonly") != 0;
  bool anyRetrieval = seen.count("-m") || seen.count("-xtract") ||
                      seen.count("-delete");
  if (headers && anyRetrieval) {
    error = "-headersonly cannot be combined with -m, -xtract or -delete";
    return std::nullopt;
  }
  if (headers) {
    options.headersOnly = true;
    return options;
  }
  if (!anyRetrieval) {
    error = "give either -headersonly or -m I -xtract PREFIX -delete";
    return std::nullopt;
  }
  for (const char* name : {"-m", "-xtract", "-delete"}) {
    if (!seen.count(name)) {
      error = std::string("option ") + name + " is missing";
      return std::nullopt;
    }
  }
  std::optional<int> message = ParseNumber(seen["-m"], 1, 999999999);
  if (!message) {
    error = "the message number must be a number from 1 up";
    return std::nullopt;
  }
  options.message = *message;
  options.prefix = seen["-xtract"];
  if (options.prefix.find('/') != std::string::npos ||
      options.prefix.find('\\') != std::string::npos ||
      options.prefix == "." || options.prefix == "..") {
    error = "the prefix must be a plain file name part, without folders";
    return std::nullopt;
  }
  return options;
}

std::string UsageText(const std::string& program) {
  return "usage: " + program +
         " -u LOGIN -pw PASSWORD -s SERVER -port PORT -headersonly\n"
         "       " + program +
         " -u LOGIN -pw PASSWORD -s SERVER -port PORT -m I -xtract PREFIX"
         " -delete\n"
         "Header run: writes MSG1.TXT ... MSGn.TXT, the headers of every "
         "message, into the current folder.\n"
         "Retrieval run: saves message I of the last header run as "
         "MSG(n+1).TXT and its attachments\n"
         "as PREFIX + name, then deletes it from the server.\n";
}

}  // namespace getmail
