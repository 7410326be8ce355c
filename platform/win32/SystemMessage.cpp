#include "platform/win32/SystemMessage.h"

#include <windows.h>

#include <cwctype>

namespace quarrow::win32 {

Text SystemMessage(unsigned long error, const Text& insert) {
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
  // Replaced here rather than by FormatMessageW: a text with more inserts
  // than arguments given would make it read past them.
  for (size_t at = 0; !insert.empty() &&
                      (at = text.find(L"%1", at)) != Text::npos;) {
    if (at + 2 < text.size() && std::iswdigit(text[at + 2])) {
      at += 2;  // "%10" and up
    } else {
      text.replace(at, 2, insert);
      at += insert.size();
    }
  }
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
