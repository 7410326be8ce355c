// The current user's secrets, as named blobs that only that user can read
// back. One implementation per system: posix/SecretStore.cpp (files of mode
// 0600 in a 0700 folder under $XDG_STATE_HOME, or the desktop's Secret
// Service when QUARROW_GETMAIL_STORE asks for it) and win32/SecretStore.cpp
// (DPAPI blobs under %LOCALAPPDATA%).
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace getmail {

// The longest blob the store takes or gives back: a sign-in is a few KiB.
inline constexpr std::size_t kSecretLimit = 64 * 1024;

// The blob named `key` (letters, digits and ".,@_%-" only), or nothing if
// there is none. Throws Error when the store, or the blob, could be read or
// changed by another user (naming the file or folder), or cannot be read.
std::optional<std::string> ReadSecret(const std::string& key);

// Stores `data` as `key`, replacing an earlier blob: on disk, and put in
// place in one step, before it returns, so that a crash leaves either the
// old blob or the new one. Throws Error.
void WriteSecret(const std::string& key, std::string_view data);

// Removes the blob `key`: false if there was none. Throws Error.
bool RemoveSecret(const std::string& key);

// The names of the stored blobs. Throws Error as ReadSecret.
std::vector<std::string> SecretKeys();

// Holds the store's lock for `key` while it lives, so that two runs for the
// same sign-in take turns at refreshing it: a provider that rotates refresh
// tokens voids the one the slower run would use. Waits at most `timeout`
// for a run that holds it; throws Error after that.
class SecretLock {
 public:
  SecretLock(const std::string& key, std::chrono::milliseconds timeout);
  ~SecretLock();
  SecretLock(const SecretLock&) = delete;
  SecretLock& operator=(const SecretLock&) = delete;

 private:
  std::intptr_t handle_ = -1;
};

// Where the blobs are kept, for the user.
std::string SecretStoreLocation();

}  // namespace getmail
