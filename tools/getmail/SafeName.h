// File names for saved attachments that are safe on Windows and on Linux.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace getmail {

// Makes a file name from an attachment's name as the message gives it (UTF-8):
// only the last part of a path is kept (after the last "/" or "\"); the
// characters \ / : * ? " < > | , control characters, bidirectional text
// controls and bytes that are not UTF-8 become "_"; runs of dots become one
// dot; dots and blanks are trimmed from both ends; it is cut to at most 180
// bytes, keeping its extension; and if it is then a Windows device name
// (IsWindowsDeviceName) it gets a "_" in front. Gives "" if nothing is left.
std::string SafeFileName(std::string_view raw);

// Whether Windows takes `name` for a device rather than a file: CON, PRN,
// AUX, NUL, CONIN$, CONOUT$, COM0-9, LPT0-9, COM and LPT with a superscript
// 1, 2 or 3, in any case, with or without blanks and an extension after it.
bool IsWindowsDeviceName(std::string_view name);

// An extension, with its dot, for a MIME type (".bin" for unknown ones).
std::string ExtensionForType(std::string_view mimeType);

// The extension of `name`: from its last dot (not a leading one) on, or "".
std::string_view ExtensionOf(std::string_view name);

// Hands out file names that begin with one prefix and differ from each other
// and from reserved names, without regard to ASCII case: the second "a.txt"
// becomes "a-2.txt", the third "a-3.txt". A name that would be a Windows
// device name with the prefix gets a "_" after the prefix. Each claim costs
// about the same however many names are taken.
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
  std::unordered_set<std::string> taken_;  // lower-case whole names
  // The next number to try for a lower-case stem and extension.
  std::unordered_map<std::string, int> next_;
};

}  // namespace getmail
