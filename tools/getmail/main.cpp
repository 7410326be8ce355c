// getmail: the mail tool that Quarrow drives, for Linux.
// See README.md, "The mail tool: getmail".
#include <gmime/gmime.h>

#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "tools/getmail/CommandLine.h"
#include "tools/getmail/Errors.h"
#include "tools/getmail/Runs.h"

int main(int argc, char** argv) {
  using namespace getmail;
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  std::optional<Options> options = ParseCommandLine(args, error);
  if (!options) {
    std::cerr << "getmail: " << error << "\n" << UsageText("getmail");
    return kUsage;
  }
  // Other local users can read a process's command line: overwrite the
  // password there now that it has been read.
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "-pw") == 0) {
      std::memset(argv[i + 1], '*', std::strlen(argv[i + 1]));
      break;
    }
  }
  g_mime_init();
  int status = kOk;
  try {
    if (options->headersOnly) {
      HeaderRun(*options);
    } else {
      RetrievalRun(*options);
    }
  } catch (const Error& failure) {
    std::cerr << "getmail: " << failure.what() << "\n";
    status = failure.status();
  } catch (const std::exception& failure) {
    std::cerr << "getmail: " << failure.what() << "\n";
    status = kFailed;
  }
  g_mime_shutdown();
  return status;
}
