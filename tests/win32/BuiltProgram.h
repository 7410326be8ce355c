// Where the tests find the programs the build made. The build names them by
// its own paths; under Wine a Unix path is a path on drive Z.
#pragma once

#include <string>

namespace quarrow::testing {

inline std::wstring BuiltProgram(const char* buildPath) {
  std::wstring path(buildPath, buildPath + std::char_traits<char>::length(buildPath));
  if (!path.empty() && path[0] == L'/') path = L"Z:" + path;
  for (auto& c : path)
    if (c == L'/') c = L'\\';
  return path;
}

}  // namespace quarrow::testing
