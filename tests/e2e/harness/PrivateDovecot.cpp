#include "PrivateDovecot.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "Process.h"

#ifndef PRIVATE_DOVECOT_SCRIPT
#error "PRIVATE_DOVECOT_SCRIPT must name tests/e2e/private-dovecot.sh"
#endif

namespace harness {

std::optional<std::string> PrivateDovecot::Unavailable() {
  if (access("/usr/sbin/dovecot", X_OK) != 0) {
    return std::string(
        "Dovecot is not installed (Debian: apt-get install dovecot-pop3d)");
  }
  if (access("/usr/bin/openssl", X_OK) != 0) {
    return std::string("openssl is not installed");
  }
  return std::nullopt;
}

PrivateDovecot::PrivateDovecot(std::map<std::string, std::string> settings)
    : folder_("quarrow-dovecot"), settings_(std::move(settings)) {
  if (settings_.count("DOVECOT_PASSWORD")) password_ = settings_["DOVECOT_PASSWORD"];
  Start();
}

PrivateDovecot::~PrivateDovecot() {
  try {
    Stop();
  } catch (...) {
  }
}

std::string PrivateDovecot::Script(
    const std::vector<std::string>& args,
    const std::map<std::string, std::optional<std::string>>& env) const {
  std::vector<std::string> argv = {"/bin/bash", PRIVATE_DOVECOT_SCRIPT};
  argv.insert(argv.end(), args.begin(), args.end());
  ProcessResult result = RunProcess(argv, "/", env);
  if (result.status != 0) {
    throw std::runtime_error("private-dovecot.sh " + args[0] + " failed: " +
                             result.err);
  }
  return result.out;
}

void PrivateDovecot::Start() {
  // Should this program crash, the server goes with it.
  std::map<std::string, std::optional<std::string>> env = {
      {"WATCH_PID", std::to_string(getpid())}};
  for (const auto& [name, value] : settings_) env[name] = value;
  if (pop3_ != 0) {
    // A restart keeps the ports the tests already know.
    env["POP3_PORT"] = std::to_string(pop3_);
    env["POP3S_PORT"] = std::to_string(pop3s_);
    env["IMAP_PORT"] = std::to_string(imap_);
    env["IMAPS_PORT"] = std::to_string(imaps_);
  }
  std::string out = Script({"start", folder_.path()}, env);
  if (std::sscanf(out.c_str(), "pop3=%d pop3s=%d imap=%d imaps=%d", &pop3_, &pop3s_, &imap_,
                  &imaps_) != 4) {
    throw std::runtime_error("private-dovecot.sh start said: " + out);
  }
  running_ = true;
}

void PrivateDovecot::Stop() {
  if (!running_) return;
  Script({"stop", folder_.path()});
  running_ = false;
}

std::map<std::string, std::optional<std::string>> PrivateDovecot::ToolEnvironment() const {
  return {{"QUARROW_GETMAIL_CAFILE", caFile()},
          {"QUARROW_GETMAIL_TLS_PORTS", std::to_string(pop3s_) + "," + std::to_string(imaps_)},
          {"QUARROW_GETMAIL_TIMEOUT", std::nullopt},
          {"QUARROW_GETMAIL_PLAINTEXT", std::nullopt}};
}

std::string PrivateDovecot::MailFolder() const { return folder_ / ("mail/" + user_); }

void PrivateDovecot::SetMessages(const std::vector<std::string>& messages) {
  // INBOX gets them; Archive is emptied.
  for (const char* sub : {"/new", "/cur", "/.Archive/new", "/.Archive/cur"}) {
    for (const std::string& name : ListFolder(MailFolder() + sub)) {
      unlink((MailFolder() + sub + "/" + name).c_str());
    }
  }
  TempFolder staging("quarrow-messages");
  std::vector<std::string> args = {"add", folder_.path()};
  for (std::size_t i = 0; i < messages.size(); ++i) {
    std::string path = staging / ("m" + std::to_string(100000 + i) + ".eml");
    WriteFile(path, messages[i]);
    args.push_back(path);
  }
  Script(args);
}

std::vector<std::string> PrivateDovecot::Messages(const std::string& mailbox) const {
  // Maildir file names begin with the time and the order they were added
  // in; new/ and cur/ hold the same names (cur/ adds ":2,..." flags, "T"
  // for \Deleted). Another mailbox is the folder "." + its name.
  const std::string folder = MailFolder() + (mailbox == "INBOX" ? "" : "/." + mailbox);
  std::vector<std::pair<std::string, std::string>> named;
  for (const char* sub : {"/new", "/cur"}) {
    for (const std::string& name : ListFolder(folder + sub)) {
      const std::size_t flags = name.find(":2,");
      if (flags != std::string::npos && name.find('T', flags) != std::string::npos) continue;
      named.emplace_back(name, ReadFile(folder + sub + "/" + name));
    }
  }
  std::sort(named.begin(), named.end());
  std::vector<std::string> messages;
  for (auto& entry : named) messages.push_back(std::move(entry.second));
  return messages;
}

int PrivateDovecot::CountFlagged(char flag) const {
  int count = 0;
  for (const std::string& name : ListFolder(MailFolder() + "/cur")) {
    const std::size_t flags = name.find(":2,");
    if (flags != std::string::npos && name.find(flag, flags + 3) != std::string::npos) ++count;
  }
  return count;
}

void PrivateDovecot::RemoveMessageWith(const std::string& marker) {
  for (const char* sub : {"/new", "/cur"}) {
    for (const std::string& name : ListFolder(MailFolder() + sub)) {
      std::string path = MailFolder() + sub + "/" + name;
      if (ReadFile(path).find(marker) != std::string::npos) {
        unlink(path.c_str());
        return;
      }
    }
  }
  throw std::runtime_error("no message holds " + marker);
}

}  // namespace harness
