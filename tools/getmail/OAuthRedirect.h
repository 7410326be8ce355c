// Reading the browser's request to the loopback redirect.
#pragma once

#include <map>
#include <optional>
#include <string>

namespace getmail {

// The longest request head the listener reads.
inline constexpr std::size_t kRedirectRequestLimit = 16 * 1024;

// The query parameters of the request line "GET /?a=b&c=d HTTP/1.1",
// percent-decoded ("+" as a blank), when it is a GET of the path "/";
// nothing otherwise (a browser also asks for /favicon.ico). A parameter
// given twice makes the whole query unusable (nothing).
std::optional<std::map<std::string, std::string>> RedirectParameters(
    const std::string& requestLine);

// The whole HTTP response that carries `page` with `status` (200, 400 or
// 404), closing the connection.
std::string HttpAnswer(int status, const std::string& page);

// The page the browser shows after the sign-in; `text` is escaped.
std::string AnswerPage(const std::string& title, const std::string& text);

}  // namespace getmail
