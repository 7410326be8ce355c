// Signing in with an OAuth 2.0 access token: AUTH OAUTHBEARER (RFC 7628), or
// XOAUTH2 where that is all the server offers, as SASL over POP3 (RFC 5034).
#include <string>

#include "tools/getmail/Base64.h"
#include "tools/getmail/Errors.h"
#include "tools/getmail/OAuth2.h"
#include "tools/getmail/Pop3Session.h"
#include "tools/getmail/ServerText.h"

namespace getmail {
namespace {

// RFC 5034: a command with its initial response must fit in 255 octets;
// a longer response follows the server's empty challenge instead.
constexpr std::size_t kLongestCommand = 255;

}  // namespace

void Pop3Session::LoginWithToken(const std::string& login,
                                 const std::string& token) {
  // A token is as good as a password for whoever reads it: never in clear,
  // whatever the user allowed for passwords.
  if (!IsTls()) {
    throw Error("the server " + server_ + " offers no TLS (STLS) on this "
                "port, and an OAuth 2.0 access token is sent only under TLS; "
                "nothing was sent");
  }
  OAuthMechanism mechanism;
  if (OffersSasl("OAUTHBEARER")) {
    mechanism = OAuthMechanism::kOAuthBearer;
  } else if (OffersSasl("XOAUTH2")) {
    mechanism = OAuthMechanism::kXOAuth2;
  } else {
    throw Error("the server " + server_ + " offers no OAuth 2.0 sign-in "
                "(SASL OAUTHBEARER or XOAUTH2); nothing was sent");
  }
  const std::string name = MechanismName(mechanism);
  const std::string response =
      Base64Encode(OAuthInitialResponse(mechanism, login, token));
  KeepSecretBase64(response);
  std::string line;
  if (("AUTH " + name + " " + response).size() + 2 <= kLongestCommand) {
    Send("AUTH " + name + " " + response);
    line = ReadReplyLine();
  } else {
    Send("AUTH " + name);
    line = ReadReplyLine();
    if (line.rfind("+", 0) == 0 && line.rfind("+OK", 0) != 0) {
      Send(response);
      line = ReadReplyLine();
    }
  }
  if (line.rfind("+OK", 0) == 0) return;

  std::string why;
  if (line.rfind("+", 0) == 0) {
    // The server's refusal comes as a challenge; answering it with the abort
    // response lets the server end the exchange with a plain failure.
    std::size_t start = line.find_first_not_of(' ', 1);
    std::optional<std::string> json =
        Base64Decode(start == std::string::npos ? std::string() : line.substr(start));
    OAuthRefusal refusal = ParseOAuthRefusal(json ? *json : std::string());
    if (!refusal.status.empty()) why = "status " + refusal.status;
    if (!refusal.scope.empty()) why += (why.empty() ? "" : ", ") + std::string("scope ") + refusal.scope;
    Send(kOAuthAbortResponse);
    ReadReplyLine();
  } else if (line.rfind("-ERR", 0) == 0) {
    std::size_t start = line.find_first_not_of(' ', 4);
    if (start != std::string::npos) why = Shown(std::string_view(line).substr(start));
  }
  throw Error("the server " + server_ + " refused the access token for user " +
                  login + " (" + name + (why.empty() ? "" : ": " + why) + ")",
              kLoginRefused);
}

}  // namespace getmail
