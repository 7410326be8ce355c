// The static GMime of the Windows build: a message with base64 attachments
// named in RFC 2231 and RFC 2047 forms and in several character sets comes
// apart into the right names and byte-identical contents. The character
// sets other than UTF-8 go through GLib's built-in Windows iconv, as
// GMime's iconv-detect.h names them.
#include <gmime/gmime.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quarrow {
namespace {

struct Attachment {
  const char* disposition;  // the Content-Disposition header's value
  const char* name;         // the name GMime should give back, UTF-8
};

const Attachment kAttachments[] = {
    {"attachment; filename*=utf-8''r%C3%A9sum%C3%A9%20%E2%82%AC.pdf",
     "r\xC3\xA9sum\xC3\xA9 \xE2\x82\xAC.pdf"},
    {"attachment; filename*0*=iso-8859-15''r%E9sum%E9%20; filename*1*=%A4.txt",
     "r\xC3\xA9sum\xC3\xA9 \xE2\x82\xAC.txt"},
    {"attachment; filename*=shift_jis''%83e%83X%83g.bin",
     "\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88.bin"},
    {"attachment; filename=\"=?windows-1251?b?7vL3uPIuZG9j?=\"",
     "\xD0\xBE\xD1\x82\xD1\x87\xD1\x91\xD1\x82.doc"},
};

// Every byte value, including CR, LF, NUL and Ctrl-Z, in an order that
// differs per attachment.
std::string ContentOf(size_t index) {
  std::string bytes;
  for (size_t k = 0; k < 600; ++k)
    bytes.push_back(static_cast<char>((k * 7 + index * 31) & 0xFF));
  return bytes;
}

std::string Base64Lines(const std::string& bytes) {
  gchar* encoded = g_base64_encode(
      reinterpret_cast<const guchar*>(bytes.data()), bytes.size());
  const std::string text(encoded);
  g_free(encoded);
  std::string lines;
  for (size_t at = 0; at < text.size(); at += 76)
    lines += text.substr(at, 76) + "\r\n";
  return lines;
}

std::string MessageText() {
  std::string text =
      "From: sender@example.org\r\n"
      "To: reader@example.org\r\n"
      "Subject: =?iso-8859-15?q?Re=E7u_=A4?=\r\n"
      "MIME-Version: 1.0\r\n"
      "Content-Type: multipart/mixed; boundary=\"part-boundary\"\r\n"
      "\r\n"
      "--part-boundary\r\n"
      "Content-Type: text/plain; charset=utf-8\r\n"
      "\r\n"
      "See the attachments.\r\n";
  for (size_t i = 0; i < std::size(kAttachments); ++i) {
    text += "--part-boundary\r\n"
            "Content-Type: application/octet-stream\r\n"
            "Content-Disposition: " +
            std::string(kAttachments[i].disposition) +
            "\r\n"
            "Content-Transfer-Encoding: base64\r\n"
            "\r\n" +
            Base64Lines(ContentOf(i));
  }
  return text + "--part-boundary--\r\n";
}

std::string DecodedContent(GMimePart* part) {
  GMimeStream* stream = g_mime_stream_mem_new();
  g_mime_data_wrapper_write_to_stream(g_mime_part_get_content(part), stream);
  GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream));
  std::string content(reinterpret_cast<const char*>(bytes->data), bytes->len);
  g_object_unref(stream);
  return content;
}

class GMimeStatic : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { g_mime_init(); }

  void SetUp() override {
    const std::string text = MessageText();
    GMimeStream* stream =
        g_mime_stream_mem_new_with_buffer(text.data(), text.size());
    GMimeParser* parser = g_mime_parser_new_with_stream(stream);
    message_ = g_mime_parser_construct_message(parser, nullptr);
    g_object_unref(parser);
    g_object_unref(stream);
  }

  void TearDown() override {
    if (message_) g_object_unref(message_);
  }

  GMimeMessage* message_ = nullptr;
};

TEST_F(GMimeStatic, DecodesTheSubjectThroughIconv) {
  ASSERT_NE(message_, nullptr);
  EXPECT_STREQ(g_mime_message_get_subject(message_), "Re\xC3\xA7u \xE2\x82\xAC");
}

TEST_F(GMimeStatic, GivesEachAttachmentItsNameAndExactBytes) {
  ASSERT_NE(message_, nullptr);
  GMimeObject* body = g_mime_message_get_mime_part(message_);
  ASSERT_TRUE(GMIME_IS_MULTIPART(body));
  GMimeMultipart* multipart = GMIME_MULTIPART(body);
  ASSERT_EQ(g_mime_multipart_get_count(multipart),
            1 + static_cast<int>(std::size(kAttachments)));
  for (size_t i = 0; i < std::size(kAttachments); ++i) {
    SCOPED_TRACE(kAttachments[i].disposition);
    GMimeObject* object = g_mime_multipart_get_part(multipart, 1 + static_cast<int>(i));
    ASSERT_TRUE(GMIME_IS_PART(object));
    GMimePart* part = GMIME_PART(object);
    const char* name = g_mime_part_get_filename(part);
    EXPECT_STREQ(name ? name : "(none)", kAttachments[i].name);
    EXPECT_EQ(DecodedContent(part), ContentOf(i));
  }
}

}  // namespace
}  // namespace quarrow
