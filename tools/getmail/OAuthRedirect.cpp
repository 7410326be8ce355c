#include "tools/getmail/OAuthRedirect.h"

namespace getmail {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string> Decoded(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] == '%') {
      if (i + 2 >= text.size()) return std::nullopt;
      int high = HexValue(text[i + 1]), low = HexValue(text[i + 2]);
      if (high < 0 || low < 0) return std::nullopt;
      out += static_cast<char>(high * 16 + low);
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '&': out += "&amp;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace

std::optional<std::map<std::string, std::string>> RedirectParameters(
    const std::string& requestLine) {
  if (requestLine.rfind("GET /", 0) != 0) return std::nullopt;
  const std::size_t targetEnd = requestLine.find(' ', 4);
  if (targetEnd == std::string::npos) return std::nullopt;
  const std::string target = requestLine.substr(4, targetEnd - 4);
  const std::size_t question = target.find('?');
  if (target.substr(0, question) != "/") return std::nullopt;
  std::map<std::string, std::string> parameters;
  if (question == std::string::npos) return parameters;
  std::string query = target.substr(question + 1);
  const std::size_t fragment = query.find('#');
  if (fragment != std::string::npos) query.resize(fragment);
  std::size_t start = 0;
  while (start < query.size()) {
    std::size_t end = query.find('&', start);
    if (end == std::string::npos) end = query.size();
    const std::string pair = query.substr(start, end - start);
    start = end + 1;
    if (pair.empty()) continue;
    const std::size_t equals = pair.find('=');
    std::optional<std::string> name = Decoded(pair.substr(0, equals));
    std::optional<std::string> value =
        Decoded(equals == std::string::npos ? std::string() : pair.substr(equals + 1));
    if (!name || !value) return std::nullopt;
    if (!parameters.emplace(*name, *value).second) return std::nullopt;
  }
  return parameters;
}

std::string HttpAnswer(int status, const std::string& page) {
  const std::string reason = status == 200 ? "OK" : status == 404 ? "Not Found" : "Bad Request";
  return "HTTP/1.1 " + std::to_string(status) + " " + reason +
         "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
         std::to_string(page.size()) +
         "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n" + page;
}

std::string AnswerPage(const std::string& title, const std::string& text) {
  return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + Escaped(title) +
         "</title></head>\n<body><h1>" + Escaped(title) + "</h1>\n<p>" + Escaped(text) +
         "</p></body></html>\n";
}

}  // namespace getmail
