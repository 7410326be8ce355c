// Signing in to an IMAP server: with a password, AUTHENTICATE PLAIN (RFC
// 4616) or LOGIN; with an OAuth 2.0 access token, AUTHENTICATE OAUTHBEARER
// (RFC 7628) or XOAUTH2. With SASL-IR (RFC 4959) the first response goes
// with the command.
#include "tools/getmail/Base64.h"
#include "tools/getmail/Errors.h"
#include "tools/getmail/ImapSession.h"
#include "tools/getmail/OAuth2.h"
#include "tools/getmail/ReplyText.h"
#include "tools/getmail/ServerText.h"

namespace getmail {

ImapSession::Completion ImapSession::Authenticate(const std::string& mechanism,
                                                  const std::string& response,
                                                  const std::string& abort,
                                                  std::string* challenge) {
  // The response carries the password or the token: a server that echoes
  // it never gets it shown.
  KeepSecretBase64(response);
  const std::string tag = NextTag();
  bool sent = Offers("SASL-IR");
  Send(tag + " AUTHENTICATE " + mechanism + (sent ? " " + response : std::string()));
  for (int round = 0; round < 3; ++round) {
    std::string request;
    Completion completion = Await(tag, {}, &request);
    if (!completion.continued) return completion;
    if (!sent) {
      Send(response);
      sent = true;
    } else {
      // A challenge after our response: the server's refusal, which it ends
      // once it has our abort.
      if (challenge != nullptr) *challenge = request;
      Send(abort);
    }
  }
  throw Error("the server " + server_ + " asks for more than a sign-in needs");
}

void ImapSession::Login(const std::string& login, const std::string& password) {
  Completion completion;
  if (Offers("AUTH=PLAIN")) {
    // Authorization id (empty), NUL, login, NUL, password.
    std::string plain;
    plain += '\0';
    plain += login;
    plain += '\0';
    plain += password;
    completion = Authenticate("PLAIN", Base64Encode(plain), "*", nullptr);
  } else if (Offers("LOGINDISABLED")) {
    throw Error("the server " + server_ +
                " takes no password on this connection (LOGINDISABLED, and no "
                "AUTHENTICATE PLAIN); nothing was sent");
  } else if (Quotable(login) && Quotable(password)) {
    completion = Command("LOGIN " + Quoted(login) + " " + Quoted(password));
  } else {
    // Literals, each sent once the server has asked for it.
    const std::string tag = NextTag();
    std::string request;
    Send(tag + " LOGIN {" + std::to_string(login.size()) + "}");
    completion = Await(tag, {}, &request);
    if (completion.continued) {
      Send(login + " {" + std::to_string(password.size()) + "}");
      completion = Await(tag, {}, &request);
      if (completion.continued) {
        Send(password);
        completion = Await(tag, {});
      }
    }
  }
  if (!completion.ok) {
    throw Error("the server " + server_ + " refused the login of user " + login +
                    Saying(completion.text),
                kLoginRefused);
  }
}

void ImapSession::LoginWithToken(const std::string& login, const std::string& token) {
  // A token is as good as a password for whoever reads it: never in clear,
  // whatever the user allowed for passwords.
  if (!IsTls()) {
    throw Error("the server " + server_ +
                " offers no TLS (STARTTLS) on this port, and an OAuth 2.0 access "
                "token is sent only under TLS; nothing was sent");
  }
  OAuthMechanism mechanism;
  if (Offers("AUTH=OAUTHBEARER")) {
    mechanism = OAuthMechanism::kOAuthBearer;
  } else if (Offers("AUTH=XOAUTH2")) {
    mechanism = OAuthMechanism::kXOAuth2;
  } else {
    throw Error("the server " + server_ +
                " offers no OAuth 2.0 sign-in (AUTH=OAUTHBEARER or XOAUTH2); "
                "nothing was sent");
  }
  const std::string name = MechanismName(mechanism);
  std::string challenge;
  Completion completion =
      Authenticate(name, Base64Encode(OAuthInitialResponse(mechanism, login, token)),
                   kOAuthAbortResponse, &challenge);
  if (completion.ok) return;
  std::string why = RefusalReason(challenge);
  if (why.empty()) why = Shown(completion.text);
  throw Error("the server " + server_ + " refused the access token for user " + login +
                  " (" + name + (why.empty() ? "" : ": " + why) + ")",
              kLoginRefused);
}

}  // namespace getmail
