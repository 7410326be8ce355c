// getmail.exe's command line as Windows hands it over: the program's path,
// unquoted with blanks in it, before the arguments, and a password with
// quotes in it, found as it stands in the raw text.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "Win32GetmailCopy.h"
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

// getmail.exe itself, in a folder with a blank in its name, started as
// Quarrow starts it: its full path given apart, and the command line as it
// stands, path unquoted. What it says on standard error shows which
// arguments it found: the port, the last of them, is the one it refuses.
TEST(Win32Arguments, GetmailFindsItsArgumentsAfterItsUnquotedPath) {
  const std::wstring folder = CopyOfGetmail(L"Mail Tools ", L"getmail.exe");
  ASSERT_FALSE(folder.empty()) << GetLastError();
  const std::wstring program = folder + L"\\getmail.exe";

  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, &inherit, 0));
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdError = writeEnd;
  std::wstring line = program + L" -u me -pw Se\"cr\"et -s pop.example.com -port 0 -headersonly";
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE,
                             CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process));
  CloseHandle(writeEnd);
  std::string err;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) err.append(buffer, got);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 0;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  CloseHandle(readEnd);
  DeleteFileW(program.c_str());
  RemoveDirectoryW(folder.c_str());
  EXPECT_EQ(status, 2u);
  EXPECT_NE(err.find("the port must be a number from 1 to 65535"), std::string::npos) << err;
  EXPECT_EQ(err.find("Secret"), std::string::npos) << err;
}

}  // namespace
}  // namespace getmail::win32
