// The attachments of a message, found and decoded with GMime.
#pragma once

#include <string>
#include <vector>

namespace getmail {

struct Attachment {
  std::string name;  // a safe file name (SafeFileName), before any prefix
  std::string data;  // the decoded content
};

// The attachments of `message` (a whole message as received), in the order
// they stand in it: every leaf part with a file name (Content-Disposition
// filename or Content-Type name, in RFC 2231 or RFC 2047 form) or with
// disposition "attachment", decoded from its transfer encoding; and every
// attached message (message/rfc822), saved whole with the extension ".eml".
// A part without a usable name is named "attachment" + k + an extension for
// its type, k counting such parts from 1. Names are not yet made unique.
// Malformed MIME gives what GMime can make of it. Needs g_mime_init().
std::vector<Attachment> FindAttachments(const std::string& message);

}  // namespace getmail
