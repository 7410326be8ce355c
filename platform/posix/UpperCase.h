// Upper-casing by the locale, consistent with how text was decoded.
#pragma once

#include "platform/Platform.h"

namespace quarrow::posix {

// Upper-case form of `text` by the current locale's rules. Under a locale
// whose character set is ASCII the text was decoded as UTF-8, and Unicode's
// simple case mapping applies ("café" gives "CAFÉ", "ß" stays), taken from
// the C.UTF-8 locale.
Text UpperCase(const Text& text);

}  // namespace quarrow::posix
