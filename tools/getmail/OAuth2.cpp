#include "tools/getmail/OAuth2.h"

#include <cctype>
#include <optional>

#include "tools/getmail/Base64.h"
#include "tools/getmail/ServerText.h"

namespace getmail {
namespace {

constexpr char kSeparator = '\x01';

// A SASL name in the GS2 header: "," and "=" are escaped (RFC 5801).
std::string SaslName(std::string_view login) {
  std::string out;
  for (char c : login) {
    if (c == ',') {
      out += "=2C";
    } else if (c == '=') {
      out += "=3D";
    } else {
      out += c;
    }
  }
  return out;
}

// A minimal reader of one flat JSON object: string members are kept, and
// anything else is skipped. Bounded by the input; no recursion.
class FlatJson {
 public:
  explicit FlatJson(std::string_view text) : text_(text) {}

  // Calls take(name, value) for each member whose value is a string.
  template <typename Take>
  void Members(Take take) {
    SkipBlanks();
    if (!Eat('{')) return;
    for (;;) {
      SkipBlanks();
      std::string name;
      if (!String(name)) return;
      SkipBlanks();
      if (!Eat(':')) return;
      SkipBlanks();
      std::string value;
      if (Peek() == '"') {
        if (!String(value)) return;
        take(name, value);
      } else if (!SkipValue()) {
        return;
      }
      SkipBlanks();
      if (Eat(',')) continue;
      return;
    }
  }

 private:
  char Peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }
  bool Eat(char c) {
    if (Peek() != c) return false;
    ++pos_;
    return true;
  }
  void SkipBlanks() {
    while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
  }
  // A string. \uXXXX becomes "?" and the escapes of control characters
  // become a line end (the fields read here are ASCII words).
  bool String(std::string& out) {
    if (!Eat('"')) return false;
    while (pos_ < text_.size()) {
      char c = text_[pos_++];
      if (c == '"') return true;
      if (c == '\\') {
        if (pos_ >= text_.size()) return false;
        char e = text_[pos_++];
        if (e == 'u') {
          pos_ += 4;
          out += '?';
        } else {
          out += std::string_view("bfnrt").find(e) != std::string_view::npos ? '\n' : e;
        }
      } else {
        out += c;
      }
    }
    return false;
  }
  // A number, literal, array or object, by counting brackets outside strings.
  bool SkipValue() {
    int depth = 0;
    while (pos_ < text_.size()) {
      char c = Peek();
      if (c == '"') {
        std::string ignored;
        if (!String(ignored)) return false;
        continue;
      }
      if (depth == 0 && (c == ',' || c == '}')) return true;
      if (c == '[' || c == '{') ++depth;
      if (c == ']' || c == '}') --depth;
      ++pos_;
    }
    return false;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace

const char* MechanismName(OAuthMechanism mechanism) {
  return mechanism == OAuthMechanism::kOAuthBearer ? "OAUTHBEARER" : "XOAUTH2";
}

std::string OAuthInitialResponse(OAuthMechanism mechanism,
                                 std::string_view login,
                                 std::string_view token) {
  std::string out;
  if (mechanism == OAuthMechanism::kOAuthBearer) {
    out = "n,a=" + SaslName(login) + ",";
  } else {
    out = "user=" + std::string(login);
  }
  out += kSeparator;
  out += "auth=Bearer ";
  out += token;
  out += kSeparator;
  out += kSeparator;
  return out;
}

OAuthRefusal ParseOAuthRefusal(std::string_view json) {
  OAuthRefusal refusal;
  FlatJson(json).Members([&](const std::string& name, const std::string& value) {
    if (name == "status") refusal.status = Shown(value);
    if (name == "scope") refusal.scope = Shown(value);
  });
  return refusal;
}

std::string RefusalReason(std::string_view challenge) {
  const std::size_t start = challenge.find_first_not_of(' ');
  std::optional<std::string> json =
      Base64Decode(start == std::string_view::npos ? std::string() : std::string(challenge.substr(start)));
  OAuthRefusal refusal = ParseOAuthRefusal(json ? *json : std::string());
  std::string why;
  if (!refusal.status.empty()) why = "status " + refusal.status;
  if (!refusal.scope.empty()) why += (why.empty() ? "" : ", ") + std::string("scope ") + refusal.scope;
  return why;
}

}  // namespace getmail
