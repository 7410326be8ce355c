// Fuzzes what the OAuth 2.0 sign-in reads from others: token and device
// authorization answers and issuer metadata (JSON from the network), the
// browser's request line to the loopback redirect, and a kept sign-in. The
// first byte picks the reader; the rest is its input.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "tools/getmail/Errors.h"
#include "tools/getmail/OAuthProvider.h"
#include "tools/getmail/OAuthRedirect.h"
#include "tools/getmail/OAuthTokens.h"
#include "tools/getmail/SignInStore.h"

namespace {

// What goes into a SASL command line must be one printable word.
bool OneWord(const std::string& text) {
  for (char c : text) {
    if (c <= 0x20 || c >= 0x7f) return false;
  }
  return !text.empty();
}

bool Printable(const std::string& text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string input(fuzz::AsText(data + 1, size - 1));
  switch (data[0] % 5) {
    case 0: {
      getmail::TokenAnswer answer = getmail::ReadTokenAnswer({data[0] % 2 ? 200 : 400, input});
      if (answer.ok()) {
        fuzz::Require(OneWord(answer.accessToken), "an access token is one printable word");
        fuzz::Require(answer.refreshToken.empty() || OneWord(answer.refreshToken),
                      "a refresh token is one printable word");
        fuzz::Require(answer.expiresIn >= 0 && answer.expiresIn <= 366 * 24 * 3600,
                      "a lifetime is within a year");
      } else {
        fuzz::Require(Printable(getmail::Explained(answer)), "what is shown is printable");
      }
      break;
    }
    case 1:
      try {
        getmail::DeviceAuthorization device = getmail::ReadDeviceAuthorization({200, input});
        fuzz::Require(device.interval >= 1, "polls never run in a busy loop");
        fuzz::Require(Printable(device.userCode) && Printable(device.verificationUri),
                      "what is shown is printable");
      } catch (const getmail::Error&) {
      }
      break;
    case 2:
      try {
        getmail::OAuthProvider provider =
            getmail::ProviderFromMetadata("https://id.example", input);
        fuzz::Require(!provider.tokenEndpoint.empty() && !provider.authorizationEndpoint.empty(),
                      "a provider has its endpoints");
      } catch (const getmail::Error&) {
      }
      break;
    case 3:
      getmail::RedirectParameters(input);
      break;
    default:
      if (std::optional<getmail::SignIn> signIn = getmail::ParseSignIn(input)) {
        std::optional<getmail::SignIn> again =
            getmail::ParseSignIn(getmail::SerializeSignIn(*signIn));
        fuzz::Require(again && again->password == signIn->password &&
                          again->refreshToken == signIn->refreshToken,
                      "a kept sign-in reads back as it was");
      }
  }
  return 0;
}
