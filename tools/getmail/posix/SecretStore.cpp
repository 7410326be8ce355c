// Which store keeps the sign-ins on POSIX systems. The file store is the one
// every run can reach: a run from cron or a systemd unit has no session bus,
// so no Secret Service, and must find what -signin kept. The desktop keyring
// is taken only when QUARROW_GETMAIL_STORE=secret-service asks for it, for
// -signin and for the runs alike; a run that asks for it where no session
// bus is ends with a message rather than fall back to a store that does not
// hold the sign-in.
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "tools/getmail/Errors.h"
#include "tools/getmail/SecretStore.h"
#include "tools/getmail/posix/FileSecretStore.h"

namespace getmail {
namespace {

constexpr const char* kStoreVariable = "QUARROW_GETMAIL_STORE";

bool HasSessionBus() {
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address != nullptr && *address != '\0') return true;
  // Where systemd's user session puts the bus when nothing names it.
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime == nullptr || runtime[0] != '/') return false;
  struct stat info;
  const std::string bus = std::string(runtime) + "/bus";
  return stat(bus.c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

// True for the Secret Service, false for the file store. Throws Error for a
// store that is not known, or a Secret Service without a session bus.
bool UseSecretService() {
  const char* chosen = std::getenv(kStoreVariable);
  const std::string store = chosen != nullptr ? chosen : "";
  if (store.empty() || store == "file") return false;
  if (store != "secret-service") {
    throw Error(std::string(kStoreVariable) + " is \"" + store.substr(0, 40) +
                "\"; it can be \"file\" (the default) or \"secret-service\"");
  }
  if (!HasSessionBus()) {
    throw Error(std::string(kStoreVariable) +
                "=secret-service, but there is no session bus here (as under cron or "
                "systemd) to reach the Secret Service through");
  }
  return true;
}

}  // namespace

std::optional<std::string> ReadSecret(const std::string& key) {
  return UseSecretService() ? ReadSecretService(key) : ReadSecretFile(key);
}

void WriteSecret(const std::string& key, std::string_view data) {
  if (UseSecretService()) {
    WriteSecretService(key, data);
  } else {
    WriteSecretFile(key, data);
  }
}

bool RemoveSecret(const std::string& key) {
  return UseSecretService() ? RemoveSecretService(key) : RemoveSecretFile(key);
}

std::vector<std::string> SecretKeys() {
  return UseSecretService() ? SecretServiceKeys() : SecretFileKeys();
}

std::string SecretStoreLocation() {
  return UseSecretService() ? "the Secret Service, the desktop keyring" : FileStoreLocation();
}

}  // namespace getmail
