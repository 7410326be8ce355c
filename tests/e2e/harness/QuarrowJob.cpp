#include "QuarrowJob.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
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

std::string BatchCommandLine(const PrivateDovecot& server, int port, const std::string& subject,
                             const std::string& password, const std::string& folder) {
  return "/" + server.user() + "/" + password + "/" + server.host() + "/" +
         std::to_string(port) + "/" + subject + "/" + folder;
}

ProcessResult RunQuarrowJob(const std::string& program, const PrivateDovecot& server,
                            int port, const std::string& subject,
                            const std::string& password, const std::string& drive,
                            const std::map<std::string, std::optional<std::string>>& more,
                            const std::function<void(int pid)>& started) {
  mkdir((drive + "/job").c_str(), 0755);
  std::map<std::string, std::optional<std::string>> env = server.ToolEnvironment();
  for (const auto& [name, value] : more) env[name] = value;
  env["QUARROW_HEADLESS"] = "1";
  env["QUARROW_DRIVE_D"] = drive;
  return RunProcess({program, BatchCommandLine(server, port, subject, password, "d:\\job")},
                    drive, env, 300, started);
}

std::set<std::string> VelbrinIds(const std::vector<CorpusMessage>& corpus) {
  std::set<std::string> ids;
  for (const CorpusMessage& message : corpus) {
    const std::size_t at = message.raw.find("Velbrin");
    if ((at != std::string::npos && at < message.raw.find("\r\n\r\n")) ||
        message.id == "attached-message") {
      ids.insert(message.id);
    }
  }
  return ids;
}

JobOutcome ExpectedOutcome(const std::vector<CorpusMessage>& corpus,
                           const std::set<std::string>& fetched) {
  JobOutcome outcome;
  for (const CorpusMessage& message : corpus) {
    if (fetched.count(message.id) == 0) {
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

void ExpectNothingLost(const std::vector<CorpusMessage>& corpus, const std::string& drive,
                       const PrivateDovecot& server, const std::string& trial) {
  const JobOutcome expected = ExpectedOutcome(corpus, VelbrinIds(corpus));
  const JobOutcome actual = ActualOutcome(drive, server);
  EXPECT_EQ(actual.idsLeft, expected.idsLeft) << trial;
  for (const std::string& result : expected.results)
    EXPECT_TRUE(std::count(actual.results.begin(), actual.results.end(), result) > 0)
        << trial << ": a fetched message's content is in no .vch file";
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

void ExpectFetched(const std::vector<CorpusMessage>& corpus, const std::set<std::string>& fetched,
                   const std::string& drive, const PrivateDovecot& server) {
  const JobOutcome expected = ExpectedOutcome(corpus, fetched);
  const JobOutcome actual = ActualOutcome(drive, server);
  EXPECT_EQ(actual.idsLeft, expected.idsLeft);
  EXPECT_EQ(actual.results.size(), expected.results.size());
  EXPECT_TRUE(actual.results == expected.results) << "the .vch files differ from what was sent";
  EXPECT_THAT(BadlyNamedResults(drive + "/job"), ::testing::IsEmpty());
  // What stays on the server is untouched.
  const std::vector<std::string> serverNow = server.Messages();
  for (const CorpusMessage& message : corpus) {
    if (fetched.count(message.id) == 0) {
      EXPECT_NE(std::find(serverNow.begin(), serverNow.end(), message.raw), serverNow.end())
          << message.id << " changed on the server";
    }
  }
}

}  // namespace harness
