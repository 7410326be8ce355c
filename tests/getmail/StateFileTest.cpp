#include "tools/getmail/StateFile.h"

#include <fnmatch.h>
#include <gtest/gtest.h>

namespace getmail {
namespace {

TEST(StateFile, ItsNameMatchesNoPatternQuarrowLists) {
  for (const char* pattern : {"MSG*.TXT", "EXTRACT*"}) {
    EXPECT_NE(fnmatch(pattern, kStateFileName, FNM_CASEFOLD), 0) << pattern;
  }
}

TEST(StateFile, ReadsBackWhatItWrote) {
  State state;
  state.server = "pop.example.org";
  state.port = 995;
  state.login = "me@example.org";
  state.count = 3;
  state.hasUids = true;
  state.uids = {"a1", "b 2", "c3"};
  std::optional<State> back = ParseState(FormatState(state));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->server, state.server);
  EXPECT_EQ(back->port, 995);
  EXPECT_EQ(back->login, state.login);
  EXPECT_EQ(back->count, 3);
  EXPECT_TRUE(back->hasUids);
  EXPECT_EQ(back->uids, state.uids);

  // A server without UIDL: a fingerprint of each header instead.
  state.hasUids = false;
  state.uids.clear();
  state.prints = {"0123456789abcdef", "fedcba9876543210", "00000000000000ff"};
  back = ParseState(FormatState(state));
  ASSERT_TRUE(back);
  EXPECT_FALSE(back->hasUids);
  EXPECT_EQ(back->count, 3);
  EXPECT_TRUE(back->uids.empty());
  EXPECT_EQ(back->prints, state.prints);
}

TEST(StateFile, RefusesADamagedFile) {
  State state;
  state.server = "s";
  state.port = 110;
  state.login = "l";
  state.count = 2;
  state.hasUids = true;
  state.uids = {"x", "y"};
  std::string text = FormatState(state);
  EXPECT_FALSE(ParseState(""));
  EXPECT_FALSE(ParseState("getmail-state 2\n"));
  EXPECT_FALSE(ParseState(text.substr(0, text.size() - 4)));  // a uid short
  // Without UIDL, but without the fingerprints either.
  EXPECT_FALSE(ParseState("getmail-state 1\nserver s\nport 110\nlogin l\ncount 1\nuidl no\n"));
  std::string badCount = text;
  badCount.replace(badCount.find("count 2"), 7, "count x");
  EXPECT_FALSE(ParseState(badCount));
}

}  // namespace
}  // namespace getmail
