#include "platform/ToolMessage.h"

#include <cstring>

#include "platform/Failure.h"

namespace quarrow {

namespace {

bool IsBlank(const std::string& line) {
  return line.find_first_not_of(" \t\r") == std::string::npos;
}

// Calls `take` with each line of `text`, without its line end, last first,
// until it returns true.
template <typename Take>
void EachLineFromTheEnd(const std::string& text, Take take) {
  size_t end = text.size();
  while (end > 0) {
    const size_t newline = text.rfind('\n', end - 1);
    const size_t start = newline == std::string::npos ? 0 : newline + 1;
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (take(line)) return;
    if (newline == std::string::npos) return;
    end = newline;
  }
}

}  // namespace

Text LastToolMessage(const std::string& output) {
  const size_t prefixSize = std::strlen(kToolMessagePrefix);
  std::string found, lastNonBlank;
  bool haveNonBlank = false;
  EachLineFromTheEnd(output, [&](const std::string& line) {
    if (line.compare(0, prefixSize, kToolMessagePrefix) == 0) {
      found = line.substr(prefixSize);
      return true;
    }
    if (!haveNonBlank && !IsBlank(line)) {
      lastNonBlank = line;
      haveNonBlank = true;
    }
    return false;
  });
  return FromUtf8(found.empty() ? lastNonBlank : found);
}

std::string ToolLogLinesOf(const std::string& log, unsigned long processId) {
  // "2026-12-09 22:30:00 [1234] ": the stamp is 20 characters, then the id.
  const std::string id = "[" + std::to_string(processId) + "] ";
  const size_t stampSize = 20;
  std::string lines;
  size_t start = 0;
  while (start < log.size()) {
    size_t end = log.find('\n', start);
    if (end == std::string::npos) end = log.size();
    if (end - start > stampSize &&
        log.compare(start + stampSize, id.size(), id) == 0) {
      const size_t text = start + stampSize + id.size();
      lines.append(log, text, end - text);
      lines += '\n';
    }
    start = end + 1;
  }
  return lines;
}

}  // namespace quarrow
