// The attachments of a message, found and decoded with GMime, straight from
// the stream that holds the message to one stream per attachment.
#pragma once

#include <functional>
#include <string>

typedef struct _GMimeStream GMimeStream;

namespace getmail {

// Writes an attachment's content into `out`; false if that failed (errno
// tells why where a write failed).
using ContentWriter = std::function<bool(GMimeStream* out)>;
// Takes one attachment: its name (a safe file name, SafeFileName, before any
// prefix and not yet made unique) and the writer of its content, to be
// called once, before the taker returns.
using AttachmentTaker =
    std::function<void(const std::string& name, const ContentWriter& write)>;

// Hands each attachment of the message in `message` (a seekable stream that
// holds the whole message as received) to `take`, in the order they stand in
// it: every leaf part with a file name (Content-Disposition filename or
// Content-Type name, in RFC 2231 or RFC 2047 form) or with disposition
// "attachment", decoded from its transfer encoding; and every attached
// message (message/rfc822, also when a transfer encoding stands between),
// with the extension ".eml": byte for byte as it stands in the message where
// no transfer encoding stands between, else decoded. A part without a usable
// name is named "attachment" + k + an extension for its type, k counting such
// parts from 1. Malformed MIME gives what GMime can make of it. Contents are
// never held whole in memory: GMime reads them from `message` as they are
// written. Needs g_mime_init().
void FindAttachments(GMimeStream* message, const AttachmentTaker& take);

}  // namespace getmail
