#include "tools/getmail/SignInMain.h"

#include <exception>

#include "tools/getmail/Errors.h"
#include "tools/getmail/Report.h"
#include "tools/getmail/SignInCommand.h"

namespace getmail {

int SignInMain(const std::vector<std::string>& args) {
  std::string error;
  std::optional<SignInRequest> request = ParseSignInCommand(args, error);
  if (!request) {
    Report("getmail: " + error + "\nusage:\n" + SignInUsageText("getmail"));
    return kUsage;
  }
  try {
    return RunSignInCommand(*request);
  } catch (const Error& failure) {
    Report(std::string("getmail: ") + failure.what() + "\n");
    return failure.status();
  } catch (const std::exception& failure) {
    Report(std::string("getmail: ") + failure.what() + "\n");
    return kFailed;
  }
}

}  // namespace getmail
