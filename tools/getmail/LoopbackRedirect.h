// The browser's way back to the tool after an OAuth 2.0 sign-in (RFC 8252):
// a listener on a free port of 127.0.0.1, which takes one HTTP request at a
// time. One implementation per system: posix/LoopbackRedirect.cpp and
// win32/LoopbackRedirect.cpp. What the browser sends is read with
// ReadRedirectRequest (OAuthRedirect.h), bounded in size and time.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace getmail {

class LoopbackListener {
 public:
  // Listens on 127.0.0.1, on a port the system picks. Throws Error.
  LoopbackListener();
  ~LoopbackListener();
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  int port() const { return port_; }

  // Waits until `deadline` for a request and reads its head (at most 16 KiB,
  // each within the time left); gives its request line. Throws Error when
  // the deadline passes first.
  std::string NextRequestLine(std::chrono::steady_clock::time_point deadline);
  // Answers the request taken last with `status` and an HTML `page`, and
  // closes its connection.
  void Answer(int status, const std::string& page);

 private:
  std::intptr_t listener_ = -1;
  std::intptr_t client_ = -1;
  int port_ = 0;
};

// Opens `url` in the user's browser without waiting for it. Throws Error
// when no browser can be started (the URL is printed for the user anyway).
void OpenBrowser(const std::string& url);

}  // namespace getmail
