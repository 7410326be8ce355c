// getmail: the mail tool that Quarrow drives, for Linux and Windows.
// See README.md, "The mail tool: getmail".
#include <gmime/gmime.h>

#include <string>
#include <vector>

#include "tools/getmail/Arguments.h"
#include "tools/getmail/CommandLine.h"
#include "tools/getmail/Console.h"
#include "tools/getmail/Errors.h"
#include "tools/getmail/Report.h"
#include "tools/getmail/Runs.h"
#include "tools/getmail/SignInMain.h"

int main(int argc, char** argv) {
  using namespace getmail;
  // Every run holds a password or a token from here on.
  KeepSecretsInProcess();
  std::vector<std::string> args = ToolArguments(argc, argv);
  if (IsSignInCommand(args)) return SignInMain(args);
  std::string error;
  std::optional<Options> options = ParseCommandLine(args, error);
  if (!options) {
    Report("getmail: " + error + "\n" + UsageText("getmail") + SignInUsageText("getmail"));
    return kUsage;
  }
  // Other local users can read a process's command line: overwrite the
  // password there now that it has been read.
  HidePassword(argc, argv);
  g_mime_init();
  int status = kOk;
  try {
    if (options->headersOnly) {
      HeaderRun(*options);
    } else {
      RetrievalRun(*options);
    }
  } catch (const Error& failure) {
    Report(std::string("getmail: ") + failure.what() + "\n");
    status = failure.status();
  } catch (const std::exception& failure) {
    Report(std::string("getmail: ") + failure.what() + "\n");
    status = kFailed;
  }
  g_mime_shutdown();
  return status;
}
