#include "tools/getmail/SignInCommandLine.h"

#include <map>

namespace getmail {
namespace {

// Logins and server names longer than this are no real mailbox's.
constexpr std::size_t kLongestName = 320;

bool IsOneOf(const std::string& word, std::initializer_list<const char*> names) {
  for (const char* name : names) {
    if (word == name) return true;
  }
  return false;
}

}  // namespace

bool IsSignInCommand(const std::vector<std::string>& args) {
  return !args.empty() && IsOneOf(args[0], {"-signin", "-signout", "-signins"});
}

std::optional<SignInRequest> ParseSignInCommand(const std::vector<std::string>& args,
                                                std::string& error) {
  SignInRequest request;
  if (!IsSignInCommand(args)) {
    error = "not a sign-in command";
    return std::nullopt;
  }
  const std::string& action = args[0];
  request.action = action == "-signin"    ? SignInRequest::Action::kSignIn
                   : action == "-signout" ? SignInRequest::Action::kSignOut
                                          : SignInRequest::Action::kList;
  std::map<std::string, std::string> seen;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool withValue = IsOneOf(arg, {"-u", "-s", "-port", "-client-id",
                                         "-client-secret", "-tenant"});
    const bool flag = IsOneOf(arg, {"-device", "-oauth2"});
    if (!withValue && !flag) {
      error = "unknown option '" + arg + "'";
      return std::nullopt;
    }
    if (seen.count(arg)) {
      error = "option " + arg + " given twice";
      return std::nullopt;
    }
    if (withValue) {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        error = "option " + arg + " needs a value";
        return std::nullopt;
      }
      seen[arg] = args[++i];
    } else if (arg == "-oauth2" && i + 1 < args.size() && !args[i + 1].empty() &&
               args[i + 1][0] != '-') {
      seen[arg] = args[++i];  // the provider, which may be left out
    } else {
      seen[arg] = "";
    }
  }

  if (request.action == SignInRequest::Action::kList) {
    if (!seen.empty()) {
      error = "-signins takes no options";
      return std::nullopt;
    }
    return request;
  }
  for (const char* name : {"-u", "-s"}) {
    if (!seen.count(name)) {
      error = std::string("option ") + name + " is missing";
      return std::nullopt;
    }
    if (seen[name].size() > kLongestName) {
      error = std::string("the value of ") + name + " is too long";
      return std::nullopt;
    }
  }
  request.login = seen["-u"];
  request.server = seen["-s"];
  if (request.action == SignInRequest::Action::kSignOut) {
    if (seen.size() != 2) {
      error = "-signout takes only -u and -s";
      return std::nullopt;
    }
    return request;
  }

  if (seen.count("-port")) {
    const std::string& text = seen["-port"];
    const bool digits = !text.empty() && text.size() <= 5 &&
                        text.find_first_not_of("0123456789") == std::string::npos;
    const int port = digits ? std::stoi(text) : 0;
    if (port < 1 || port > 65535) {
      error = "the port must be a number from 1 to 65535";
      return std::nullopt;
    }
    request.port = port;
  }
  request.oauth2 = seen.count("-oauth2") != 0;
  if (!request.oauth2) {
    for (const char* name : {"-client-id", "-client-secret", "-tenant", "-device"}) {
      if (seen.count(name)) {
        error = std::string("option ") + name + " needs -oauth2";
        return std::nullopt;
      }
    }
    return request;
  }
  request.provider = seen["-oauth2"];
  request.clientId = seen["-client-id"];
  request.clientSecret = seen["-client-secret"];
  request.tenant = seen["-tenant"];
  request.device = seen.count("-device") != 0;
  return request;
}

std::string SignInUsageText(const std::string& program) {
  return "       " + program +
         " -signin -u LOGIN -s SERVER [-port PORT] [-oauth2 [PROVIDER]]\n"
         "             [-client-id ID] [-client-secret SECRET] [-tenant TENANT] [-device]\n"
         "       " + program + " -signout -u LOGIN -s SERVER\n"
         "       " + program + " -signins\n"
         "Sign-in: asks for the password (or, with -oauth2, signs in with the\n"
         "provider: microsoft, google or an issuer's URL), proves it on the server\n"
         "and keeps it, so that runs for LOGIN on SERVER need no -pw.\n";
}

}  // namespace getmail
