// Signing in to a POP3 server with a password.
#include "tools/getmail/Base64.h"
#include "tools/getmail/Errors.h"
#include "tools/getmail/Pop3Session.h"
#include "tools/getmail/ReplyText.h"
#include "tools/getmail/ServerText.h"

namespace getmail {

void Pop3Session::Login(const std::string& login,
                        const std::string& password) {
  bool useUser = !capaWorked_ || Offers("USER");
  bool usePlain = !useUser && OffersSasl("PLAIN");
  if (!usePlain) useUser = true;  // nothing else to try
  std::string text;
  bool ok;
  if (usePlain) {
    // RFC 4616: authorization id (empty), NUL, login, NUL, password.
    std::string token;
    token += '\0';
    token += login;
    token += '\0';
    token += password;
    const std::string response = Base64Encode(token);
    KeepSecretBase64(response);
    Send("AUTH PLAIN " + response);
    ok = ReadStatus(&text);
  } else {
    Send("USER " + login);
    ok = ReadStatus(&text);
    if (ok) {
      Send("PASS " + password);
      ok = ReadStatus(&text);
    }
  }
  if (!ok) {
    throw Error("the server " + server_ + " refused the login of user " +
                    login + Saying(text),
                kLoginRefused);
  }
}

}  // namespace getmail
