// The locale's character set, which decides how header files are decoded
// and upper-cased. The C and POSIX locales, as cron and systemd run
// programs, have plain ASCII; text there is taken as UTF-8, of which ASCII
// is a part, so the two must be read and upper-cased alike.
#pragma once

namespace quarrow::posix {

// The locale's character set is ASCII (the C or POSIX locale).
bool CodesetIsAscii();
// Text is read as UTF-8: the character set is UTF-8, or ASCII.
bool ReadsAsUtf8();

}  // namespace quarrow::posix
