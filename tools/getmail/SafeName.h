// File names for saved attachments that are safe on Windows and on Linux.
#pragma once

#include <set>
#include <string>
#include <string_view>

namespace getmail {

// Makes a file name from an attachment's name as the message gives it (UTF-8):
// only the last part of a path is kept (after the last "/" or "\"); the
// characters \ / : * ? " < > | , control characters, bidirectional text
// controls and bytes that are not UTF-8 become "_"; runs of dots become one
// dot; dots and blanks are trimmed from both ends; a Windows device name
// (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with or without extension) gets a "_"
// in front; and it is cut to at most 180 bytes, keeping its extension.
// Gives "" if nothing is left.
std::string SafeFileName(std::string_view raw);

// An extension, with its dot, for a MIME type (".bin" for unknown ones).
std::string ExtensionForType(std::string_view mimeType);

// The extension of `name`: from its last dot (not a leading one) on, or "".
std::string_view ExtensionOf(std::string_view name);

// Hands out file names that begin with one prefix and differ from each other
// and from reserved names, without regard to case: the second "a.txt" becomes
// "a-2.txt", the third "a-3.txt".
class NameBook {
 public:
  explicit NameBook(std::string prefix) : prefix_(std::move(prefix)) {}
  // A name that Claim must never give out (a whole file name).
  void Reserve(std::string_view fileName);
  // The whole file name (prefix + name) for an attachment named `name`.
  std::string Claim(std::string_view name);

 private:
  static std::string Key(std::string_view fileName);
  std::string prefix_;
  std::set<std::string> taken_;  // lower-case whole names
};

}  // namespace getmail
