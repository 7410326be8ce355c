#include "tools/getmail/Settings.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace getmail {

std::chrono::milliseconds TimeoutFromEnvironment() {
  const char* text = std::getenv(kTimeoutVariable);
  if (text != nullptr && *text != '\0') {
    char* end = nullptr;
    double seconds = std::strtod(text, &end);
    if (end != text && *end == '\0' && seconds > 0 && seconds < 86400) {
      return std::chrono::milliseconds(static_cast<long>(seconds * 1000));
    }
  }
  return std::chrono::seconds(30);
}

bool IsImplicitTlsPort(int port) {
  if (port == 995 || port == 993) return true;
  const char* text = std::getenv(kTlsPortsVariable);
  if (text == nullptr) return false;
  std::string list = text;
  std::size_t pos = 0;
  while (pos <= list.size()) {
    std::size_t end = list.find(',', pos);
    if (end == std::string::npos) end = list.size();
    std::string item = list.substr(pos, end - pos);
    if (!item.empty() && item.size() <= 8 &&
        item.find_first_not_of("0123456789 ") == std::string::npos &&
        std::atoi(item.c_str()) == port) {
      return true;
    }
    pos = end + 1;
  }
  return false;
}

bool PlainTextAllowed() {
  const char* text = std::getenv(kPlainTextVariable);
  return text != nullptr && std::strcmp(text, kPlainTextAllowed) == 0;
}

std::string FromEnvironment(const char* name) {
  const char* text = std::getenv(name);
  return text == nullptr ? std::string() : std::string(text);
}

}  // namespace getmail
