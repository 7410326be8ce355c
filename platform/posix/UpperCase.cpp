#include "platform/posix/UpperCase.h"

#include <locale.h>
#include <wctype.h>

#include "platform/posix/Codeset.h"

namespace quarrow::posix {

namespace {

// The C.UTF-8 locale's character classes, made once: its upper-casing is
// Unicode's simple case mapping. Null where the system has no such locale;
// only ASCII is upper-cased then.
locale_t UnicodeCase() {
  static const locale_t locale =
      ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  return locale;
}

}  // namespace

Text UpperCase(const Text& text) {
  // Every header record comes through here: ASCII is done in place, and the
  // locale is asked about the rest only once one turns up.
  Text upper = text;
  int useUnicode = -1;  // not yet known
  for (wchar_t& c : upper) {
    if (c < 0x80) {
      if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
      continue;
    }
    if (useUnicode < 0)
      useUnicode = CodesetIsAscii() && UnicodeCase() != nullptr;
    c = static_cast<wchar_t>(useUnicode
                                 ? ::towupper_l(static_cast<wint_t>(c), UnicodeCase())
                                 : ::towupper(static_cast<wint_t>(c)));
  }
  return upper;
}

}  // namespace quarrow::posix
