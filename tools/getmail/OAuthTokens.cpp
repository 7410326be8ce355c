#include "tools/getmail/OAuthTokens.h"

#include <nlohmann/json.hpp>

#include "tools/getmail/Errors.h"
#include "tools/getmail/ServerText.h"

namespace getmail {
namespace {

using Json = nlohmann::json;

// The longest token taken (Microsoft's run to a few KiB).
constexpr std::size_t kTokenLimit = 16 * 1024;
constexpr std::int64_t kYear = 366 * 24 * 3600;

std::string Text(const Json& object, const char* name) {
  auto it = object.find(name);
  return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// A number, or a number in a string (some providers send "3599").
std::int64_t Seconds(const Json& object, const char* name, std::int64_t fallback) {
  auto it = object.find(name);
  if (it == object.end()) return fallback;
  std::int64_t value = fallback;
  if (it->is_number_integer()) {
    value = it->get<std::int64_t>();
  } else if (it->is_string()) {
    const std::string text = it->get<std::string>();
    if (!text.empty() && text.size() < 10 &&
        text.find_first_not_of("0123456789") == std::string::npos) {
      value = std::stoll(text);
    }
  }
  return value >= 0 && value <= kYear ? value : fallback;
}

bool UsableToken(const std::string& token) {
  if (token.empty() || token.size() > kTokenLimit) return false;
  for (char c : token) {
    if (c <= 0x20 || c >= 0x7f) return false;
  }
  return true;
}

}  // namespace

TokenAnswer ReadTokenAnswer(const HttpResponse& response) {
  TokenAnswer answer;
  Json json = Json::parse(response.body, nullptr, false);
  if (!json.is_object()) {
    answer.description = "HTTP status " + std::to_string(response.status) +
                         ", and no JSON object";
    return answer;
  }
  if (response.status == 200) {
    const std::string access = Text(json, "access_token");
    const std::string refresh = Text(json, "refresh_token");
    if (UsableToken(access) && (refresh.empty() || UsableToken(refresh))) {
      answer.accessToken = access;
      answer.refreshToken = refresh;
      answer.expiresIn = Seconds(json, "expires_in", 3600);
      return answer;
    }
    answer.description = "the answer holds no usable access token";
    return answer;
  }
  answer.error = Shown(Text(json, "error"));
  answer.description = Shown(Text(json, "error_description"));
  if (answer.error.empty() && answer.description.empty()) {
    answer.description = "HTTP status " + std::to_string(response.status);
  }
  return answer;
}

DeviceAuthorization ReadDeviceAuthorization(const HttpResponse& response) {
  Json json = Json::parse(response.body, nullptr, false);
  if (response.status != 200 || !json.is_object()) {
    std::string why = json.is_object() ? Shown(Text(json, "error")) : std::string();
    throw Error("the device authorization endpoint refused the sign-in (HTTP status " +
                std::to_string(response.status) + (why.empty() ? "" : ", " + why) + ")");
  }
  DeviceAuthorization device;
  device.deviceCode = Text(json, "device_code");
  device.userCode = Text(json, "user_code");
  // Microsoft's older endpoints say verification_url.
  device.verificationUri = Text(json, "verification_uri");
  if (device.verificationUri.empty()) device.verificationUri = Text(json, "verification_url");
  device.verificationUriComplete = Text(json, "verification_uri_complete");
  device.interval = std::max<std::int64_t>(1, Seconds(json, "interval", 5));
  device.expiresIn = Seconds(json, "expires_in", 600);
  if (!UsableToken(device.deviceCode) || device.userCode.empty() ||
      device.userCode.size() > 64 || device.verificationUri.empty() ||
      device.verificationUri.size() > 2048) {
    throw Error("the device authorization endpoint's answer is not a usable one");
  }
  // Shown to the user as they stand: no control characters.
  device.userCode = Shown(device.userCode);
  for (char c : device.verificationUri + device.verificationUriComplete) {
    if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7f) {
      throw Error("the device authorization endpoint's address for the user is not a URL");
    }
  }
  return device;
}

std::string Explained(const TokenAnswer& answer) {
  if (answer.error.empty()) return answer.description;
  return answer.error + (answer.description.empty() ? "" : ": " + answer.description);
}

}  // namespace getmail
