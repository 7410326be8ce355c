#include "tools/getmail/HttpClient.h"

#include <cctype>

#include "tools/getmail/Errors.h"
#include "tools/getmail/PercentEncode.h"

namespace getmail {
namespace {

bool StartsWith(const std::string& text, const char* prefix) {
  return text.rfind(prefix, 0) == 0;
}

// The host of an http(s) URL after its scheme, without port or user part.
std::string HostOf(const std::string& url, std::size_t afterScheme) {
  std::size_t end = url.find_first_of("/?#", afterScheme);
  std::string authority = url.substr(afterScheme, end == std::string::npos ? end : end - afterScheme);
  if (authority.find('@') != std::string::npos) return std::string();  // no user parts
  if (!authority.empty() && authority[0] == '[') {
    std::size_t close = authority.find(']');
    return close == std::string::npos ? std::string() : authority.substr(0, close + 1);
  }
  return authority.substr(0, authority.find(':'));
}

bool IsLoopbackHost(const std::string& host) {
  if (host == "localhost" || host == "[::1]") return true;
  // 127.x.y.z, in dotted decimal only.
  if (!StartsWith(host, "127.")) return false;
  int dots = 0;
  for (char c : host) {
    if (c == '.') {
      ++dots;
    } else if (!std::isdigit(static_cast<unsigned char>(c))) {
      return false;
    }
  }
  return dots == 3;
}

}  // namespace

void CheckEndpointUrl(const std::string& url) {
  for (char c : url) {
    if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7f) {
      throw Error("an OAuth 2.0 endpoint's address holds a blank or control character");
    }
  }
  if (StartsWith(url, "https://") && !HostOf(url, 8).empty()) return;
  if (StartsWith(url, "http://") && IsLoopbackHost(HostOf(url, 7))) return;
  throw Error("the OAuth 2.0 endpoint " + url.substr(0, 200) +
              " is not https (plain http is taken only on this machine's loopback address)");
}

std::string FormEncode(const std::string& text) { return PercentEncode(text, "-._~"); }

}  // namespace getmail
