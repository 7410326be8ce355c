// Fuzzes attachment extraction: a whole message as a server sends it,
// through GMime and the tool's own decoders, to attachment names and
// decoded contents.
#include <gmime/gmime.h>

#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "tools/getmail/Attachments.h"

// GMime for the whole run: what it keeps is still reachable at the end,
// so the leak check has nothing to report without g_mime_shutdown().
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_mime_init();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  GMimeStream* message =
      g_mime_stream_mem_new_with_buffer(reinterpret_cast<const char*>(data), size);
  std::size_t found = 0;
  std::uint64_t total = 0;
  getmail::FindAttachments(message, [&](const std::string& name,
                                        const getmail::ContentWriter& write) {
    fuzz::Require(!name.empty() && name != "." && name != "..", "an attachment has a name");
    // With a prefix such as "Extract12345-" it must still fit in one file
    // name of 255 bytes.
    fuzz::Require(name.size() <= 240, "an attachment's name fits in a file name");
    for (char c : name) {
      fuzz::Require(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F && c != '/' && c != '\\',
                    "an attachment's name is one name, without control characters");
    }
    GMimeStream* out = g_mime_stream_null_new();
    write(out);
    total += GMIME_STREAM_NULL(out)->written;
    g_object_unref(out);
    ++found;
  });
  g_object_unref(message);
  // Decoding shrinks; an attached message written out again may gain CRs
  // and a few header lines.
  fuzz::Require(total <= 2 * size + 4096 * (found + 1),
                "the attachments are not much larger than the message");
  return 0;
}
