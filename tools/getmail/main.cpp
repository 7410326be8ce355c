// getmail: the mail tool that Quarrow drives, for Linux and Windows.
// See README.md, "The mail tool: getmail".
#include <gmime/gmime.h>

#include <string>
#include <vector>

#include "tools/getmail/Arguments.h"
#include "tools/getmail/CommandLine.h"
#include "tools/getmail/Console.h"
#include "tools/getmail/Errors.h"
#include "tools/getmail/Files.h"
#include "tools/getmail/FolderLock.h"
#include "tools/getmail/Report.h"
#include "tools/getmail/Runs.h"
#include "tools/getmail/ServerText.h"
#include "tools/getmail/SignInMain.h"
#include "tools/getmail/Startup.h"
#include "tools/getmail/Stopping.h"

namespace {

// A failure as the user sees it. Server text in it is masked already; this
// catches a secret that reached it some other way. Short secrets are left
// to that first masking, which knows where the server's words are: here
// they would mask our own words too.
void ReportFailure(const std::string& what) {
  getmail::Report("getmail: " + getmail::WithoutSecrets(what, 6) + "\n");
}

}  // namespace

int main(int argc, char** argv) {
  using namespace getmail;
  SafeStart();
  // Every run holds a password or a token from here on.
  KeepSecretsInProcess();
  const std::vector<std::string> arguments = ToolArguments(argc, argv);
  // Other local users can read a process's command line: overwrite the
  // password there now that it has been read, a bad command line's too.
  HidePassword(argc, argv);
  if (IsSignInCommand(arguments)) return SignInMain(arguments);
  std::string error;
  std::optional<Options> options = ParseCommandLine(arguments, error);
  if (!options) {
    Report("getmail: " + error + "\n" + UsageText("getmail") + SignInUsageText("getmail"));
    return kUsage;
  }
  WatchForStop();
  g_mime_init();
  int status = kOk;
  try {
    // Nothing in the folder is touched before the lock is held: not even
    // what killed runs left, which may belong to a run still working.
    FolderLock lock;
    RemoveLeftoverTempFiles();
    if (options->headersOnly) {
      HeaderRun(*options);
    } else {
      RetrievalRun(*options);
    }
  } catch (const Error& failure) {
    status = failure.status();
    ReportFailure(failure.what());
  } catch (const std::exception& failure) {
    status = kFailed;
    ReportFailure(failure.what());
  }
  g_mime_shutdown();
  return status;
}
