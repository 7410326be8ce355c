// The loopback redirect listener on Winsock, and the browser through
// ShellExecuteW (the user's default browser).
#include "tools/getmail/LoopbackRedirect.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <shellapi.h>

#include <algorithm>

#include "tools/getmail/Errors.h"
#include "tools/getmail/OAuthRedirect.h"
#include "tools/getmail/win32/WinText.h"

namespace getmail {
namespace {

using Clock = std::chrono::steady_clock;

SOCKET Sock(std::intptr_t handle) { return static_cast<SOCKET>(handle); }

std::string SocketError() { return win32::ErrorText(static_cast<unsigned long>(WSAGetLastError())); }

// Waits for `s` to be readable until `deadline`: false when it passes.
bool WaitReadable(SOCKET s, Clock::time_point deadline) {
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    WSAPOLLFD entry{s, POLLRDNORM, 0};
    int n = WSAPoll(&entry, 1, static_cast<INT>(std::min<long long>(left.count(), 60000)));
    if (n > 0) return true;
    if (n < 0) throw Error("cannot wait for the browser: " + SocketError());
  }
}

}  // namespace

LoopbackListener::LoopbackListener() {
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) throw Error("cannot start Winsock");
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) throw Error("cannot listen for the browser: " + SocketError());
  // No other program may take over the port while we listen.
  BOOL exclusive = TRUE;
  setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
             sizeof exclusive);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int size = sizeof address;
  if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(s, 8) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    std::string reason = SocketError();
    closesocket(s);
    throw Error("cannot listen for the browser on 127.0.0.1: " + reason);
  }
  listener_ = static_cast<std::intptr_t>(s);
  port_ = ntohs(address.sin_port);
}

LoopbackListener::~LoopbackListener() {
  if (client_ >= 0) closesocket(Sock(client_));
  if (listener_ >= 0) closesocket(Sock(listener_));
}

std::string LoopbackListener::NextRequestLine(Clock::time_point deadline) {
  for (;;) {
    if (client_ >= 0) {
      closesocket(Sock(client_));
      client_ = -1;
    }
    if (!WaitReadable(Sock(listener_), deadline)) {
      throw Error("the browser did not come back in time; nothing was kept");
    }
    SOCKET client = accept(Sock(listener_), nullptr, nullptr);
    if (client == INVALID_SOCKET) continue;
    client_ = static_cast<std::intptr_t>(client);
    std::string head;
    bool complete = false;
    while (head.size() < kRedirectRequestLimit && WaitReadable(client, deadline)) {
      char buffer[2048];
      int n = recv(client, buffer,
                   static_cast<int>(std::min(sizeof buffer, kRedirectRequestLimit - head.size())), 0);
      if (n <= 0) break;
      head.append(buffer, static_cast<std::size_t>(n));
      if (head.find("\r\n\r\n") != std::string::npos || head.find("\n\n") != std::string::npos) {
        complete = true;
        break;
      }
    }
    if (!complete) continue;
    return head.substr(0, head.find_first_of("\r\n"));
  }
}

void LoopbackListener::Answer(int status, const std::string& page) {
  if (client_ < 0) return;
  const std::string response = HttpAnswer(status, page);
  std::size_t sent = 0;
  while (sent < response.size()) {
    int n = send(Sock(client_), response.data() + sent, static_cast<int>(response.size() - sent), 0);
    if (n <= 0) break;  // the browser has gone: nothing more to tell it
    sent += static_cast<std::size_t>(n);
  }
  closesocket(Sock(client_));
  client_ = -1;
}

void OpenBrowser(const std::string& url) {
  // Only web addresses reach here (the provider's endpoints are checked), so
  // the shell can only hand them to the browser.
  if (url.rfind("https://", 0) != 0 && url.rfind("http://", 0) != 0) {
    throw Error("not a web address; open it yourself");
  }
  HINSTANCE done = ShellExecuteW(nullptr, L"open", win32::Widen(url).c_str(), nullptr, nullptr,
                                 SW_SHOWNORMAL);
  if (reinterpret_cast<INT_PTR>(done) <= 32) {
    throw Error("cannot open the browser; open the address yourself");
  }
}

}  // namespace getmail
