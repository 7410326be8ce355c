#include "OAuthServer.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#ifndef OAUTH_SERVER_SCRIPT
#error "OAUTH_SERVER_SCRIPT must name tests/e2e/oauth-server.mjs"
#endif

namespace harness {
namespace {

constexpr const char* kNode = "/usr/bin/node";

}  // namespace

std::string NpmFolder() {
  if (const char* cache = std::getenv("QUARROW_CACHE_DIR"); cache != nullptr && *cache) {
    return std::string(cache) + "/npm";
  }
  if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg != nullptr && *xdg == '/') {
    return std::string(xdg) + "/quarrow/npm";
  }
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "") + "/.cache/quarrow/npm";
}

std::optional<std::string> OAuthServer::Unavailable() {
  if (access(kNode, X_OK) != 0) {
    return std::string("node is not installed (Debian: apt-get install nodejs)");
  }
  if (!Exists(NpmFolder() + "/node_modules/oidc-provider/package.json")) {
    return "oidc-provider is not installed in " + NpmFolder() +
           " (scripts/install-npm-deps.sh, run by make)";
  }
  return std::nullopt;
}

OAuthServer::OAuthServer() : folder_("quarrow-oauth") {
  const std::string watch = std::to_string(getpid());
  const std::string npm = NpmFolder();
  const std::string log = folder_ / "server.log";
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    freopen("/dev/null", "r", stdin);
    freopen(log.c_str(), "w", stdout);
    freopen(log.c_str(), "a", stderr);
    execl(kNode, kNode, OAUTH_SERVER_SCRIPT, folder_.path().c_str(), npm.c_str(),
          watch.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  const std::string issuerFile = folder_ / "issuer";
  for (int tries = 0; tries < 600 && !Exists(issuerFile); ++tries) {
    int status;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      throw std::runtime_error("the OAuth 2.0 test server ended: " + ReadFile(log));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (!Exists(issuerFile)) throw std::runtime_error("the OAuth 2.0 test server did not start");
  issuer_ = ReadFile(issuerFile);
}

OAuthServer::~OAuthServer() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
}

std::string OAuthServer::IntrospectionUrl() const {
  return "http://dovecot:dovecot-secret@" + issuer_.substr(7) + "/token/introspection";
}

void OAuthServer::UseCertificate(const std::string& certFile, const std::string& keyFile) {
  WriteFile(folder_ / "tls-cert.pem", ReadFile(certFile));
  WriteFile(folder_ / "tls-key.pem", ReadFile(keyFile));
}

std::string OAuthServer::TlsFront() const {
  std::string fronts = ReadFile(folder_ / "tls-fronts");
  return fronts.substr(0, fronts.find(' '));
}

std::string OAuthServer::MismatchedTlsFront() const {
  std::string fronts = ReadFile(folder_ / "tls-fronts");
  return fronts.substr(fronts.find(' ') + 1);
}

std::string OAuthServer::Stats() const { return ReadFile(folder_ / "stats.json"); }

}  // namespace harness
