// The attachments of every corpus message, found without a server.
#include "tools/getmail/Attachments.h"

#include <gmime/gmime.h>
#include <gtest/gtest.h>

#include "Corpus.h"

namespace getmail {
namespace {

struct Attachment {
  std::string name;
  std::string data;
};

// The attachments of `message`, each written into memory.
std::vector<Attachment> FindAttachments(const std::string& message) {
  GMimeStream* in = g_mime_stream_mem_new_with_buffer(message.data(), message.size());
  std::vector<Attachment> found;
  getmail::FindAttachments(in, [&found](const std::string& name, const ContentWriter& write) {
    GMimeStream* out = g_mime_stream_mem_new();
    EXPECT_TRUE(write(out)) << name;
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out));
    found.push_back({name, std::string(reinterpret_cast<const char*>(bytes->data), bytes->len)});
    g_object_unref(out);
  });
  g_object_unref(in);
  return found;
}

class AttachmentsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { g_mime_init(); }
};

TEST_F(AttachmentsTest, FindsEveryCorpusAttachmentDecodedAndNamed) {
  for (const harness::CorpusMessage& message : harness::Corpus()) {
    SCOPED_TRACE(message.id);
    std::vector<Attachment> found = FindAttachments(message.raw);
    ASSERT_EQ(found.size(), message.attachments.size());
    for (std::size_t k = 0; k < found.size(); ++k) {
      // Names here are before duplicates are numbered ("DUP.txt" is
      // "DUP-2.txt" only once saved beside "dup.txt").
      std::string expected = message.attachments[k].name;
      if (expected == "DUP-2.txt") expected = "DUP.txt";
      EXPECT_EQ(found[k].name, expected);
      EXPECT_TRUE(found[k].data == message.attachments[k].data) << found[k].name;
    }
  }
}

TEST_F(AttachmentsTest, AWholeMessageThatIsAnAttachmentCounts) {
  std::string message =
      "Subject: x\r\nMIME-Version: 1.0\r\nContent-Type: application/pdf\r\n"
      "Content-Disposition: attachment; filename=only.pdf\r\n"
      "Content-Transfer-Encoding: base64\r\n\r\nAAEC\r\n";
  std::vector<Attachment> found = FindAttachments(message);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].name, "only.pdf");
  EXPECT_EQ(found[0].data, std::string("\x00\x01\x02", 3));
}

TEST_F(AttachmentsTest, InlineTextWithoutANameIsTheBodyNotAnAttachment) {
  EXPECT_TRUE(FindAttachments("Subject: x\r\n\r\nJust text.\r\n").empty());
  EXPECT_TRUE(FindAttachments("").empty());
  EXPECT_TRUE(FindAttachments("garbage without a header").empty());
}

TEST_F(AttachmentsTest, NamedAttachedMessagesEndInEml) {
  std::string message =
      "Subject: x\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n"
      "--b\r\nContent-Type: message/rfc822; name=\"Re: plans\"\r\n\r\n"
      "Subject: plans\r\n\r\nInner.\r\n"
      "--b\r\nContent-Type: message/rfc822\r\n"
      "Content-Disposition: attachment; filename=old.eml\r\n\r\n"
      "Subject: old\r\n\r\nOld.\r\n--b--\r\n";
  std::vector<Attachment> found = FindAttachments(message);
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].name, "Re_ plans.eml");
  // The line break before a delimiter belongs to the delimiter.
  EXPECT_EQ(found[0].data, "Subject: plans\r\n\r\nInner.");
  EXPECT_EQ(found[1].name, "old.eml");
}

TEST_F(AttachmentsTest, AnAttachedMessageUnderATransferEncodingIsSavedDecoded) {
  const std::string inner = "Subject: inner\r\n\r\nInner body.\r\n";
  std::string message =
      "Subject: x\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n"
      "--b\r\nContent-Type: text/plain\r\n\r\nHello.\r\n"
      // No disposition and no name.
      "--b\r\nContent-Type: message/rfc822\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
      harness::Base64Body(inner) +
      "\r\n--b\r\nContent-Type: message/rfc822; name=fwd\r\n"
      "Content-Transfer-Encoding: quoted-printable\r\n\r\n"
      "Subject: =3D\r\n\r\nx\r\n--b--\r\n";
  std::vector<Attachment> found = FindAttachments(message);
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].name, "attachment1.eml");
  EXPECT_EQ(found[0].data, inner);
  EXPECT_EQ(found[1].name, "fwd.eml");
  EXPECT_EQ(found[1].data, "Subject: =\r\n\r\nx");
}

TEST_F(AttachmentsTest, AnAttachedMessageIsCopiedByteForByteFromItsPlace) {
  // Odd line ends and a long line, which GMime would write out otherwise.
  const std::string inner = "Subject:  odd\n\nbody\r\n" + std::string(70000, 'x') + "\n.end";
  std::string message =
      "Subject: x\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
      "preamble\r\n--b\r\nContent-Type: multipart/mixed; boundary=c\r\n\r\n"
      "--c\r\nContent-Type: message/rfc822\r\n\r\n" + inner +
      "\r\n--c--\r\n--b--  \r\n";
  std::vector<Attachment> found = FindAttachments(message);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].name, "attachment1.eml");
  EXPECT_TRUE(found[0].data == inner);
}

}  // namespace
}  // namespace getmail
