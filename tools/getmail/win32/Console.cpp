#include "tools/getmail/Console.h"

#include <windows.h>

#include <cstdio>

#include "tools/getmail/Errors.h"
#include "tools/getmail/win32/WinText.h"

namespace getmail {

std::string ReadHiddenLine(const std::string& prompt) {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  std::string line;
  if (GetConsoleMode(input, &mode)) {
    std::fputs(prompt.c_str(), stderr);
    std::fflush(stderr);
    SetConsoleMode(input, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    std::wstring typed;
    for (;;) {
      wchar_t c;
      DWORD got = 0;
      if (!ReadConsoleW(input, &c, 1, &got, nullptr) || got == 0 || c == L'\n') break;
      if (c == L'\r') continue;
      if (typed.size() >= kPasswordLimit) {
        SetConsoleMode(input, mode);
        throw Error("the password is longer than " + std::to_string(kPasswordLimit) +
                    " characters");
      }
      typed += c;
    }
    SetConsoleMode(input, mode);
    std::fputs("\n", stderr);
    line = win32::Narrow(typed);
    SecureZeroMemory(typed.data(), typed.size() * sizeof(wchar_t));
  } else {
    // A pipe or file: UTF-8 bytes up to the line end.
    for (;;) {
      char c;
      DWORD got = 0;
      if (!ReadFile(input, &c, 1, &got, nullptr) || got == 0 || c == '\n') break;
      if (line.size() >= kPasswordLimit) {
        throw Error("the password is longer than " + std::to_string(kPasswordLimit) + " bytes");
      }
      line += c;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
  }
  if (line.empty()) throw Error("no password was given");
  return line;
}

// Windows writes no core files of its own accord, and other users'
// processes cannot open this one's memory.
void KeepSecretsInProcess() {}

}  // namespace getmail
