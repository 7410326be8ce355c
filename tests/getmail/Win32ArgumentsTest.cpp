// getmail.exe's command line as Windows hands it over: the program's path,
// unquoted with blanks in it, before the arguments, and a password with
// quotes in it, found as it stands in the raw text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/getmail/win32/RawCommandLine.h"

namespace getmail::win32 {
namespace {

const std::wstring kSelf = L"D:\\Mail Tools\\getmail.exe";

struct LineCase {
  const wchar_t* line;
  std::vector<std::wstring> arguments;
};

TEST(Win32Arguments, FindsItsArgumentsAfterAPathWithBlanks) {
  const LineCase cases[] = {
      {L"D:\\Mail Tools\\getmail.exe -u me -pw x -s pop.example.com",
       {L"-u", L"me", L"-pw", L"x", L"-s", L"pop.example.com"}},
      {L"d:\\mail tools\\GETMAIL.EXE -headersonly", {L"-headersonly"}},
      {L"D:\\Mail Tools\\getmail -headersonly", {L"-headersonly"}},
      {L"\"D:\\Mail Tools\\getmail.exe\" -u me", {L"-u", L"me"}},
      {L"getmail.exe  -u  me\t-port 995 ", {L"-u", L"me", L"-port", L"995"}},
      {L"D:\\Mail Tools\\getmail.exe", {}},
      // Another program of the same path's start is not this one.
      {L"D:\\Mail Tools\\other.exe -u me", {L"Tools\\other.exe", L"-u", L"me"}},
      // The C runtime's rules for quotes and backslashes.
      {L"getmail -pw \"a b\" -xtract a\\\\\"b c\" -s \\\"q",
       {L"-pw", L"a b", L"-xtract", L"a\\b c", L"-s", L"\"q"}},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(std::string(c.line, c.line + wcslen(c.line)));
    std::wstring_view line = c.line;
    std::vector<std::wstring> got;
    for (const RawArgument& a : ArgumentsAfter(line, ProgramPathEnd(line, kSelf))) {
      got.push_back(a.value);
    }
    EXPECT_EQ(got, c.arguments);
  }
}

TEST(Win32Arguments, APasswordIsFoundAsItStandsInTheRawText) {
  struct Case {
    const wchar_t* password;  // as the raw text has it
    const wchar_t* value;     // as it is read
  } cases[] = {
      {L"Sesame-77", L"Sesame-77"},
      {L"p\"a\"ss", L"pass"},
      {L"\"two words\"", L"two words"},
      {L"back\\\\\"sl\"ash", L"back\\slash"},
  };
  for (const Case& c : cases) {
    const std::wstring before = kSelf + L" -u me -pw ";
    const std::wstring line = before + c.password + L" -s pop.example.com -port 995";
    std::vector<RawArgument> arguments = ArgumentsAfter(line, ProgramPathEnd(line, kSelf));
    ASSERT_EQ(arguments.size(), 8u);
    EXPECT_EQ(arguments[3].value, c.value);
    EXPECT_EQ(line.substr(arguments[3].begin, arguments[3].end - arguments[3].begin),
              c.password);
    EXPECT_EQ(arguments[4].value, L"-s");
  }
}

}  // namespace
}  // namespace getmail::win32
