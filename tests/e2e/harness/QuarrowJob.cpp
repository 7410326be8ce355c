#include "QuarrowJob.h"

#include <sys/stat.h>

#include <algorithm>
#include <regex>

namespace harness {

namespace {

bool IsVch(const std::string& name) {
  return name.size() > 4 && name.compare(name.size() - 4, 4, ".vch") == 0;
}

std::string CorpusId(const std::string& message) {
  std::size_t at = message.find("X-Corpus-Id: ");
  if (at == std::string::npos) return "?";
  at += 13;
  return message.substr(at, message.find('\r', at) - at);
}

}  // namespace

ProcessResult RunQuarrowJob(const std::string& program, const PrivateDovecot& server,
                            int port, const std::string& subject,
                            const std::string& password, const std::string& drive) {
  mkdir((drive + "/job").c_str(), 0755);
  std::map<std::string, std::optional<std::string>> env = server.ToolEnvironment();
  env["QUARROW_HEADLESS"] = "1";
  env["QUARROW_DRIVE_D"] = drive;
  const std::string command = "/" + server.user() + "/" + password + "/" + server.host() +
                              "/" + std::to_string(port) + "/" + subject + "/d:\\job";
  return RunProcess({program, command}, drive, env, 300);
}

JobOutcome VelbrinOutcome(const std::vector<CorpusMessage>& corpus) {
  JobOutcome outcome;
  for (const CorpusMessage& message : corpus) {
    // Messages whose header holds "Velbrin" in any case, the encoded
    // subject of "attached-message" included, leave the server.
    const std::size_t at = message.raw.find("Velbrin");
    const bool matches = (at != std::string::npos && at < message.raw.find("\r\n\r\n")) ||
                         message.id == "attached-message";
    if (!matches) {
      outcome.idsLeft.push_back(message.id);
    } else if (message.attachments.empty()) {
      outcome.results.push_back(message.raw);  // the message itself
    } else {
      for (const ExpectedFile& file : message.attachments) outcome.results.push_back(file.data);
    }
  }
  std::sort(outcome.results.begin(), outcome.results.end());
  return outcome;
}

JobOutcome ActualOutcome(const std::string& drive, const PrivateDovecot& server) {
  JobOutcome outcome;
  for (const std::string& name : ListFolder(drive + "/job")) {
    if (IsVch(name)) outcome.results.push_back(ReadFile(drive + "/job/" + name));
  }
  std::sort(outcome.results.begin(), outcome.results.end());
  for (const std::string& message : server.Messages()) outcome.idsLeft.push_back(CorpusId(message));
  return outcome;
}

std::vector<std::string> BadlyNamedResults(const std::string& folder) {
  static const std::regex stamped(R"(\d\d-\d\d-\d\d \d\d-\d\d-\d\d(-\d+)?\.vch)");
  std::vector<std::string> bad;
  for (const std::string& name : ListFolder(folder)) {
    if ((IsVch(name) && !std::regex_match(name, stamped)) || name.rfind("Extract", 0) == 0)
      bad.push_back(name);
  }
  return bad;
}

}  // namespace harness
