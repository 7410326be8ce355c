#include "tools/getmail/ServerText.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "tools/getmail/Base64.h"

namespace getmail {
namespace {

constexpr std::string_view kMask = "***";

// Base64 forms of a secret are taken apart from those shorter than this:
// a few characters would mask unrelated text.
constexpr std::size_t kShortestBase64Part = 8;

struct Secret {
  std::string text;
  bool ignoreCase;  // ASCII case: a server may upper-case what it echoes
};

std::mutex g_mutex;
std::vector<Secret> g_secrets;  // longest first

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

void Add(std::string text, bool ignoreCase) {
  if (text.empty()) return;
  std::lock_guard<std::mutex> lock(g_mutex);
  for (const Secret& s : g_secrets) {
    if (s.text == text && s.ignoreCase == ignoreCase) return;
  }
  g_secrets.push_back({std::move(text), ignoreCase});
  std::stable_sort(g_secrets.begin(), g_secrets.end(),
                   [](const Secret& a, const Secret& b) { return a.text.size() > b.text.size(); });
}

std::size_t Find(const std::string& text, const Secret& secret, std::size_t from) {
  if (!secret.ignoreCase) return text.find(secret.text, from);
  auto at = std::search(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(),
                        secret.text.begin(), secret.text.end(),
                        [](char a, char b) { return Lower(a) == Lower(b); });
  return at == text.end() ? std::string::npos : static_cast<std::size_t>(at - text.begin());
}

}  // namespace

void KeepSecret(std::string_view secret) {
  if (secret.empty()) return;
  Add(std::string(secret), true);
  if (secret.size() < 6) return;
  // Within a longer base64 text the secret starts 0, 1 or 2 bytes into a
  // group of three; for each, the characters that its bytes alone decide.
  for (std::size_t offset = 0; offset < 3; ++offset) {
    std::string encoded = Base64Encode(std::string(offset, '\0') + std::string(secret));
    std::size_t first = (8 * offset + 5) / 6;
    std::size_t end = 8 * (offset + secret.size()) / 6;  // one past the last
    if (end > first && end - first >= kShortestBase64Part) {
      Add(encoded.substr(first, end - first), false);
    }
  }
}

void KeepSecretBase64(std::string_view encoded) { Add(std::string(encoded), false); }

std::string WithoutSecrets(std::string_view text, std::size_t shortest) {
  std::string out(text);
  std::lock_guard<std::mutex> lock(g_mutex);
  // Longest first, so that a whole response goes before a part of it; and
  // again while anything changed, since a mask may join two halves of
  // another secret that holds "*".
  for (int round = 0; round < 4; ++round) {
    bool changed = false;
    for (const Secret& secret : g_secrets) {
      if (secret.text.size() < shortest) break;  // the rest are shorter still
      for (std::size_t at = Find(out, secret, 0); at != std::string::npos;
           at = Find(out, secret, at + kMask.size())) {
        out.replace(at, secret.text.size(), kMask);
        changed = true;
      }
    }
    if (!changed) break;
  }
  return out;
}

std::string Shown(std::string_view text) {
  std::string shown = WithoutSecrets(text).substr(0, 120);
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  return shown;
}

}  // namespace getmail
