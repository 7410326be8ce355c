#include "tools/getmail/CommandLine.h"

#include <gtest/gtest.h>

namespace getmail {
namespace {

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> args;
  std::size_t pos = 0;
  while (pos < line.size()) {
    std::size_t end = line.find(' ', pos);
    if (end == std::string::npos) end = line.size();
    args.push_back(line.substr(pos, end - pos));
    pos = end + 1;
  }
  return args;
}

std::optional<Options> Parse(const std::string& line, std::string* why = nullptr) {
  std::string error;
  std::optional<Options> options = ParseCommandLine(Split(line), error);
  if (why != nullptr) *why = error;
  EXPECT_EQ(options.has_value(), error.empty()) << line;
  return options;
}

TEST(CommandLine, ReadsTheHeaderRunOfTheContract) {
  std::optional<Options> options =
      Parse("-u me@example.org -pw -secret- -s pop.example.org -port 110 -headersonly");
  ASSERT_TRUE(options);
  EXPECT_EQ(options->login, "me@example.org");
  EXPECT_EQ(options->password, "-secret-");  // a value may begin with "-"
  EXPECT_EQ(options->server, "pop.example.org");
  EXPECT_EQ(options->port, 110);
  EXPECT_TRUE(options->headersOnly);
}

TEST(CommandLine, ReadsTheRetrievalRunOfTheContract) {
  std::optional<Options> options =
      Parse("-u me -pw pw -s host -port 995 -m 7 -xtract Extract7- -delete");
  ASSERT_TRUE(options);
  EXPECT_FALSE(options->headersOnly);
  EXPECT_EQ(options->port, 995);
  EXPECT_EQ(options->message, 7);
  EXPECT_EQ(options->prefix, "Extract7-");
}

TEST(CommandLine, TakesTheOptionsInAnyOrder) {
  std::optional<Options> options =
      Parse("-delete -m 3 -port 110 -xtract X- -s host -pw pw -u me");
  ASSERT_TRUE(options);
  EXPECT_EQ(options->message, 3);
  EXPECT_EQ(options->login, "me");
}

TEST(CommandLine, RefusesWhatTheContractDoesNotAllow) {
  const char* bad[] = {
      "",
      "-u me -pw pw -s host -port 110",                            // no mode
      "-u me -pw pw -s host -headersonly",                         // no port
      "-u me -pw pw -s host -port",                                // missing value
      "-u -pw pw -s host -port 110 -headersonly",                  // empty login
      "-u me -pw pw -s host -port 11o -headersonly",               // not a number
      "-u me -pw pw -s host -port 0 -headersonly",                 // out of range
      "-u me -pw pw -s host -port 65536 -headersonly",
      "-u me -pw pw -s host -port -110 -headersonly",
      "-u me -pw pw -s host -port 110 -headersonly -v",            // unknown option
      "-u me -pw pw -s host -port 110 -headersonly -headersonly",  // twice
      "-u me -pw pw -s host -port 110 -m 1 -xtract E1- -delete -headersonly",
      "-u me -pw pw -s host -port 110 -m 1 -xtract E1-",           // no -delete
      "-u me -pw pw -s host -port 110 -m x -xtract E1- -delete",   // not a number
      "-u me -pw pw -s host -port 110 -m 0 -xtract E1- -delete",
      "-u me -pw pw -s host -port 110 -m 1 -xtract ../E1- -delete",  // a folder
      "me pw host 110",
  };
  for (const char* line : bad) {
    std::string why;
    EXPECT_FALSE(Parse(line, &why)) << line;
    EXPECT_FALSE(why.empty()) << line;
  }
}

TEST(CommandLine, NeverRepeatsWhatMayBePartOfThePassword) {
  // "open sesame" as Quarrow puts it on the command line: two words.
  std::string why;
  EXPECT_FALSE(Parse("-u me -pw open sesame -s host -port 110 -headersonly", &why));
  EXPECT_EQ(why.find("sesame"), std::string::npos) << why;
  EXPECT_NE(why.find("-pw"), std::string::npos) << why;
  // Before the password a stray word is named.
  EXPECT_FALSE(Parse("-u me stray -pw pw -s host -port 110 -headersonly", &why));
  EXPECT_NE(why.find("'stray'"), std::string::npos) << why;
}

TEST(CommandLine, UsageNamesBothForms) {
  std::string usage = UsageText("getmail");
  EXPECT_NE(usage.find("-headersonly"), std::string::npos);
  EXPECT_NE(usage.find("-m I -xtract PREFIX -delete"), std::string::npos);
}

}  // namespace
}  // namespace getmail
