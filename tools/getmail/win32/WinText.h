// Text conversions at the edge of the Windows API: the tool's strings are
// UTF-8, the API's are UTF-16.
#pragma once

#include <string>

namespace getmail::win32 {

std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& utf16);

// The system's text for an error code (GetLastError, WSAGetLastError or a
// SECURITY_STATUS), with the code in hexadecimal, as "text (0x80090325)".
std::string ErrorText(unsigned long code);

}  // namespace getmail::win32
