// The tool's own sign-in commands, beside the runs Quarrow starts:
//   -signin -u LOGIN -s SERVER [-port PORT] [-oauth2 [PROVIDER]]
//           [-client-id ID] [-client-secret SECRET] [-tenant TENANT] [-device]
//   -signout -u LOGIN -s SERVER
//   -signins
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace getmail {

struct SignInRequest {
  enum class Action { kSignIn, kSignOut, kList };
  Action action = Action::kList;
  std::string login;
  std::string server;
  int port = 995;
  bool oauth2 = false;
  std::string provider;  // empty: picked from the server's name
  std::string clientId;
  std::string clientSecret;
  std::string tenant;
  bool device = false;
};

// Whether `args` is a sign-in command: one that begins with -signin,
// -signout or -signins. (Only the first word counts: a password after -pw
// may be any word.)
bool IsSignInCommand(const std::vector<std::string>& args);

// Reads a sign-in command. On a bad one gives nothing and sets `error`.
std::optional<SignInRequest> ParseSignInCommand(const std::vector<std::string>& args,
                                                std::string& error);

// The usage lines of the sign-in commands.
std::string SignInUsageText(const std::string& program);

}  // namespace getmail
