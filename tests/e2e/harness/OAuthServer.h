// A real OAuth 2.0 authorization server on loopback for one test program:
// npm's oidc-provider, run with node by tests/e2e/oauth-server.mjs (see
// there for its clients and what each does).
#pragma once

#include <optional>
#include <string>

#include "Files.h"

namespace harness {

class OAuthServer {
 public:
  // Why it cannot run here (node or oidc-provider missing), or nothing.
  static std::optional<std::string> Unavailable();

  // Starts it. Throws std::runtime_error if it does not start.
  OAuthServer();
  ~OAuthServer();
  OAuthServer(const OAuthServer&) = delete;
  OAuthServer& operator=(const OAuthServer&) = delete;

  // "http://127.0.0.1:PORT", also the base of its endpoints.
  const std::string& issuer() const { return issuer_; }
  // Where Dovecot introspects tokens, with the mail server's client
  // credentials.
  std::string IntrospectionUrl() const;
  // Gives its TLS fronts `certFile` and `keyFile` (PEM) to present.
  void UseCertificate(const std::string& certFile, const std::string& keyFile);
  // "https://127.0.0.1:PORT": a TLS front whose certificate matches that
  // address, and "https://127.0.0.2:PORT", one whose certificate does not.
  // Both pass everything on to the server, endpoints included.
  std::string TlsFront() const;
  std::string MismatchedTlsFront() const;
  // What it has counted so far, as JSON: "refreshes", "revocations",
  // "tokens", and "polls" (per client, each poll's "at" in ms and "answer").
  std::string Stats() const;

 private:
  TempFolder folder_;
  std::string issuer_;
  int pid_ = -1;
};

// The folder the project's set-up installs npm packages into.
std::string NpmFolder();

}  // namespace harness
