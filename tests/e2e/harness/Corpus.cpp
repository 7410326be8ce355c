#include "Corpus.h"

#include <cstdio>

namespace harness {
namespace {

constexpr const char* kCrlf = "\r\n";

// Joins lines with CRLF, ending with one too.
std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + kCrlf;
  return text;
}

// A message: the common fields, then `fields`, then the body.
CorpusMessage Make(const std::string& id, const std::vector<std::string>& fields,
                   const std::string& body) {
  CorpusMessage message;
  message.id = id;
  std::vector<std::string> header = {
      "Return-Path: <sender@example.org>",
      "From: Alice Example <alice@example.org>",
      "To: Bob <bob@example.org>",
      "Date: Sun, 28 Jan 2007 09:36:14 +0100",
      "Message-ID: <" + id + "@corpus.example.org>",
      "X-Corpus-Id: " + id,
  };
  header.insert(header.end(), fields.begin(), fields.end());
  message.raw = Lines(header) + kCrlf + body;
  // Every common field stands in the header file as it is.
  message.headerLines.assign(header.begin(), header.begin() + 6);
  message.headerFieldCount = 6;
  for (const std::string& field : fields) {
    if (field[0] != ' ' && field[0] != '\t') ++message.headerFieldCount;
  }
  return message;
}

std::string Part(const std::vector<std::string>& fields, const std::string& body) {
  return Lines(fields) + kCrlf + body;
}

// A multipart body from parts, with a closing delimiter unless `open`.
std::string Multipart(const std::string& boundary, const std::vector<std::string>& parts,
                      bool open = false) {
  std::string body = "This is a multi-part message in MIME format.\r\n";
  for (const std::string& part : parts) {
    body += "\r\n--" + boundary + kCrlf + part;
    if (body.compare(body.size() - 2, 2, kCrlf) == 0) body.resize(body.size() - 2);
  }
  if (!open) body += "\r\n--" + boundary + "--\r\n";
  return body;
}

// The content of a part as the message carries it before the delimiter:
// Multipart() takes the part's last CRLF as belonging to the delimiter.
std::string Attached(const std::vector<std::string>& fields, const std::string& content) {
  return Part(fields, content + kCrlf);
}

}  // namespace

std::string SomeBytes(std::size_t size, unsigned seed) {
  std::string data(size, '\0');
  unsigned state = seed * 2654435761u + 1;
  for (std::size_t i = 0; i < size; ++i) {
    state = state * 1103515245u + 12345u;
    data[i] = static_cast<char>((state >> 16) & 0xFF);
  }
  return data;
}

std::string Base64Body(const std::string& data) {
  static const char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out, line;
  for (std::size_t i = 0; i < data.size(); i += 3) {
    unsigned v = static_cast<unsigned char>(data[i]) << 16;
    if (i + 1 < data.size()) v |= static_cast<unsigned char>(data[i + 1]) << 8;
    if (i + 2 < data.size()) v |= static_cast<unsigned char>(data[i + 2]);
    line += kDigits[v >> 18];
    line += kDigits[(v >> 12) & 63];
    line += i + 1 < data.size() ? kDigits[(v >> 6) & 63] : '=';
    line += i + 2 < data.size() ? kDigits[v & 63] : '=';
    if (line.size() >= 76) {
      out += line + kCrlf;
      line.clear();
    }
  }
  if (!line.empty()) out += line + kCrlf;
  if (!out.empty()) out.resize(out.size() - 2);
  return out;
}

std::string QuotedPrintableBody(const std::string& text) {
  std::string out;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find(kCrlf, pos);
    bool last = end == std::string::npos;
    if (last) end = text.size();
    std::string encoded;
    for (std::size_t i = pos; i < end; ++i) {
      unsigned char c = static_cast<unsigned char>(text[i]);
      std::string piece;
      bool atEnd = i + 1 == end;
      if (c == '=' || c > 126 || (c < 32 && c != '\t') || ((c == ' ' || c == '\t') && atEnd)) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "=%02X", c);
        piece = hex;
      } else {
        piece = std::string(1, static_cast<char>(c));
      }
      if (encoded.size() + piece.size() > 75) {  // soft line break
        out += encoded + "=" + kCrlf;
        encoded.clear();
      }
      encoded += piece;
    }
    out += encoded;
    if (!last) out += kCrlf;
    pos = last ? end : end + 2;
  }
  return out;
}

std::vector<std::string> RawMessages(const std::vector<CorpusMessage>& messages) {
  std::vector<std::string> raw;
  for (const CorpusMessage& message : messages) raw.push_back(message.raw);
  return raw;
}

CorpusMessage TextMessage(const std::string& id, const std::string& subject) {
  CorpusMessage message = Make(id, {"Subject: " + subject},
                               Lines({"Hello,", "", ".a line that starts with a dot", "Bye"}));
  message.headerLines.push_back("Subject: " + subject);
  return message;
}

CorpusMessage BigMessage(const std::string& id, std::size_t size) {
  std::string data = SomeBytes(size, 99);
  CorpusMessage message = Make(
      id, {"Subject: Velbrin big", "MIME-Version: 1.0",
           "Content-Type: multipart/mixed; boundary=\"big-b\""},
      Multipart("big-b", {Part({"Content-Type: text/plain"}, "See the file.\r\n"),
                          Attached({"Content-Type: application/octet-stream; name=big.bin",
                                    "Content-Transfer-Encoding: base64"},
                                   Base64Body(data))}));
  message.attachments = {{"big.bin", data}};
  return message;
}

std::vector<CorpusMessage> Corpus() {
  std::vector<CorpusMessage> corpus;

  // Plain text, no MIME at all.
  corpus.push_back(TextMessage("plain", "Velbrin plain note"));

  // multipart/mixed with two attachments: base64 and quoted-printable.
  {
    std::string pdf = SomeBytes(5000, 1);
    std::string notes =
        "Line one = equals\r\n\xC3\x9C" "mlaut line\twith tab \r\n" +
        std::string(100, 'x') + " a long line for soft breaks\r\nlast line";
    CorpusMessage m = Make(
        "two-attachments",
        {"Subject: Velbrin report", "MIME-Version: 1.0",
         "Content-Type: multipart/mixed; boundary=\"=_mixed_1\""},
        Multipart("=_mixed_1",
                  {Part({"Content-Type: text/plain; charset=us-ascii"}, "The report.\r\n"),
                   Attached({"Content-Type: application/pdf; name=\"report.pdf\"",
                             "Content-Disposition: attachment; filename=\"report.pdf\"",
                             "Content-Transfer-Encoding: base64"},
                            Base64Body(pdf)),
                   Attached({"Content-Type: text/plain; charset=utf-8",
                             "Content-Disposition: attachment; filename=notes.txt",
                             "Content-Transfer-Encoding: quoted-printable"},
                            QuotedPrintableBody(notes))}));
    m.headerLines.push_back("Subject: Velbrin report");
    m.attachments = {{"report.pdf", pdf}, {"notes.txt", notes}};
    corpus.push_back(m);
  }

  // multipart/alternative inside multipart/mixed, and an inline image with a
  // name, which counts as an attachment.
  {
    std::string jpeg = SomeBytes(2345, 2);
    CorpusMessage m = Make(
        "alternative",
        {"Subject: Weekly letter", "MIME-Version: 1.0",
         "Content-Type: multipart/mixed; boundary=outer"},
        Multipart("outer",
                  {Part({"Content-Type: multipart/alternative; boundary=inner"},
                        Multipart("inner",
                                  {Part({"Content-Type: text/plain"}, "Plain letter\r\n"),
                                   Part({"Content-Type: text/html"},
                                        "<p>HTML letter</p>\r\n")})),
                   Attached({"Content-Type: image/jpeg",
                             "Content-Disposition: inline; filename=\"photo.jpg\"",
                             "Content-Transfer-Encoding: base64"},
                            Base64Body(jpeg))}));
    m.headerLines.push_back("Subject: Weekly letter");
    m.attachments = {{"photo.jpg", jpeg}};
    corpus.push_back(m);
  }

  // File names: RFC 2231 (whole and continued), RFC 2047, raw UTF-8, a path
  // with "..\" and ":", forbidden characters, a duplicate.
  {
    std::vector<std::string> parts = {Part({"Content-Type: text/plain"}, "Names.\r\n")};
    std::vector<ExpectedFile> files;
    auto attach = [&](const std::string& disposition, const std::string& expected,
                      unsigned seed) {
      std::string data = SomeBytes(300 + seed, seed);
      parts.push_back(Attached({"Content-Type: application/octet-stream", disposition,
                                "Content-Transfer-Encoding: base64"},
                               Base64Body(data)));
      files.push_back({expected, data});
    };
    attach("Content-Disposition: attachment; filename*=UTF-8''%C3%BCber%20caf%C3%A9.txt",
           "\xC3\xBC" "ber caf\xC3\xA9.txt", 10);
    attach("Content-Disposition: attachment;\r\n filename*0*=UTF-8''Gr%C3%BC%C3%9Fe;\r\n"
           " filename*1=\" aus \";\r\n filename*2*=%C3%A9t%C3%A9.doc",
           "Gr\xC3\xBC\xC3\x9F" "e aus \xC3\xA9t\xC3\xA9.doc", 11);
    attach("Content-Disposition: attachment; filename=\"=?UTF-8?B?w7xiZXJzaWNodC5wZGY=?=\"",
           "\xC3\xBC" "bersicht.pdf", 12);
    attach("Content-Disposition: attachment; filename=\"r\xC3\xA9sum\xC3\xA9.txt\"",
           "r\xC3\xA9sum\xC3\xA9.txt", 13);
    attach("Content-Disposition: attachment; filename=\"..\\\\..\\\\secret:plan.txt\"",
           "secret_plan.txt", 14);
    attach("Content-Disposition: attachment; filename=\"a<b>c|d?*.txt\"", "a_b_c_d__.txt", 15);
    attach("Content-Disposition: attachment; filename=\"dup.txt\"", "dup.txt", 16);
    attach("Content-Disposition: attachment; filename=\"DUP.txt\"", "DUP-2.txt", 17);
    attach("Content-Disposition: attachment; filename=\"..\"", "attachment1.bin", 18);
    CorpusMessage m = Make("names",
                           {"Subject: Velbrin names", "MIME-Version: 1.0",
                            "Content-Type: multipart/mixed; boundary=names-b"},
                           Multipart("names-b", parts));
    m.headerLines.push_back("Subject: Velbrin names");
    m.attachments = files;
    corpus.push_back(m);
  }

  // An attached message (with an attachment of its own, which stays inside
  // it) and a part without a name; a folded, encoded Subject.
  {
    std::string inner =
        Lines({"From: Carol <carol@example.org>", "To: alice@example.org",
               "Subject: The inner message", "Message-ID: <inner@corpus.example.org>",
               "MIME-Version: 1.0", "Content-Type: multipart/mixed; boundary=in-b"}) +
        kCrlf +
        Multipart("in-b", {Part({"Content-Type: text/plain"}, "Inner text.\r\n"),
                           Attached({"Content-Type: application/octet-stream; name=inner.bin",
                                     "Content-Transfer-Encoding: base64"},
                                    Base64Body(SomeBytes(200, 20)))});
    std::string pdf = SomeBytes(777, 21);
    CorpusMessage m = Make(
        "attached-message",
        {"Subject: =?UTF-8?Q?Fwd:_Gr=C3=BC=C3=9Fe?=", "  =?UTF-8?Q?_aus_Velbrin?=",
         "MIME-Version: 1.0", "Content-Type: multipart/mixed; boundary=\"fwd-b\""},
        Multipart("fwd-b", {Part({"Content-Type: text/plain"}, "Forwarded.\r\n"),
                            Attached({"Content-Type: message/rfc822",
                                      "Content-Disposition: attachment"},
                                     inner),
                            Attached({"Content-Type: application/pdf",
                                      "Content-Disposition: attachment",
                                      "Content-Transfer-Encoding: base64"},
                                     Base64Body(pdf))}));
    m.headerLines.push_back("Subject: Fwd: Gr\xC3\xBC\xC3\x9F" "e aus Velbrin");
    m.attachments = {{"attachment1.eml", inner}, {"attachment2.pdf", pdf}};
    corpus.push_back(m);
  }

  // A folded plain Subject, continued with a tab.
  {
    CorpusMessage m = Make("folded-subject",
                           {"Subject: Minutes of the", "\tmonthly meeting"},
                           Lines({"The minutes."}));
    m.headerLines.push_back("Subject: Minutes of the monthly meeting");
    corpus.push_back(m);
  }

  // Malformed MIME: bad characters in base64 and no closing boundary.
  {
    std::string broken = SomeBytes(600, 30);
    std::string encoded = Base64Body(broken);
    encoded.insert(40, "!!*");   // not base64: skipped
    encoded.insert(100, "#");
    std::string last = "The last part runs to the end.\r\n";
    CorpusMessage m = Make(
        "malformed",
        {"Subject: Velbrin malformed", "MIME-Version: 1.0",
         "Content-Type: multipart/mixed; boundary=bad-b"},
        Multipart("bad-b",
                  {Part({"Content-Type: text/plain"}, "Broken.\r\n"),
                   Attached({"Content-Type: application/octet-stream; name=broken.bin",
                             "Content-Transfer-Encoding: base64"},
                            encoded),
                   Part({"Content-Type: text/plain",
                         "Content-Disposition: attachment; filename=last.txt"},
                        last)},
                  /*open=*/true) +
            kCrlf);
    m.headerLines.push_back("Subject: Velbrin malformed");
    m.attachments = {{"broken.bin", broken}, {"last.txt", last}};
    corpus.push_back(m);
  }
  return corpus;
}

}  // namespace harness
