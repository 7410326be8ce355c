#include "tools/getmail/win32/Socket.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <climits>
#include <cstdio>

#include "tools/getmail/Errors.h"
#include "tools/getmail/win32/WinText.h"

namespace getmail::win32 {
namespace {

// Winsock is started once per process and left running until it ends.
void StartWinsock() {
  static const int started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data);
  }();
  if (started != 0) {
    throw Error("cannot start Winsock: " + ErrorText(static_cast<unsigned long>(started)));
  }
}

// The time-out in seconds as text: "30", or "2.5" for a part second.
std::string Seconds(std::chrono::milliseconds timeout) {
  char text[32];
  long long ms = static_cast<long long>(timeout.count());
  if (ms % 1000 == 0) {
    std::snprintf(text, sizeof text, "%lld", ms / 1000);
  } else {
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(ms) / 1000.0);
  }
  return text;
}

timeval ToTimeval(std::chrono::milliseconds timeout) {
  long long ms = std::max<long long>(0, static_cast<long long>(timeout.count()));
  timeval tv;
  tv.tv_sec = static_cast<long>(std::min<long long>(ms / 1000, LONG_MAX));
  tv.tv_usec = static_cast<long>((ms % 1000) * 1000);
  return tv;
}

// Connects `s` to `address`, waiting at most `timeout`; returns "" or why not.
std::string ConnectOne(SOCKET s, const ADDRINFOW& address,
                       std::chrono::milliseconds timeout) {
  u_long nonBlocking = 1;
  if (ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
    return ErrorText(static_cast<unsigned long>(WSAGetLastError()));
  }
  if (connect(s, address.ai_addr, static_cast<int>(address.ai_addrlen)) == 0) {
    return "";
  }
  int error = WSAGetLastError();
  if (error != WSAEWOULDBLOCK) return ErrorText(static_cast<unsigned long>(error));
  // Winsock reports a refused connection through the exception set.
  fd_set writable, failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(s, &writable);
  FD_SET(s, &failed);
  timeval tv = ToTimeval(timeout);
  int ready = select(0, nullptr, &writable, &failed, &tv);
  if (ready == 0) return "no answer within " + Seconds(timeout) + " s";
  if (ready == SOCKET_ERROR) {
    return ErrorText(static_cast<unsigned long>(WSAGetLastError()));
  }
  int soError = 0;
  int length = sizeof soError;
  getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &length);
  if (FD_ISSET(s, &failed) || soError != 0) {
    return ErrorText(static_cast<unsigned long>(soError != 0 ? soError : WSAECONNREFUSED));
  }
  return "";
}

}  // namespace

Socket::Socket(const std::string& host, int port,
               std::chrono::milliseconds timeout)
    : host_(host),
      where_(host + " port " + std::to_string(port)),
      timeout_(timeout) {
  StartWinsock();
  ADDRINFOW hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  ADDRINFOW* addresses = nullptr;
  int rc = GetAddrInfoW(Widen(host).c_str(), std::to_wstring(port).c_str(),
                        &hints, &addresses);
  if (rc != 0) {
    throw Error("cannot find the server " + host + ": " +
                ErrorText(static_cast<unsigned long>(rc)));
  }
  std::string lastError = "no address";
  for (ADDRINFOW* a = addresses; a != nullptr; a = a->ai_next) {
    // Not inherited, so that no program the tool starts holds it open.
    SOCKET s = WSASocketW(a->ai_family, a->ai_socktype, a->ai_protocol,
                          nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET) {
      lastError = ErrorText(static_cast<unsigned long>(WSAGetLastError()));
      continue;
    }
    lastError = ConnectOne(s, *a, timeout_);
    if (!lastError.empty()) {
      closesocket(s);
      continue;
    }
    BOOL noDelay = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
               sizeof noDelay);
    socket_ = s;
    break;
  }
  FreeAddrInfoW(addresses);
  if (socket_ == INVALID_SOCKET) {
    throw Error("cannot connect to " + where_ + ": " + lastError);
  }
}

Socket::~Socket() {
  if (socket_ != INVALID_SOCKET) closesocket(socket_);
}

void Socket::Bound(std::chrono::milliseconds span, const char* what) {
  bound_ = Limit{std::chrono::steady_clock::now() + span, span, what};
}

void Socket::CheckBound() const {
  if (bound_ && std::chrono::steady_clock::now() >= bound_->end) {
    throw Error("the server " + where_ + " did not finish " + bound_->what + " within " +
                Seconds(bound_->span) + " s");
  }
}

void Socket::Wait(bool forWrite, const char* doing) {
  CheckBound();
  std::chrono::milliseconds wait = timeout_;
  if (bound_) {
    // Rounded up, so that the wait never ends just short of the bound.
    wait = std::min(wait, std::chrono::ceil<std::chrono::milliseconds>(
                              bound_->end - std::chrono::steady_clock::now()));
  }
  fd_set set;
  FD_ZERO(&set);
  FD_SET(socket_, &set);
  timeval tv = ToTimeval(wait);
  int ready = forWrite ? select(0, nullptr, &set, nullptr, &tv)
                       : select(0, &set, nullptr, nullptr, &tv);
  if (ready > 0) return;
  if (ready == 0) {
    CheckBound();
    throw Error("the server " + where_ + " did not answer within " +
                Seconds(timeout_) + " s while " + doing);
  }
  throw Error(std::string("waiting for the server ") + where_ + " failed while " +
              doing + ": " + ErrorText(static_cast<unsigned long>(WSAGetLastError())));
}

void Socket::Send(const char* data, std::size_t size, const char* doing) {
  while (size > 0) {
    int piece = static_cast<int>(std::min<std::size_t>(size, INT_MAX));
    int sent = send(socket_, data, piece, 0);
    if (sent == SOCKET_ERROR) {
      int error = WSAGetLastError();
      if (error == WSAEWOULDBLOCK) {
        Wait(true, doing);
        continue;
      }
      throw Error(std::string("sending to the server ") + where_ + " failed while " +
                  doing + ": " + ErrorText(static_cast<unsigned long>(error)));
    }
    data += sent;
    size -= static_cast<std::size_t>(sent);
  }
}

std::size_t Socket::Receive(char* buffer, std::size_t size, const char* doing) {
  int room = static_cast<int>(std::min<std::size_t>(size, INT_MAX));
  for (;;) {
    CheckBound();
    int received = recv(socket_, buffer, room, 0);
    if (received > 0) return static_cast<std::size_t>(received);
    if (received == 0) {
      throw Error("the server " + where_ + " closed the connection while " + doing);
    }
    int error = WSAGetLastError();
    if (error != WSAEWOULDBLOCK) {
      throw Error(std::string("receiving from the server ") + where_ +
                  " failed while " + doing + ": " +
                  ErrorText(static_cast<unsigned long>(error)));
    }
    Wait(false, doing);
  }
}

}  // namespace getmail::win32
