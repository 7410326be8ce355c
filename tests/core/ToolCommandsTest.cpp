#include <gtest/gtest.h>

#include "retrieval/ToolCommands.h"

namespace quarrow {
namespace {

Settings Sample() {
  Settings s;
  s.myLogin = L"me@example.com";
  s.myPass = L"se cret";
  s.mySrv = L"pop.example.com";
  s.myPort = L"110";
  return s;
}

TEST(ToolCommands, AreBuiltByPlainConcatenation) {
  EXPECT_EQ(HeaderCommand(L"C:\\Program Files\\Quarrow", Sample()),
            L"C:\\Program Files\\Quarrow\\getmail.exe -u me@example.com "
            L"-pw se cret -s pop.example.com -port 110 -headersonly");
  EXPECT_EQ(RetrievalCommand(L"c:\\q", Sample(), 7),
            L"c:\\q\\getmail.exe -u me@example.com -pw se cret "
            L"-s pop.example.com -port 110 -m 7 -xtract Extract7- -delete");
}

TEST(ToolCommands, AProgramInADriveRootGivesADoubledBackslash) {
  EXPECT_EQ(HeaderCommand(L"c:\\", Settings{}),
            L"c:\\\\getmail.exe -u  -pw  -s  -port  -headersonly");
}

TEST(ToolCommands, MessageNumbersHaveNoLeadingZeros) {
  const Text command = RetrievalCommand(L"c:\\q", Settings{}, 120);
  EXPECT_NE(command.find(L" -m 120 -xtract Extract120- -delete"), Text::npos);
}

}  // namespace
}  // namespace quarrow
