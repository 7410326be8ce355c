// Mail messages the getmail and whole-job tests put on the private Dovecot,
// with what getmail should make of each.
#pragma once

#include <string>
#include <vector>

namespace harness {

struct ExpectedFile {
  std::string name;  // file name after the prefix
  std::string data;  // its bytes
};

struct CorpusMessage {
  std::string id;      // the value of its X-Corpus-Id header, unique
  std::string raw;     // the whole message, CRLF line ends
  // Lines its header file must hold: header fields unfolded and decoded.
  std::vector<std::string> headerLines;
  std::size_t headerFieldCount = 0;  // lines in its header file
  // Its attachments in the order getmail saves them.
  std::vector<ExpectedFile> attachments;
};

// The corpus: plain text; multipart/mixed with two attachments (base64 and
// quoted-printable); multipart/alternative inside multipart/mixed; RFC 2231,
// RFC 2047 and raw UTF-8 file names, one with "..\" and ":", forbidden
// characters and a duplicate; an attached message and a part without a name;
// a folded and an encoded Subject; malformed MIME (no closing boundary, bad
// base64). The subjects of "plain", "two-attachments", "names",
// "attached-message" and "malformed" hold "Velbrin"; the others do not.
std::vector<CorpusMessage> Corpus();

// A small text message with the given subject and no attachment.
CorpusMessage TextMessage(const std::string& id, const std::string& subject);
// A message with one base64 attachment "big.bin" of `size` bytes.
CorpusMessage BigMessage(const std::string& id, std::size_t size);

// `size` bytes of every value, from a seed.
std::string SomeBytes(std::size_t size, unsigned seed);
std::string Base64Body(const std::string& data);            // lines of 76
std::string QuotedPrintableBody(const std::string& text);   // CRLF text

// The raw messages of `messages`.
std::vector<std::string> RawMessages(const std::vector<CorpusMessage>& messages);

}  // namespace harness
