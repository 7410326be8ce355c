// HTTPS to an OAuth 2.0 provider's endpoints. One implementation per
// system: posix/CurlHttp.cpp (libcurl) and win32/WinHttp.cpp (WinHTTP).
// Certificates are verified as for POP3: the system's trusted CAs plus those
// in the file kCaFileVariable names, host name included. Plain http is taken
// only for a loopback address (CheckEndpointUrl).
#pragma once

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace getmail {

// The most bytes an endpoint's answer may have.
inline constexpr std::size_t kHttpBodyLimit = 256 * 1024;

struct HttpResponse {
  long status = 0;
  std::string body;
};

using FormFields = std::vector<std::pair<std::string, std::string>>;

// POSTs `form` (application/x-www-form-urlencoded) to `url`, or GETs `url`
// when `form` is nothing. Connecting and each wait are bounded by `timeout`,
// the whole exchange by twice it; redirects are not followed. Throws Error
// (status 1) when the endpoint cannot be reached, its certificate is not
// trusted, or the answer is longer than kHttpBodyLimit; the text never holds
// what was sent.
HttpResponse HttpExchange(const std::string& url, const FormFields* form,
                          std::chrono::milliseconds timeout);

// Throws Error unless `url` is https://, or http:// to 127.0.0.0/8, [::1]
// or localhost.
void CheckEndpointUrl(const std::string& url);

// `text` percent-encoded for a form or a query (RFC 3986 unreserved
// characters stand for themselves).
std::string FormEncode(const std::string& text);

}  // namespace getmail
