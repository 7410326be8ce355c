#include "tools/getmail/Attachments.h"

#include <gmime/gmime.h>
#include <strings.h>

#include <memory>
#include <optional>
#include <string_view>

#include "tools/getmail/Errors.h"
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

// The bytes a GMime memory stream holds.
std::string Bytes(GMimeStream* stream) {
  GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream));
  return std::string(reinterpret_cast<const char*>(array->data), array->len);
}

// The decoded content of a leaf part.
std::string DecodedContent(GMimePart* part) {
  Ref<GMimeStream> out(g_mime_stream_mem_new());
  GMimeDataWrapper* content = g_mime_part_get_content(part);
  if (content != nullptr &&
      g_mime_data_wrapper_write_to_stream(content, out.get()) < 0) {
    throw Error("cannot decode an attachment of the message");
  }
  return Bytes(out.get());
}

// The body of a MIME entity's raw text: what follows the empty line that
// ends its header (all of it if the entity has no header at all).
std::string_view RawBody(std::string_view entity) {
  if (entity.substr(0, 2) == "\r\n") return entity.substr(2);
  if (entity.substr(0, 1) == "\n") return entity.substr(1);
  std::size_t crlf = entity.find("\r\n\r\n");
  std::size_t lf = entity.find("\n\n");
  if (crlf != std::string_view::npos && (lf == std::string_view::npos || crlf + 1 < lf)) {
    return entity.substr(crlf + 4);
  }
  if (lf != std::string_view::npos) return entity.substr(lf + 2);
  return {};
}

// The raw text of each part of a multipart entity, split at the delimiter
// lines "--" + boundary (the line break before a delimiter belongs to it).
// Nothing if there is no closing delimiter: the tree is then taken from
// GMime alone.
std::optional<std::vector<std::string_view>> RawParts(std::string_view entity,
                                                      const std::string& boundary) {
  std::string_view body = RawBody(entity);
  std::vector<std::string_view> parts;
  std::size_t partStart = std::string_view::npos;
  std::size_t pos = 0;
  while (pos < body.size()) {
    std::size_t end = body.find('\n', pos);
    std::size_t next = end == std::string_view::npos ? body.size() : end + 1;
    std::string_view line = body.substr(pos, next - pos);
    if (line.size() >= boundary.size() + 2 && line.substr(0, 2) == "--" &&
        line.substr(2, boundary.size()) == boundary) {
      std::string_view rest = line.substr(boundary.size() + 2);
      bool closing = rest.substr(0, 2) == "--";
      if (closing) rest.remove_prefix(2);
      if (rest.find_first_not_of(" \t\r\n") == std::string_view::npos) {
        if (partStart != std::string_view::npos) {
          std::size_t partEnd = pos;
          if (partEnd > partStart && body[partEnd - 1] == '\n') --partEnd;
          if (partEnd > partStart && body[partEnd - 1] == '\r') --partEnd;
          parts.push_back(body.substr(partStart, partEnd - partStart));
        }
        if (closing) return parts;
        partStart = next;
      }
    }
    pos = next;
  }
  return std::nullopt;
}

// An attached message as a whole message again, with CRLF line ends as mail
// has them on the wire; only where its raw text is not known.
std::string MessageContent(GMimeMessagePart* part) {
  Ref<GMimeStream> out(g_mime_stream_mem_new());
  GMimeMessage* message = g_mime_message_part_get_message(part);
  if (message != nullptr) {
    GMimeFormatOptions* options = g_mime_format_options_new();
    g_mime_format_options_set_newline_format(options, GMIME_NEWLINE_FORMAT_DOS);
    gssize written =
        g_mime_object_write_to_stream(GMIME_OBJECT(message), options, out.get());
    g_mime_format_options_free(options);
    if (written < 0) throw Error("cannot write out an attached message");
  }
  return Bytes(out.get());
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
  std::vector<Attachment> found;

  // Looks through `object`, whose raw text is `raw` where it is known.
  void Walk(GMimeObject* object, std::optional<std::string_view> raw) {
    if (GMIME_IS_MULTIPART(object)) {
      GMimeMultipart* multipart = GMIME_MULTIPART(object);
      int count = g_mime_multipart_get_count(multipart);
      std::optional<std::vector<std::string_view>> rawParts;
      const char* boundary = g_mime_multipart_get_boundary(multipart);
      if (raw && boundary != nullptr) rawParts = RawParts(*raw, boundary);
      if (rawParts && static_cast<int>(rawParts->size()) != count) rawParts.reset();
      for (int i = 0; i < count; ++i) {
        std::optional<std::string_view> rawPart;
        if (rawParts) rawPart = (*rawParts)[i];
        Walk(g_mime_multipart_get_part(multipart, i), rawPart);
      }
    } else if (GMIME_IS_MESSAGE_PART(object)) {
      std::string name = Name(Param(object, "filename", "name"), object);
      std::string_view extension = ExtensionOf(name);
      if (extension.size() != 4 || strcasecmp(extension.data(), ".eml") != 0) {
        name += ".eml";
      }
      // The attached message byte for byte, as it stands in the message,
      // unless a transfer encoding stands between.
      bool plain = IsIdentityEncoding(
          g_mime_object_get_header(object, "Content-Transfer-Encoding"));
      if (raw && plain) {
        found.push_back({name, std::string(RawBody(*raw))});
      } else {
        found.push_back({name, MessageContent(GMIME_MESSAGE_PART(object))});
      }
    } else if (GMIME_IS_PART(object)) {
      GMimePart* part = GMIME_PART(object);
      const char* filename = g_mime_part_get_filename(part);
      const char* disposition = g_mime_object_get_disposition(object);
      bool attached = (filename != nullptr && *filename != '\0') ||
                      (disposition != nullptr &&
                       strcasecmp(disposition, "attachment") == 0);
      if (!attached) return;
      found.push_back({Name(filename, object), DecodedContent(part)});
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

  int nameless_ = 0;
};

}  // namespace

std::vector<Attachment> FindAttachments(const std::string& message) {
  Ref<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(
      message.data(), message.size()));
  Ref<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
  Ref<GMimeMessage> parsed(g_mime_parser_construct_message(parser.get(), nullptr));
  if (!parsed) return {};
  GMimeObject* body = g_mime_message_get_mime_part(parsed.get());
  if (body == nullptr) return {};
  Finder finder;
  finder.Walk(body, std::string_view(message));
  return std::move(finder.found);
}

}  // namespace getmail
