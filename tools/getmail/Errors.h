// getmail's exit statuses and the one exception type that carries them.
#pragma once

#include <stdexcept>
#include <string>

namespace getmail {

// Exit statuses; README.md ("The mail tool: getmail") lists them for users.
enum ExitStatus {
  kOk = 0,
  kFailed = 1,             // connection, TLS, protocol or file failure, or
                           // no TLS for the password (and plain text not allowed)
  kUsage = 2,              // bad command line
  kLoginRefused = 3,       // the server refused the login
  kMessageGone = 4,        // message I is not (or no longer) to be had
  kDeleteUnconfirmed = 5,  // files saved, but the deletion was not confirmed
};

// A failure that ends the run. Its text goes to standard error as it stands,
// so it must never hold the password.
class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& text, ExitStatus status = kFailed)
      : std::runtime_error(text), status_(status) {}
  ExitStatus status() const { return status_; }

 private:
  ExitStatus status_;
};

}  // namespace getmail
