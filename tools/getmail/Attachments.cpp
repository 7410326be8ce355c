#include "tools/getmail/Attachments.h"

#include <gmime/gmime.h>
#include <strings.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "tools/getmail/Base64Decoder.h"
#include "tools/getmail/SafeName.h"

namespace getmail {
namespace {

struct Unref {
  void operator()(void* object) const {
    if (object != nullptr) g_object_unref(object);
  }
};
template <typename T>
using Ref = std::unique_ptr<T, Unref>;

// A stretch of the message stream: [begin, end).
struct Range {
  gint64 begin = 0;
  gint64 end = 0;
};

// One line of a Range.
struct Line {
  gint64 offset = 0;      // where it begins in the stream
  gint64 length = 0;      // with its line end
  std::string head;       // its first bytes, at most the scanner's `keep`
  bool restBlank = true;  // every byte after `head` a blank, tab, CR or LF
  bool crlf = false;      // it ends in CRLF
};

// Reads a Range line by line through a fixed buffer, keeping only the first
// bytes of each line: a line of any length costs no more memory.
class LineScanner {
 public:
  LineScanner(GMimeStream* stream, Range range, std::size_t keep)
      : stream_(g_mime_stream_substream(stream, range.begin, range.end)),
        offset_(range.begin),
        keep_(keep),
        buffer_(64 * 1024) {}

  // The next line; false at the end.
  bool Next(Line& line) {
    line = Line();
    line.offset = offset_;
    char last = 0;
    for (;;) {
      if (pos_ == end_ && !Fill()) return line.length > 0;
      const char* begin = buffer_.data() + pos_;
      const void* newline = std::memchr(begin, '\n', end_ - pos_);
      std::size_t take = newline != nullptr
                             ? static_cast<const char*>(newline) - begin + 1
                             : end_ - pos_;
      std::string_view piece(begin, take);
      std::size_t keep = std::min(keep_ - line.head.size(), piece.size());
      line.head.append(piece.substr(0, keep));
      if (line.restBlank &&
          piece.substr(keep).find_first_not_of(" \t\r\n") != std::string_view::npos) {
        line.restBlank = false;
      }
      pos_ += take;
      offset_ += static_cast<gint64>(take);
      line.length += static_cast<gint64>(take);
      if (newline == nullptr) {
        last = piece.back();
        continue;
      }
      // The byte before the LF, which may have come with the last read.
      if (take >= 2) last = piece[take - 2];
      line.crlf = last == '\r';
      return true;
    }
  }

 private:
  bool Fill() {
    ssize_t n = g_mime_stream_read(stream_.get(), buffer_.data(), buffer_.size());
    if (n <= 0) return false;
    pos_ = 0;
    end_ = static_cast<std::size_t>(n);
    return true;
  }

  Ref<GMimeStream> stream_;
  gint64 offset_;
  std::size_t keep_;
  std::vector<char> buffer_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
};

bool IsEmptyLine(const Line& line) {
  return (line.length == 1 && line.head == "\n") || (line.length == 2 && line.head == "\r\n");
}

// The body of a MIME entity: what follows the empty line that ends its
// header (all of it if the entity has no header at all, nothing if the
// header does not end).
Range RawBody(GMimeStream* stream, Range entity) {
  LineScanner lines(stream, entity, 2);
  Line line;
  while (lines.Next(line)) {
    if (IsEmptyLine(line)) return {line.offset + line.length, entity.end};
  }
  return {entity.end, entity.end};
}

// The raw text of each part of a multipart entity, split at the delimiter
// lines "--" + boundary (the line break before a delimiter belongs to it).
// Nothing if there is no closing delimiter: the tree is then taken from
// GMime alone.
std::optional<std::vector<Range>> RawParts(GMimeStream* stream, Range entity,
                                           const std::string& boundary) {
  LineScanner lines(stream, RawBody(stream, entity), boundary.size() + 4);
  std::vector<Range> parts;
  std::optional<gint64> partStart;
  bool previousCrlf = false;
  Line line;
  while (lines.Next(line)) {
    std::string_view head = line.head;
    if (head.size() >= boundary.size() + 2 && head.substr(0, 2) == "--" &&
        head.substr(2, boundary.size()) == boundary) {
      std::string_view rest = head.substr(boundary.size() + 2);
      bool closing = rest.substr(0, 2) == "--";
      if (closing) rest.remove_prefix(2);
      if (line.restBlank && rest.find_first_not_of(" \t\r\n") == std::string_view::npos) {
        if (partStart) {
          gint64 partEnd = line.offset;
          if (partEnd > *partStart) --partEnd;  // the LF before the delimiter
          if (previousCrlf && partEnd > *partStart) --partEnd;  // and its CR
          parts.push_back({*partStart, partEnd});
        }
        if (closing) return parts;
        partStart = line.offset + line.length;
      }
    }
    previousCrlf = line.crlf;
  }
  return std::nullopt;
}

// Whether a Content-Transfer-Encoding leaves the content as it is.
bool IsIdentityEncoding(const char* encoding) {
  if (encoding == nullptr) return true;
  std::string value;
  for (const char* c = encoding; *c != '\0'; ++c) {
    if (*c != ' ' && *c != '\t') value += static_cast<char>(g_ascii_tolower(*c));
  }
  return value.empty() || value == "7bit" || value == "8bit" || value == "binary";
}

bool IsPlainMessagePart(GMimeObject* object) {
  return GMIME_IS_MESSAGE_PART(object) &&
         IsIdentityEncoding(g_mime_object_get_header(object, "Content-Transfer-Encoding"));
}

// Whether the raw text of `object` is needed: it holds an attached message
// to be saved byte for byte.
bool NeedsRaw(GMimeObject* object) {
  if (IsPlainMessagePart(object)) return true;
  if (!GMIME_IS_MULTIPART(object)) return false;
  GMimeMultipart* multipart = GMIME_MULTIPART(object);
  int count = g_mime_multipart_get_count(multipart);
  for (int i = 0; i < count; ++i) {
    if (NeedsRaw(g_mime_multipart_get_part(multipart, i))) return true;
  }
  return false;
}

// A type that GMime takes for an attached message when no transfer encoding
// stands between; with one, it leaves it a leaf part.
bool IsMessageType(GMimeObject* object) {
  GMimeContentType* type = g_mime_object_get_content_type(object);
  return type != nullptr && (g_mime_content_type_is_type(type, "message", "rfc822") ||
                             g_mime_content_type_is_type(type, "message", "global") ||
                             g_mime_content_type_is_type(type, "message", "news"));
}

bool Flushed(GMimeStream* out) { return g_mime_stream_flush(out) == 0; }

// The bytes of `range`, as they are.
bool WriteRaw(GMimeStream* source, Range range, GMimeStream* out) {
  Ref<GMimeStream> part(g_mime_stream_substream(source, range.begin, range.end));
  return g_mime_stream_write_to_stream(part.get(), out) >= 0 && Flushed(out);
}

// Base64 content decoded into `out` (Base64Decoder).
bool WriteBase64(GMimeStream* in, GMimeStream* out) {
  // Large enough that what comes out is written straight, not buffered.
  std::vector<char> input(256 * 1024);
  std::vector<char> output(Base64Decoder::MaxOutput(input.size()));
  Base64Decoder decoder;
  for (;;) {
    ssize_t n = g_mime_stream_read(in, input.data(), input.size());
    std::size_t decoded = n > 0 ? decoder.Step(input.data(), static_cast<std::size_t>(n),
                                               output.data())
                                : decoder.Finish(output.data());
    if (decoded > 0 &&
        g_mime_stream_write(out, output.data(), decoded) != static_cast<ssize_t>(decoded)) {
      return false;
    }
    if (n == 0 || (n < 0 && g_mime_stream_eos(in))) return Flushed(out);
    if (n < 0) return false;
  }
}

// The content of a leaf part, decoded from its transfer encoding.
bool WriteDecoded(GMimePart* part, GMimeStream* out) {
  GMimeDataWrapper* content = g_mime_part_get_content(part);
  if (content == nullptr) return Flushed(out);
  GMimeStream* in = g_mime_data_wrapper_get_stream(content);
  GMimeContentEncoding encoding = g_mime_data_wrapper_get_encoding(content);
  g_mime_stream_reset(in);
  if (encoding == GMIME_CONTENT_ENCODING_BASE64) return WriteBase64(in, out);
  // Others as g_mime_data_wrapper_write_to_stream has them, but with every
  // write checked.
  Ref<GMimeStream> filtered(g_mime_stream_filter_new(out));
  if (encoding == GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE ||
      encoding == GMIME_CONTENT_ENCODING_UUENCODE) {
    Ref<GMimeFilter> decoder(g_mime_filter_basic_new(encoding, FALSE));
    g_mime_stream_filter_add(GMIME_STREAM_FILTER(filtered.get()), decoder.get());
  }
  return g_mime_stream_write_to_stream(in, filtered.get()) >= 0 && Flushed(filtered.get());
}

// An attached message as a whole message again, with CRLF line ends as mail
// has them on the wire; only where its raw text is not known.
bool WriteMessage(GMimeMessagePart* part, GMimeStream* out) {
  GMimeMessage* message = g_mime_message_part_get_message(part);
  if (message == nullptr) return Flushed(out);
  GMimeFormatOptions* options = g_mime_format_options_new();
  g_mime_format_options_set_newline_format(options, GMIME_NEWLINE_FORMAT_DOS);
  gssize written = g_mime_object_write_to_stream(GMIME_OBJECT(message), options, out);
  g_mime_format_options_free(options);
  return written >= 0 && Flushed(out);
}

const char* Param(GMimeObject* object, const char* disposition,
                  const char* type) {
  const char* value =
      g_mime_object_get_content_disposition_parameter(object, disposition);
  if (value == nullptr || *value == '\0') {
    value = g_mime_object_get_content_type_parameter(object, type);
  }
  return value;
}

class Finder {
 public:
  Finder(GMimeStream* source, const AttachmentTaker& take) : source_(source), take_(take) {}

  // Looks through `object`, whose raw text is `raw` where it is known.
  void Walk(GMimeObject* object, std::optional<Range> raw) {
    if (GMIME_IS_MULTIPART(object)) {
      GMimeMultipart* multipart = GMIME_MULTIPART(object);
      int count = g_mime_multipart_get_count(multipart);
      std::optional<std::vector<Range>> rawParts;
      const char* boundary = g_mime_multipart_get_boundary(multipart);
      if (raw && boundary != nullptr && NeedsRaw(object)) {
        rawParts = RawParts(source_, *raw, boundary);
      }
      if (rawParts && static_cast<int>(rawParts->size()) != count) rawParts.reset();
      for (int i = 0; i < count; ++i) {
        std::optional<Range> rawPart;
        if (rawParts) rawPart = (*rawParts)[i];
        Walk(g_mime_multipart_get_part(multipart, i), rawPart);
      }
    } else if (GMIME_IS_MESSAGE_PART(object)) {
      std::string name = MessageName(object);
      // The attached message byte for byte, as it stands in the message,
      // unless a transfer encoding stands between.
      if (raw && IsPlainMessagePart(object)) {
        Range body = RawBody(source_, *raw);
        take_(name, [&](GMimeStream* out) { return WriteRaw(source_, body, out); });
      } else {
        take_(name, [&](GMimeStream* out) {
          return WriteMessage(GMIME_MESSAGE_PART(object), out);
        });
      }
    } else if (GMIME_IS_PART(object)) {
      GMimePart* part = GMIME_PART(object);
      auto write = [part](GMimeStream* out) { return WriteDecoded(part, out); };
      if (IsMessageType(object)) {
        // An attached message under a transfer encoding: saved decoded,
        // whatever its disposition says.
        take_(MessageName(object), write);
        return;
      }
      const char* filename = g_mime_part_get_filename(part);
      const char* disposition = g_mime_object_get_disposition(object);
      bool attached = (filename != nullptr && *filename != '\0') ||
                      (disposition != nullptr &&
                       strcasecmp(disposition, "attachment") == 0);
      if (attached) take_(Name(filename, object), write);
    }
  }

 private:
  // A safe name from `given`, or "attachment" + k + an extension.
  std::string Name(const char* given, GMimeObject* object) {
    std::string name = given != nullptr ? SafeFileName(given) : std::string();
    if (!name.empty()) return name;
    std::string type = "application/octet-stream";
    if (GMimeContentType* contentType = g_mime_object_get_content_type(object)) {
      char* mimeType = g_mime_content_type_get_mime_type(contentType);
      if (mimeType != nullptr) {
        type = mimeType;
        g_free(mimeType);
      }
    }
    return "attachment" + std::to_string(++nameless_) + ExtensionForType(type);
  }

  // The name of an attached message: always ending in ".eml".
  std::string MessageName(GMimeObject* object) {
    std::string name = Name(Param(object, "filename", "name"), object);
    std::string_view extension = ExtensionOf(name);
    if (extension.size() != 4 || strncasecmp(extension.data(), ".eml", 4) != 0) {
      name += ".eml";
    }
    return name;
  }

  GMimeStream* source_;
  const AttachmentTaker& take_;
  int nameless_ = 0;
};

}  // namespace

void FindAttachments(GMimeStream* message, const AttachmentTaker& take) {
  g_mime_stream_reset(message);
  Range whole;
  whole.begin = g_mime_stream_tell(message);
  // Parts' contents stay in `message` (the parser keeps a seekable stream
  // and refers to it); only headers and the tree are held in memory.
  Ref<GMimeParser> parser(g_mime_parser_new_with_stream(message));
  g_mime_parser_set_persist_stream(parser.get(), TRUE);
  Ref<GMimeMessage> parsed(g_mime_parser_construct_message(parser.get(), nullptr));
  if (!parsed) return;
  GMimeObject* body = g_mime_message_get_mime_part(parsed.get());
  if (body == nullptr) return;
  // Asked only now: a stream still being written knows it only at its end.
  whole.end = whole.begin + g_mime_stream_length(message);
  Finder finder(message, take);
  finder.Walk(body, whole);
}

}  // namespace getmail
