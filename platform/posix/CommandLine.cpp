#include "platform/posix/CommandLine.h"

#include "platform/posix/CaseInsensitiveNames.h"

namespace quarrow::posix {

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

}  // namespace

std::vector<Text> SplitArguments(const Text& text) {
  std::vector<Text> arguments;
  Text current;
  bool inArgument = false, quoted = false;
  for (size_t i = 0; i < text.size();) {
    const wchar_t c = text[i];
    if (c == L'\\') {
      size_t count = 0;
      while (i < text.size() && text[i] == L'\\') ++count, ++i;
      if (i < text.size() && text[i] == L'"') {
        current.append(count / 2, L'\\');
        if (count % 2 == 1) {
          current += L'"';
          ++i;
        }
      } else {
        current.append(count, L'\\');
      }
      inArgument = true;
    } else if (c == L'"') {
      if (quoted && i + 1 < text.size() && text[i + 1] == L'"') {
        current += L'"';
        i += 2;
      } else {
        quoted = !quoted;
        ++i;
      }
      inArgument = true;
    } else if (IsBlank(c) && !quoted) {
      if (inArgument) arguments.push_back(current);
      current.clear();
      inArgument = false;
      ++i;
    } else {
      current += c;
      inArgument = true;
      ++i;
    }
  }
  if (inArgument) arguments.push_back(current);
  return arguments;
}

Text ArgumentsAfterProgram(const Text& commandLine, const Text& program) {
  size_t start = 0;
  while (start < commandLine.size() && IsBlank(commandLine[start])) ++start;
  const Text text = commandLine.substr(start);
  const size_t n = program.size();
  if (n > 0 && text.size() >= n && SameIgnoringCase(text.substr(0, n), program) &&
      (text.size() == n || IsBlank(text[n])))
    return text.substr(n);
  // Another program part: read as a Windows program reads its own name.
  if (!text.empty() && text[0] == L'"') {
    const size_t close = text.find(L'"', 1);
    return close == Text::npos ? Text() : text.substr(close + 1);
  }
  size_t end = 0;
  while (end < text.size() && !IsBlank(text[end])) ++end;
  return text.substr(end);
}

}  // namespace quarrow::posix
