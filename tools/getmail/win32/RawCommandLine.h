// The tool's command line as Windows hands it over: one text, which the
// program splits itself. Quarrow writes the program's path unquoted, blanks
// and all, and the password as it is, quotes and all.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace getmail::win32 {

// One argument: its value as the C runtime's rules give it, and the part of
// the raw text it was read from.
struct RawArgument {
  std::wstring value;
  std::size_t begin = 0;
  std::size_t end = 0;
};

// Where the program's path ends in `line`: after the closing quote of a
// quoted path; else at the first blank where the text before it (with or
// without ".exe") names the file `self`, the way Windows tries each blank
// of an unquoted path; else at the first blank.
std::size_t ProgramPathEnd(std::wstring_view line, const std::wstring& self);

// The arguments after the program's path (which ends at `from`), split as
// CommandLineToArgvW splits them, each with its place in `line`.
std::vector<RawArgument> ArgumentsAfter(std::wstring_view line, std::size_t from);

}  // namespace getmail::win32
