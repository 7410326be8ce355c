#include "platform/win32/SystemMessage.h"

#include <windows.h>

namespace quarrow::win32 {

Text SystemMessage(unsigned long error) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
          FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  Text text = length > 0 ? Text(buffer, length) : Text();
  LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' ||
                           text.back() == L' '))
    text.pop_back();
  if (text.empty()) text = L"Error " + std::to_wstring(error);
  return text;
}

Failure SystemFailure(const Text& what, unsigned long error) {
  return Failure(L"Cannot " + what + L": " + SystemMessage(error));
}

Failure LastErrorFailure(const Text& what) {
  return SystemFailure(what, GetLastError());
}

Text Quoted(const Text& name) { return L"'" + name + L"'"; }

}  // namespace quarrow::win32
