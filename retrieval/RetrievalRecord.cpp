#include "retrieval/RetrievalRecord.h"

#include <cerrno>
#include <cstdlib>
#include <map>
#include <sstream>

namespace quarrow {

const wchar_t kRetrievalRecordName[] = L".quarrow-retrieval";

namespace {

const char kFirstLine[] = "quarrow retrieval record 1";

// A decimal number that fills the whole text; nothing for anything else.
std::optional<unsigned long long> Number(const std::string& text) {
  if (text.empty() || text.size() > 20 ||
      text.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  errno = 0;
  const unsigned long long value = std::strtoull(text.c_str(), nullptr, 10);
  if (errno != 0) return std::nullopt;
  return value;
}

}  // namespace

std::string FormatRecord(const RetrievalRecord& r) {
  std::ostringstream out;
  out << kFirstLine << "\n"
      << "message " << r.message << "\n"
      << "body " << ToUtf8(r.bodyFile) << "\n"
      << "exists " << (r.bodyBefore.exists ? 1 : 0) << "\n"
      << "id " << r.bodyBefore.id << "\n"
      << "size " << r.bodyBefore.size << "\n"
      // Nanoseconds since 1970 or 100-nanosecond units since 1601: never
      // negative on a file the tool wrote.
      << "modified " << static_cast<unsigned long long>(r.bodyBefore.modified)
      << "\n"
      << "end\n";
  return out.str();
}

std::optional<RetrievalRecord> ParseRecord(const std::string& bytes) {
  // A record is a few short lines; anything longer is not one of ours.
  if (bytes.size() > 4096) return std::nullopt;
  std::istringstream in(bytes);
  std::string line;
  if (!std::getline(in, line) || line != kFirstLine) return std::nullopt;
  std::map<std::string, std::string> fields;
  bool ended = false;
  while (std::getline(in, line)) {
    if (line == "end") {
      ended = true;
      break;
    }
    const size_t blank = line.find(' ');
    if (blank == std::string::npos) return std::nullopt;
    fields[line.substr(0, blank)] = line.substr(blank + 1);
  }
  // The last line shows the record was written whole.
  if (!ended || fields.size() != 6) return std::nullopt;
  const auto message = Number(fields["message"]);
  const auto exists = Number(fields["exists"]);
  const auto id = Number(fields["id"]);
  const auto size = Number(fields["size"]);
  const auto modified = Number(fields["modified"]);
  const std::string& body = fields["body"];
  if (!message || *message < 1 || *message > 0x7FFFFFFF || !exists ||
      *exists > 1 || !id || !size || !modified || body.empty() ||
      body.find_first_of("/\\:") != std::string::npos)
    return std::nullopt;
  RetrievalRecord r;
  r.message = static_cast<int>(*message);
  r.bodyFile = FromUtf8(body);
  r.bodyBefore.exists = *exists == 1;
  r.bodyBefore.id = *id;
  r.bodyBefore.size = *size;
  r.bodyBefore.modified = static_cast<long long>(*modified);
  return r;
}

}  // namespace quarrow
