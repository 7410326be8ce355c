// The parts of the OAuth 2.0 sign-in that read what providers, issuers and
// browsers send, and what the tool sends them.
#include <gtest/gtest.h>

#include "tools/getmail/Errors.h"
#include "tools/getmail/HttpClient.h"
#include "tools/getmail/OAuthProvider.h"
#include "tools/getmail/OAuthRedirect.h"
#include "tools/getmail/OAuthTokens.h"
#include "tools/getmail/Pkce.h"

namespace {

using getmail::HttpResponse;

// RFC 7636, appendix B.
TEST(OAuthClientTest, PkceChallengeIsTheS256OfTheVerifier) {
  EXPECT_EQ(getmail::PkceChallenge("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk"),
            "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM");
  const std::string a = getmail::RandomToken(32), b = getmail::RandomToken(32);
  EXPECT_EQ(a.size(), 43u);  // 256 bits, within RFC 7636's 43 to 128 characters
  EXPECT_NE(a, b);
  EXPECT_EQ(a.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"),
            std::string::npos);
}

TEST(OAuthClientTest, TokenAnswersAreTakenOnlyWhenUsable) {
  struct Case {
    long status;
    std::string body;
    bool ok;
    const char* error;
    std::int64_t expiresIn;
  } cases[] = {
      {200, R"({"access_token":"at","refresh_token":"rt","expires_in":3599})", true, "", 3599},
      {200, R"({"access_token":"at","expires_in":"120"})", true, "", 120},
      {200, R"({"access_token":"at"})", true, "", 3600},
      {200, R"({"access_token":"at","expires_in":99999999999})", true, "", 3600},
      {200, R"({"access_token":"a t"})", false, "", 0},
      {200, R"({"access_token":"at\r\nDELE 1"})", false, "", 0},
      {200, R"({"access_token":"at","refresh_token":""})", true, "", 3600},
      {200, R"({"refresh_token":"rt"})", false, "", 0},
      {200, "<html>", false, "", 0},
      {400, R"({"error":"invalid_grant","error_description":"grant request is invalid"})",
       false, "invalid_grant", 0},
      {400, R"({"error":"authorization_pending"})", false, "authorization_pending", 0},
      {400, R"({"error":"slow_down\u0007\n"})", false, "slow_down??", 0},
      {500, R"({"access_token":"at"})", false, "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    getmail::TokenAnswer answer = getmail::ReadTokenAnswer(HttpResponse{c.status, c.body});
    EXPECT_EQ(answer.ok(), c.ok);
    EXPECT_EQ(answer.error, c.error);
    if (c.ok) {
      EXPECT_EQ(answer.expiresIn, c.expiresIn);
    } else {
      EXPECT_FALSE(getmail::Explained(answer).empty());
    }
  }
  getmail::TokenAnswer huge =
      getmail::ReadTokenAnswer({200, "{\"access_token\":\"" + std::string(20000, 'a') + "\"}"});
  EXPECT_FALSE(huge.ok());
}

TEST(OAuthClientTest, DeviceAuthorizationsMustBeComplete) {
  getmail::DeviceAuthorization device = getmail::ReadDeviceAuthorization(
      {200, R"({"device_code":"dc","user_code":"ABCD-EFGH","verification_url":"https://x/d",)"
            R"("interval":"0","expires_in":900})"});
  EXPECT_EQ(device.userCode, "ABCD-EFGH");
  EXPECT_EQ(device.verificationUri, "https://x/d");
  EXPECT_EQ(device.interval, 1);  // never a busy loop
  EXPECT_EQ(device.expiresIn, 900);
  for (const HttpResponse& bad : std::vector<HttpResponse>{
           {400, R"({"error":"invalid_client"})"},
           {200, R"({"user_code":"A","verification_uri":"https://x/d"})"},
           {200, R"({"device_code":"dc","verification_uri":"https://x/d"})"},
           {200, R"({"device_code":"dc","user_code":"A"})"},
           {200, R"({"device_code":"dc","user_code":"A","verification_uri":"https://x/d\nfake"})"},
           {200, "[]"}}) {
    SCOPED_TRACE(bad.body);
    EXPECT_THROW(getmail::ReadDeviceAuthorization(bad), getmail::Error);
  }
}

TEST(OAuthClientTest, TheRedirectIsReadFromItsRequestLineOnly) {
  auto parameters = getmail::RedirectParameters(
      "GET /?code=a%2Fb+c&state=xyz&iss=http%3A%2F%2Fi HTTP/1.1");
  ASSERT_TRUE(parameters);
  EXPECT_EQ((*parameters)["code"], "a/b c");
  EXPECT_EQ((*parameters)["state"], "xyz");
  EXPECT_EQ((*parameters)["iss"], "http://i");
  EXPECT_TRUE(getmail::RedirectParameters("GET / HTTP/1.1"));
  for (const char* line : {"GET /favicon.ico HTTP/1.1", "POST /?code=a HTTP/1.1",
                           "GET /x?code=a HTTP/1.1", "GET /?code=a&code=b HTTP/1.1",
                           "GET /?code=%4 HTTP/1.1", "GET /?code=%zz HTTP/1.1", "GET /?code=a",
                           ""}) {
    SCOPED_TRACE(line);
    EXPECT_FALSE(getmail::RedirectParameters(line));
  }
  EXPECT_EQ(getmail::AnswerPage("<b>", "a & \"b\"").find("<b>"), std::string::npos);
}

TEST(OAuthClientTest, PlainHttpIsTakenOnlyOnLoopback) {
  for (const char* good : {"https://login.example/token", "http://127.0.0.1:8080/token",
                           "http://127.1.2.3/t", "http://localhost:1/t", "http://[::1]:80/t"}) {
    SCOPED_TRACE(good);
    EXPECT_NO_THROW(getmail::CheckEndpointUrl(good));
  }
  for (const char* bad : {"http://login.example/token", "http://127.0.0.1.evil.example/t",
                          "http://localhost.evil.example/t", "http://user@127.0.0.1/t",
                          "ftp://127.0.0.1/t", "https://", "https://a b/t", "file:///etc/passwd",
                          "http://127.0.0.1@evil.example/t"}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(getmail::CheckEndpointUrl(bad), getmail::Error);
  }
  EXPECT_EQ(getmail::FormEncode("a b&c=d/é~"), "a%20b%26c%3Dd%2F%C3%A9~");
}

TEST(OAuthClientTest, ProvidersComeFromTheNameOrTheServer) {
  struct Case {
    const char* given;
    const char* server;
    const char* provider;
  } cases[] = {{"", "outlook.office365.com", "microsoft"}, {"", "POP.GMAIL.COM", "google"},
               {"Microsoft", "pop.example.org", "microsoft"},
               {"https://id.example/", "pop.example.org", "https://id.example/"}};
  for (const Case& c : cases) {
    EXPECT_EQ(getmail::ProviderNameFor(c.given, c.server), c.provider);
  }
  for (auto [given, server] : {std::pair{"", "pop.example.org"}, std::pair{"yahoo", "x"}}) {
    try {
      getmail::ProviderNameFor(given, server);
      ADD_FAILURE() << given << " " << server;
    } catch (const getmail::Error& error) {
      EXPECT_EQ(error.status(), getmail::kUsage);
    }
  }
  getmail::OAuthProvider microsoft =
      getmail::ResolveProvider("microsoft", "contoso.onmicrosoft.com", std::chrono::seconds(1));
  EXPECT_EQ(microsoft.tokenEndpoint,
            "https://login.microsoftonline.com/contoso.onmicrosoft.com/oauth2/v2.0/token");
  EXPECT_EQ(microsoft.scope, "https://outlook.office.com/POP.AccessAsUser.All offline_access");
  getmail::OAuthProvider google = getmail::ResolveProvider("google", "", std::chrono::seconds(1));
  EXPECT_FALSE(google.deviceFlowAllowed);
  EXPECT_EQ(google.scope, "https://mail.google.com/");
}

TEST(OAuthClientTest, IssuerMetadataMustBeTheIssuersOwn) {
  EXPECT_EQ(getmail::AuthorizationServerMetadataUrl("https://id.example/tenant/"),
            "https://id.example/.well-known/oauth-authorization-server/tenant");
  EXPECT_EQ(getmail::AuthorizationServerMetadataUrl("https://id.example"),
            "https://id.example/.well-known/oauth-authorization-server");
  EXPECT_EQ(getmail::OpenIdConfigurationUrl("https://id.example/tenant/"),
            "https://id.example/tenant/.well-known/openid-configuration");

  const std::string issuer = "https://id.example";
  getmail::OAuthProvider p = getmail::ProviderFromMetadata(
      issuer, R"({"issuer":"https://id.example/","authorization_endpoint":"https://id.example/a",)"
              R"("token_endpoint":"https://id.example/t","revocation_endpoint":"https://id.example/r",)"
              R"("scopes_supported":["openid","email"]})");
  EXPECT_EQ(p.tokenEndpoint, "https://id.example/t");
  EXPECT_EQ(p.revocationEndpoint, "https://id.example/r");
  EXPECT_TRUE(p.deviceEndpoint.empty());
  EXPECT_EQ(p.scope, "openid");
  for (const char* bad : {
           R"({"issuer":"https://evil.example","authorization_endpoint":"https://id.example/a","token_endpoint":"https://id.example/t"})",
           R"({"issuer":"https://id.example","token_endpoint":"https://id.example/t"})",
           R"({"issuer":"https://id.example","authorization_endpoint":"https://id.example/a","token_endpoint":"http://id.example/t"})",
           "not json"}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(getmail::ProviderFromMetadata(issuer, bad), getmail::Error);
  }
}

}  // namespace
