// The Secret Service store: each blob an item of the user's default
// collection (the desktop keyring), found by the attribute "key" under a
// schema of its own, through libsecret. The keyring keeps it encrypted on
// disk and opens it with the user's desktop login.
#include <libsecret/secret.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "tools/getmail/Errors.h"
#include "tools/getmail/Settings.h"
#include "tools/getmail/posix/FileSecretStore.h"

namespace getmail {
namespace {

const SecretSchema* Schema() {
  static const SecretSchema schema = {
      "org.quarrow.getmail.SignIn",
      SECRET_SCHEMA_NONE,
      {{"key", SECRET_SCHEMA_ATTRIBUTE_STRING}, {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
      0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
  return &schema;
}

// A keyring that waits for the user to unlock it, or a service that never
// answers, would hold the run forever: every call is cancelled after the
// tool's time-out.
class Deadline {
 public:
  Deadline() : cancellable_(g_cancellable_new()) {
    const auto timeout = TimeoutFromEnvironment();
    watch_ = std::thread([this, timeout] {
      std::unique_lock<std::mutex> lock(mutex_);
      if (!done_.wait_for(lock, timeout, [this] { return finished_; })) {
        g_cancellable_cancel(cancellable_);
      }
    });
  }
  ~Deadline() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      finished_ = true;
    }
    done_.notify_all();
    watch_.join();
    g_object_unref(cancellable_);
  }
  Deadline(const Deadline&) = delete;
  Deadline& operator=(const Deadline&) = delete;

  GCancellable* cancellable() const { return cancellable_; }

 private:
  GCancellable* cancellable_;
  std::mutex mutex_;
  std::condition_variable done_;
  bool finished_ = false;
  std::thread watch_;
};

// Throws Error for a failed call, saying what it was for.
void Check(GError* error, const std::string& doing) {
  if (error == nullptr) return;
  std::string why = error->message != nullptr ? error->message : "unknown error";
  const bool cancelled = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
  g_error_free(error);
  if (cancelled) why = "it did not answer in time (is the keyring locked?)";
  throw Error("cannot " + doing + " in the Secret Service: " + why);
}

}  // namespace

std::optional<std::string> ReadSecretService(const std::string& key) {
  Deadline deadline;
  GError* error = nullptr;
  gchar* secret = secret_password_lookup_sync(Schema(), deadline.cancellable(), &error,
                                              "key", key.c_str(), nullptr);
  Check(error, "read a sign-in");
  if (secret == nullptr) return std::nullopt;
  std::string data(secret);
  secret_password_free(secret);  // wipes it
  if (data.size() > kSecretLimit) throw Error("a sign-in in the Secret Service is too long");
  return data;
}

void WriteSecretService(const std::string& key, std::string_view data) {
  const std::string text(data);
  const std::string label = "Quarrow getmail sign-in " + key;
  Deadline deadline;
  GError* error = nullptr;
  secret_password_store_sync(Schema(), SECRET_COLLECTION_DEFAULT, label.c_str(), text.c_str(),
                             deadline.cancellable(), &error, "key", key.c_str(), nullptr);
  Check(error, "keep a sign-in");
}

bool RemoveSecretService(const std::string& key) {
  Deadline deadline;
  GError* error = nullptr;
  const gboolean removed = secret_password_clear_sync(Schema(), deadline.cancellable(), &error,
                                                      "key", key.c_str(), nullptr);
  Check(error, "remove a sign-in");
  return removed != FALSE;
}

std::vector<std::string> SecretServiceKeys() {
  Deadline deadline;
  GError* error = nullptr;
  // Attributes only: listing needs no secret, nor an unlocked keyring.
  GList* items = secret_password_search_sync(Schema(), SECRET_SEARCH_ALL,
                                             deadline.cancellable(), &error, nullptr);
  Check(error, "list the sign-ins");
  std::vector<std::string> keys;
  for (GList* item = items; item != nullptr; item = item->next) {
    GHashTable* attributes =
        secret_retrievable_get_attributes(static_cast<SecretRetrievable*>(item->data));
    if (attributes == nullptr) continue;
    if (const auto* key = static_cast<const char*>(g_hash_table_lookup(attributes, "key"))) {
      keys.emplace_back(key);
    }
    g_hash_table_unref(attributes);
  }
  g_list_free_full(items, g_object_unref);
  return keys;
}

}  // namespace getmail
