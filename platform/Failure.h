// The one failure type that every platform operation throws.
#pragma once

#include <exception>
#include <string>

namespace quarrow {

class Failure : public std::exception {
 public:
  // Why it failed, where the caller has to tell causes apart.
  enum class Reason {
    Other, SourceMissing, TargetExists, Overflow,
    Stopped,    // the program was asked to end and has stopped its job
    FolderBusy  // another job holds the mail folder
  };

  // `message` names what failed and on which name, e.g.
  // "Cannot make 'c:\mail' the current folder: it does not exist".
  explicit Failure(std::wstring message, Reason reason = Reason::Other);

  const std::wstring& message() const { return message_; }
  Reason reason() const { return reason_; }
  // The message as UTF-8.
  const char* what() const noexcept override { return utf8_.c_str(); }

 private:
  std::wstring message_;
  Reason reason_;
  std::string utf8_;
};

// UTF-8 form of a wide text (UTF-16 or UTF-32 wchar_t); unpaired surrogates
// become U+FFFD.
std::string ToUtf8(const std::wstring& text);
// Wide form of UTF-8; a byte that does not decode becomes one character of
// its own, as in Latin-1.
std::wstring FromUtf8(const std::string& bytes);

}  // namespace quarrow
