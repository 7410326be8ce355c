// A token introspection endpoint (RFC 7662) on loopback for the private
// Dovecot's oauth2 passdb: it answers one known access token as active for
// one user, and every other token as inactive.
#pragma once

#include <atomic>
#include <string>
#include <thread>

namespace harness {

class TokenCheckEndpoint {
 public:
  TokenCheckEndpoint(std::string goodToken, std::string user);
  ~TokenCheckEndpoint();
  TokenCheckEndpoint(const TokenCheckEndpoint&) = delete;
  TokenCheckEndpoint& operator=(const TokenCheckEndpoint&) = delete;

  // Where Dovecot posts the tokens.
  std::string url() const;
  // How many tokens it has been asked about.
  int asked() const { return asked_; }

 private:
  void Serve();
  void Answer(int client);

  std::string goodToken_;
  std::string user_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> asked_{0};
  std::thread thread_;
};

}  // namespace harness
