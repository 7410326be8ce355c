// The two secret stores of POSIX systems, which posix/SecretStore.cpp
// chooses between: files of mode 0600 in a 0700 folder (FileSecretStore.cpp),
// and the desktop's Secret Service through libsecret
// (SecretServiceStore.cpp). Each function is as its namesake in
// SecretStore.h; SecretLock is the file store's in both cases.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/getmail/SecretStore.h"

namespace getmail {

std::optional<std::string> ReadSecretFile(const std::string& key);
void WriteSecretFile(const std::string& key, std::string_view data);
bool RemoveSecretFile(const std::string& key);
std::vector<std::string> SecretFileKeys();
std::string FileStoreLocation();

std::optional<std::string> ReadSecretService(const std::string& key);
void WriteSecretService(const std::string& key, std::string_view data);
bool RemoveSecretService(const std::string& key);
std::vector<std::string> SecretServiceKeys();

}  // namespace getmail
