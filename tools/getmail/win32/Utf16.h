// UTF-8 (the tool's own text) to and from UTF-16 (Windows' wide API).
#pragma once

#include <string>
#include <string_view>

namespace getmail {

std::wstring Wide(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

}  // namespace getmail
