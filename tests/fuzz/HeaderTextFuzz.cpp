// Fuzzes the header file text: unfolding, RFC 2047 decoding and charset
// conversion of a header as a server sends it, and where a header ends.
#include <gmime/gmime.h>

#include <algorithm>
#include <string>

#include "FuzzSupport.h"
#include "tools/getmail/HeaderText.h"

// GMime for the whole run: what it keeps is still reachable at the end,
// so the leak check has nothing to report without g_mime_shutdown().
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_mime_init();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  std::string_view message = fuzz::AsText(data, size);

  std::string_view header = getmail::HeaderPart(message);
  fuzz::Require(header.data() == message.data() && header.size() <= message.size(),
                "the header is the message's beginning");
  std::string_view rest = message.substr(header.size());
  fuzz::Require(rest.empty() || rest.substr(0, 1) == "\n" || rest.substr(0, 2) == "\r\n",
                "the header ends where an empty line begins");
  fuzz::Require(getmail::HeaderFingerprint(header).size() == 16,
                "a fingerprint has 16 digits");

  std::string text = getmail::HeaderText(message);
  fuzz::Require(text.empty() || text.substr(text.size() - 2) == "\r\n",
                "every line of a header file ends in CRLF");
  fuzz::Require(text.find('\0') == std::string::npos, "no NUL byte in a header file");
  std::size_t linesIn = std::count(message.begin(), message.end(), '\n') + 1;
  std::size_t linesOut = std::count(text.begin(), text.end(), '\n');
  fuzz::Require(linesOut <= linesIn, "decoding brings in no line break");
  for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1)) {
    fuzz::Require(at > 0 && text[at - 1] == '\r', "no bare LF in a header file");
  }
  return 0;
}
