// The text of a header file: a message's header lines, unfolded, with
// encoded words (RFC 2047) decoded to UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace getmail {

// `header` is a message's header as received (line ends as sent, without the
// empty line after it). Gives one line per header field, each ending in CRLF:
// folded lines joined (the line break removed, a tab that began a
// continuation line becomes a blank), the value's encoded words decoded to
// UTF-8 and 8-bit text in another charset converted to UTF-8. NUL bytes, and
// CR or LF anywhere but at a field's end (sent, or brought in by decoding),
// become blanks. Needs g_mime_init().
std::string HeaderText(std::string_view header);

// The header of a whole message as received: everything before the first
// empty line (all of it if there is none).
std::string_view HeaderPart(std::string_view message);

// A fingerprint of a header as received (16 hexadecimal digits), to tell
// whether a message is still the one whose header was read before.
std::string HeaderFingerprint(std::string_view header);

}  // namespace getmail
