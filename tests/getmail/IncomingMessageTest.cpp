// A message on its way into the mail folder, without a server: its header
// found however it arrives, and the limits on what is held in memory.
#include "tools/getmail/IncomingMessage.h"

#include <gmime/gmime.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "Corpus.h"
#include "Files.h"
#include "tools/getmail/Errors.h"
#include "tools/getmail/HeaderText.h"
#include "tools/getmail/PartLines.h"

namespace getmail {
namespace {

class IncomingMessageTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { g_mime_init(); }

  static void Feed(IncomingMessage& message, const std::string& text, std::size_t piece) {
    for (std::size_t at = 0; at < text.size(); at += piece) {
      message.Take(std::string_view(text).substr(at, piece));
    }
  }

  harness::TempFolder folder{"getmail-incoming"};
  harness::CurrentFolder inFolder{folder.path()};
};

TEST_F(IncomingMessageTest, FindsTheHeaderHoweverTheMessageArrives) {
  for (const std::string text : {"A: 1\r\nB: 2\r\n\r\nbody\r\n\r\nmore\r\n",
                                 "A: 1\nB: 2\n\nbody\n", "A: 1\n\r\nbody", "\r\nbody\r\n",
                                 "\nbody", "A: 1\r\nB: 2\r\n", "A: 1\r", ""}) {
    for (std::size_t piece : {1u, 2u, 3u, 5u, 100u}) {
      IncomingMessage message("MSG2.TXT", "Extract1-");
      Feed(message, text, piece);
      message.Complete();
      EXPECT_EQ(message.Header(), HeaderPart(text)) << "[" << text << "] in pieces of " << piece;
    }
  }
  // Nothing is left behind by a message that is not saved.
  EXPECT_TRUE(harness::ListFolder(folder.path()).empty());
}

TEST_F(IncomingMessageTest, SavesTheBodyAndEveryAttachmentHoweverTheMessageArrives) {
  const harness::CorpusMessage message = harness::Corpus()[1];  // two attachments
  for (std::size_t piece : {1u, 7u, 65536u, 1u << 24}) {
    SCOPED_TRACE(piece);
    IncomingMessage incoming("MSG2.TXT", "Extract1-");
    Feed(incoming, message.raw, piece);
    incoming.Complete();
    incoming.Save();
    EXPECT_TRUE(harness::ReadFile(folder / "MSG2.TXT") == message.raw);
    std::vector<std::string> expected = {"MSG2.TXT"};
    for (const harness::ExpectedFile& file : message.attachments) {
      expected.push_back("Extract1-" + file.name);
      EXPECT_TRUE(harness::ReadFile(folder / expected.back()) == file.data) << file.name;
      unlink(expected.back().c_str());
    }
  }
  EXPECT_EQ(harness::ListFolder(folder.path()), std::vector<std::string>{"MSG2.TXT"});
}

TEST_F(IncomingMessageTest, NoneOfAMessagesFilesStandUnlessAllDo) {
  // The second attachment's name, long as names may be, is too long for the
  // system with this prefix: saving fails after the first is in place.
  const std::string longName = std::string(176, 'n') + ".pdf";
  const std::string prefix = "Extract1-" + std::string(80, 'p') + "-";
  auto part = [](const std::string& name, const std::string& text) {
    return "--b\r\nContent-Type: application/octet-stream\r\n"
           "Content-Disposition: attachment; filename=\"" + name + "\"\r\n\r\n" + text + "\r\n";
  };
  const std::string raw = "Subject: two\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n" +
                          part("short.txt", "first") + part(longName, "second") + "--b--\r\n";
  harness::WriteFile(folder / "MSG2.TXT", "an earlier body file");
  harness::WriteFile(folder / (prefix + "old.txt"), "an earlier attachment");

  {
    IncomingMessage incoming("MSG2.TXT", prefix);
    incoming.Take(raw);
    incoming.Complete();
    EXPECT_THROW(incoming.Save(), Error);
  }
  EXPECT_EQ(harness::ListFolder(folder.path()),
            (std::vector<std::string>{prefix + "old.txt", "MSG2.TXT"}));
  EXPECT_EQ(harness::ReadFile(folder / "MSG2.TXT"), "an earlier body file");

  // With a prefix that leaves room, all of them stand.
  IncomingMessage fits("MSG2.TXT", "Extract1-");
  fits.Take(raw);
  fits.Complete();
  fits.Save();
  EXPECT_EQ(harness::ReadFile(folder / "Extract1-short.txt"), "first");
  EXPECT_EQ(harness::ReadFile(folder / ("Extract1-" + longName)), "second");
  EXPECT_TRUE(harness::ReadFile(folder / "MSG2.TXT") == raw);
}

TEST_F(IncomingMessageTest, RefusesWhatWouldTakeTooMuchMemory) {
  IncomingMessage longHeader("MSG2.TXT", "Extract1-");
  const std::string line = "X-Long: " + std::string(990, 'x') + "\r\n";
  for (std::size_t size = 0; size <= IncomingMessage::kMaxHeaderBytes; size += line.size()) {
    longHeader.Take(line);
  }
  longHeader.Take("\r\nbody\r\n");
  longHeader.Complete();
  EXPECT_THROW(longHeader.Header(), Error);

  IncomingMessage manyParts("MSG2.TXT", "Extract1-");
  manyParts.Take("Content-Type: multipart/mixed; boundary=b\r\n\r\n");
  std::string parts;
  for (long k = 0; k < IncomingMessage::kMaxDelimiterLines; ++k) parts += "--b\r\n\r\nx\r\n";
  Feed(manyParts, parts + "--b--\r\n", 4093);
  EXPECT_THROW(manyParts.Complete(), Error);

  // A part's header GMime would hold whole, in one line; the same line as
  // a part's content is taken.
  const std::string longLine(IncomingMessage::kMaxPartHeaderBytes + 1, 'Q');
  for (bool inHeader : {true, false}) {
    SCOPED_TRACE(inHeader ? "in a part's header" : "in a part's content");
    IncomingMessage message("MSG2.TXT", "Extract1-");
    Feed(message,
         "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: text/plain\r\n" +
             std::string(inHeader ? "X-Long: " : "\r\n") + longLine + "\r\n\r\nx\r\n--b--\r\n",
         1 << 20);
    if (inHeader) {
      EXPECT_THROW(message.Complete(), Error);
    } else {
      EXPECT_NO_THROW(message.Complete());
    }
  }
  // Nothing was put in place: only the two temporary files are here.
  for (const std::string& name : harness::ListFolder(folder.path())) {
    EXPECT_EQ(name.rfind(".getmail-", 0), 0u) << name;
  }
}

TEST(PartLines, CountsDelimiterLinesAndPartHeadersHoweverTheMessageArrives) {
  struct Case {
    const char* text;
    long delimiters;
    std::uint64_t headerBytes;
  } cases[] = {
      {"A: 1\r\n\r\nbody\r\n", 0, 0},
      {"pre\r\n--b\r\nX: 1\r\nY: 22\r\n\r\ncontent\r\n--b--\r\n", 2, 15},
      {"--b\nX: 1\n\nc\n--b\n\nd\n", 2, 7},
      {"-x\r\n--\r\n\r\n", 1, 2},
      {" --b\r\nX: 1\r\n", 0, 0},
      {"--b\r\nX: 1\r\n--b\r\nY: 2\r\n\r\n", 2, 14},
  };
  for (const Case& c : cases) {
    for (std::size_t piece : {1u, 2u, 3u, 100u}) {
      SCOPED_TRACE(std::string(c.text) + " in pieces of " + std::to_string(piece));
      PartLines lines;
      const std::string_view text = c.text;
      for (std::size_t at = 0; at < text.size(); at += piece) lines.Take(text.substr(at, piece));
      EXPECT_EQ(lines.delimiterLines(), c.delimiters);
      EXPECT_EQ(lines.partHeaderBytes(), c.headerBytes);
    }
  }
}

}  // namespace
}  // namespace getmail
