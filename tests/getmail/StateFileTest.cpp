#include "tools/getmail/StateFile.h"

#include <fnmatch.h>
#include <gtest/gtest.h>

#include <sstream>

namespace getmail {
namespace {

std::optional<State> Parse(const std::string& text, int through) {
  std::istringstream in(text);
  return ParseState(in, through);
}

State ThreeMessages() {
  State state;
  state.server = "pop.example.org";
  state.port = 995;
  state.login = "me@example.org";
  state.count = 3;
  state.marks = {{"0123456789abcdef", "a1"},
                 {"fedcba9876543210", ""},  // no id to go by
                 {"00000000000000ff", "c 3"}};
  return state;
}

TEST(StateFile, ItsNameMatchesNoPatternQuarrowLists) {
  for (const char* pattern : {"MSG*.TXT", "EXTRACT*"}) {
    EXPECT_NE(fnmatch(pattern, kStateFileName, FNM_CASEFOLD), 0) << pattern;
  }
}

TEST(StateFile, ReadsBackWhatItWroteAsFarAsAsked) {
  const State state = ThreeMessages();
  for (int through : {1, 2, 3, 7}) {
    SCOPED_TRACE(through);
    std::optional<State> back = Parse(FormatState(state), through);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->server, state.server);
    EXPECT_EQ(back->port, 995);
    EXPECT_EQ(back->login, state.login);
    EXPECT_EQ(back->count, 3);
    ASSERT_EQ(back->marks.size(), static_cast<std::size_t>(std::min(through, 3)));
    for (std::size_t k = 0; k < back->marks.size(); ++k) {
      EXPECT_EQ(back->marks[k].print, state.marks[k].print);
      EXPECT_EQ(back->marks[k].uid, state.marks[k].uid);
    }
  }
  State empty = state;
  empty.count = 0;
  empty.marks.clear();
  std::optional<State> back = Parse(FormatState(empty), 1);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->count, 0);
}

TEST(StateFile, RefusesADamagedFile) {
  const std::string text = FormatState(ThreeMessages());
  auto replaced = [&text](const std::string& from, const std::string& to) {
    std::string changed = text;
    changed.replace(changed.find(from), from.size(), to);
    return changed;
  };
  const std::string bad[] = {
      "",
      "getmail-state 1\n" + text.substr(text.find('\n') + 1),  // an older version
      text.substr(0, text.size() - 4),                          // the last line cut
      text.substr(0, text.find("count 3") + 7),  // ends after the count, no line end
      replaced("count 3", "count x"),
      // A count the file does not hold: refused at once, not looked for.
      replaced("count 3", "count 999999999"),
      replaced("count 3", "count 2"),
      replaced("fedcba9876543210", "fedcba98765432"),  // a fingerprint short
      replaced("\n2 ", "\n4 "),
      "getmail-state 2\nserver s\nport 110\nlogin " + std::string(70000, 'l') +
          "\ncount 0\n",
  };
  for (const std::string& damaged : bad) {
    EXPECT_FALSE(Parse(damaged, 3)) << damaged.substr(0, 120);
  }
}

TEST(StateFile, KeepsAnImapMailboxAndReadsTheOlderPop3Version) {
  State imap = ThreeMessages();
  imap.protocol = "imap";
  imap.mailbox = "Archive/2024 &-";
  imap.uidValidity = 4294967295u;
  std::optional<State> back = Parse(FormatState(imap), 3);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->protocol, "imap");
  EXPECT_EQ(back->mailbox, imap.mailbox);
  EXPECT_EQ(back->uidValidity, 4294967295u);
  EXPECT_EQ(back->marks[2].uid, "c 3");

  // Written by the version before, which knew POP3 only.
  std::optional<State> older = Parse(
      "getmail-state 2\nserver pop.example.org\nport 995\nlogin me\ncount 1\n"
      "1 0123456789abcdef a1\n",
      1);
  ASSERT_TRUE(older);
  EXPECT_EQ(older->protocol, "pop3");
  EXPECT_EQ(older->mailbox, "");
  EXPECT_EQ(older->uidValidity, 0u);
  ASSERT_EQ(older->marks.size(), 1u);
  EXPECT_EQ(older->marks[0].uid, "a1");

  const std::string text = FormatState(imap);
  auto replaced = [&text](const std::string& from, const std::string& to) {
    std::string changed = text;
    changed.replace(changed.find(from), from.size(), to);
    return changed;
  };
  for (const std::string& damaged :
       {replaced("protocol imap", "protocol smtp"), replaced("uidvalidity 4294967295", "uidvalidity 4294967296"),
        replaced("uidvalidity 4294967295", "uidvalidity -1"), replaced("mailbox ", "folder "),
        replaced("getmail-state 3", "getmail-state 2")}) {
    EXPECT_FALSE(Parse(damaged, 3)) << damaged.substr(0, 160);
  }
}

}  // namespace
}  // namespace getmail
