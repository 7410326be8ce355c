// Reading lines from a plain connection through a LineReader, against a
// local sender.
#include "tools/getmail/Connection.h"
#include "tools/getmail/LineReader.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <thread>

#include "Pop3Tap.h"

namespace getmail {
namespace {

// Listens on a loopback port; Send() accepts one client and writes `data` to
// it in pieces of `piece` bytes, each after the client has written one byte
// to say it has taken in the one before, then closes the connection. So each
// read of the client's gets one piece, ending where the piece ends.
class Sender {
 public:
  Sender() { listener_ = harness::ListenOnLoopback(port_); }
  ~Sender() {
    shutdown(listener_, SHUT_RDWR);  // ends an accept() still waiting
    if (thread_.joinable()) thread_.join();
    close(listener_);
  }
  int port() const { return port_; }
  void Send(std::string data, std::size_t piece) {
    thread_ = std::thread([this, data = std::move(data), piece] {
      int client = accept(listener_, nullptr, nullptr);
      for (std::size_t pos = 0; client >= 0 && pos < data.size(); pos += piece) {
        char ack;
        std::size_t size = std::min(piece, data.size() - pos);
        if ((pos > 0 && recv(client, &ack, 1, 0) != 1) ||
            send(client, data.data() + pos, size, MSG_NOSIGNAL) != static_cast<ssize_t>(size)) {
          break;
        }
      }
      if (client >= 0) close(client);
    });
  }

 private:
  int listener_ = -1;
  int port_ = 0;
  std::thread thread_;
};

constexpr std::size_t kNoLimit = 1 << 30;

TEST(LineReader, ReadsLinesWithABufferThatOnlyGrowsForLongLines) {
  // A long stream of short lines in pieces that do not end at line ends:
  // the buffer keeps its first size however much passes through it.
  std::string line(99, 'x');
  line += "\r\n";
  const std::size_t kPiece = 4001;
  const std::size_t kLines = 4000;
  std::string stream;
  for (std::size_t k = 0; k < kLines; ++k) stream += line;
  // Then one line longer than the buffer.
  const std::string longLine = std::string(300 * 1024, 'y') + "\r\n";
  stream += longLine + "end\r\n";

  Sender sender;
  sender.Send(stream, kPiece);
  std::unique_ptr<Connection> connection =
      Connect("127.0.0.1", sender.port(), std::chrono::seconds(30));
  LineReader reader(*connection, "local", std::chrono::seconds(30));
  const std::size_t firstSize = reader.BufferSize();
  std::size_t received = kPiece;  // bytes the sender was asked for so far
  for (std::size_t k = 0; k < kLines; ++k) {
    ASSERT_EQ(reader.ReadLine(kNoLimit), line) << "line " << k;
    // The last whole line of a piece: ask for the next piece.
    if ((k + 2) * line.size() > received) {
      connection->Write("+");
      received += kPiece;
    }
  }
  EXPECT_EQ(reader.BufferSize(), firstSize);
  // The rest without waiting for the client.
  for (; received < stream.size(); received += kPiece) connection->Write("+");
  EXPECT_EQ(reader.ReadLine(kNoLimit), longLine);
  EXPECT_GE(reader.BufferSize(), longLine.size());
  EXPECT_EQ(reader.ReadLine(kNoLimit), "end\r\n");
  EXPECT_THROW(reader.ReadLine(kNoLimit), std::exception);  // the sender has closed
}

TEST(LineReader, HandsOnALineOfAnyLengthInPartsWithoutHoldingIt) {
  const std::size_t kPart = 64 * 1024;
  struct Case {
    const char* name;
    std::string line;
  } cases[] = {
      {"3 MB", std::string(3 * 1000 * 1000, 'z') + "\r\n"},
      {"just one part", std::string(kPart - 2, 'p') + "\r\n"},
      {"one byte over a part, its CR and LF apart", std::string(kPart - 1, 'q') + "\r\n"},
      {"a bare LF", "short\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Sender sender;
    sender.Send(c.line + ".\r\n", 8 << 20);
    std::unique_ptr<Connection> connection =
        Connect("127.0.0.1", sender.port(), std::chrono::seconds(30));
    LineReader reader(*connection, "local", std::chrono::seconds(30));
    std::string whole;
    bool ended = false;
    while (!ended) {
      std::string_view part = reader.ReadLinePart(kPart, ended);
      ASSERT_FALSE(part.empty());
      ASSERT_LE(part.size(), kPart);
      EXPECT_EQ(part.find('\n'), ended ? part.size() - 1 : std::string_view::npos);
      whole += part;
      EXPECT_LE(reader.BufferSize(), 2 * kPart);
    }
    EXPECT_TRUE(whole == c.line);
    // The next line's first part holds all of a short line.
    EXPECT_EQ(reader.ReadLinePart(kPart, ended), ".\r\n");
    EXPECT_TRUE(ended);
  }
}

TEST(LineReader, ALineOverItsLimitIsRefusedBeforeItIsAllRead) {
  // Lines at and over the limit, the longest far longer than the buffer.
  const std::size_t kLimit = 100 * 1024;
  const std::string fits = std::string(kLimit - 2, 'a') + "\r\n";
  Sender sender;
  sender.Send(fits + std::string(kLimit - 1, 'b') + "\r\n", 1 << 20);
  std::unique_ptr<Connection> connection =
      Connect("127.0.0.1", sender.port(), std::chrono::seconds(30));
  LineReader reader(*connection, "local", std::chrono::seconds(30));
  EXPECT_EQ(reader.ReadLine(kLimit), fits);
  try {
    reader.ReadLine(kLimit);
    ADD_FAILURE() << "no error for a line over the limit";
  } catch (const std::exception& error) {
    EXPECT_NE(std::string(error.what()).find("longer than 102400 bytes"), std::string::npos)
        << error.what();
  }
  EXPECT_LT(reader.BufferSize(), 2 * kLimit + 128 * 1024);
}

}  // namespace
}  // namespace getmail
