// How IMAP responses are read: tokens across literals, quoted strings and
// bracketed names; what is refused, within which bounds; and mailbox names
// as IMAP sends them.
#include "tools/getmail/ImapReader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "../fuzz/ScriptedConnection.h"
#include "tools/getmail/Errors.h"
#include "tools/getmail/ImapSession.h"

namespace getmail {
namespace {

using Kind = ImapReader::Kind;

// Reads `server` from the start, as one response after the other, and
// writes what it read as one text: "A:atom", "Q:quoted", "L:literal's
// text", "(", ")", and "$" at each response's end. Literals are taken as
// text up to 1,000 bytes, or with `skip` skipped.
std::string Tokens(const std::string& server, int responses = 1, bool skip = false) {
  fuzz::ScriptedConnection connection(server);
  LineReader lines(connection, "imap.example.org", std::chrono::seconds(5));
  ImapReader reader(lines, "imap.example.org");
  std::string seen;
  for (int r = 0; r < responses; ++r) {
    reader.Begin();
    for (;;) {
      ImapReader::Token token = reader.Next();
      if (!seen.empty()) seen += ' ';
      if (token.kind == Kind::kEnd) {
        seen += '$';
        break;
      }
      switch (token.kind) {
        case Kind::kAtom: seen += "A:" + token.text; break;
        case Kind::kQuoted: seen += "Q:" + token.text; break;
        case Kind::kLiteral:
          seen += "L:" + (skip ? std::string() : reader.LiteralText(1000, "a test"));
          break;
        case Kind::kOpen: seen += '('; break;
        case Kind::kClose: seen += ')'; break;
        case Kind::kEnd: break;
      }
    }
  }
  return seen;
}

TEST(ImapReader, ReadsTokensAcrossLiteralsAndLines) {
  struct Case {
    const char* name;
    std::string server;
    int responses;
    std::string tokens;
  } cases[] = {
      {"a header literal inside a FETCH",
       "* 1 FETCH (UID 5 BODY[HEADER] {6}\r\nab\r\nc\n)\r\n", 1,
       "A:* A:1 A:FETCH ( A:UID A:5 A:BODY[HEADER] L:ab\r\nc\n ) $"},
      {"a non-synchronizing literal and an empty one", "* X {3+}\r\nabc {0}\r\n\r\n", 1,
       "A:* A:X L:abc L: $"},
      {"a literal that ends the response", "* 2 FETCH (BODY[] {3}\r\nabc)\r\n", 1,
       "A:* A:2 A:FETCH ( A:BODY[] L:abc ) $"},
      {"quoted strings with escapes", "* X \"a \\\"b\\\" \\\\c\" \"\"\r\n", 1,
       "A:* A:X Q:a \"b\" \\c Q: $"},
      {"a bracketed name with blanks and parentheses",
       "* 3 FETCH (BODY[HEADER.FIELDS (SUBJECT DATE)] NIL)\r\n", 1,
       "A:* A:3 A:FETCH ( A:BODY[HEADER.FIELDS (SUBJECT DATE)] A:NIL ) $"},
      {"flags and a tagged completion with a code", "* FLAGS (\\Seen \\Deleted)\r\nQ1 OK [READ-ONLY] x\r\n", 2,
       "A:* A:FLAGS ( A:\\Seen A:\\Deleted ) $ A:Q1 A:OK A:[READ-ONLY] A:x $"},
      {"bare LF line ends", "* 1 EXISTS\n* 1 EXPUNGE\n", 2, "A:* A:1 A:EXISTS $ A:* A:1 A:EXPUNGE $"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Tokens(c.server, c.responses), c.tokens);
  }
}

TEST(ImapReader, RefusesWhatIsNoImapOrBeyondItsBounds) {
  const std::string longLine = "* X " + std::string(kImapLineLimit + 10, 'x') + "\r\n";
  std::string manyLiterals = "* X";
  for (int k = 0; k < 300; ++k) manyLiterals += " {60000}\r\n" + std::string(60000, 'y');
  manyLiterals += "\r\n";
  struct Case {
    const char* name;
    std::string server;
    const char* says;
    bool skip = false;
  } cases[] = {
      {"a quoted string without its end", "* X \"abc\r\n", "quoted string without its end"},
      {"a literal with a letter in its size", "* X {12x}\r\nabc\r\n", "broken literal"},
      {"a literal not at the line's end", "* X {3} abc\r\n", "broken literal"},
      {"a literal beyond any mailbox", "* X {99999999999999999999}\r\n", "broken literal"},
      {"an unclosed bracket", "* 1 FETCH (BODY[HEADER NIL)\r\n", "unclosed"},
      {"a line without end", longLine, "longer than"},
      {"a literal longer than the caller takes", "* X {1001}\r\n" + std::string(1001, 'z'),
       "more than 1000"},
      {"a response of many literals", manyLiterals, "a response of more than", true},
      {"the connection closed inside a literal", "* X {10}\r\nabc", "closed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      Tokens(c.server, 1, c.skip);
      ADD_FAILURE() << "taken";
    } catch (const Error& error) {
      EXPECT_NE(std::string(error.what()).find(c.says), std::string::npos) << error.what();
    }
  }
}

TEST(ImapReader, StreamsALiteralInBoundedPiecesAndSkipsValues) {
  const std::string message(300000, 'm');
  const std::string server = "* 1 FETCH (FLAGS (\\Seen (a (b))) ENVELOPE {4}\r\nenvl BODY[] {" +
                             std::to_string(message.size()) + "}\r\n" + message + " UID 9)\r\n";
  fuzz::ScriptedConnection connection(server);
  LineReader lines(connection, "imap.example.org", std::chrono::seconds(5));
  ImapReader reader(lines, "imap.example.org");
  reader.Begin();
  ASSERT_TRUE(IsAtom(reader.Next(), "*"));
  reader.Next();
  reader.Next();
  std::string streamed;
  std::size_t largest = 0;
  std::uint64_t uid = 0;
  ReadFetchItems(reader, [&](const std::string& item) {
    if (item == "BODY[]") {
      ASSERT_EQ(reader.Next().kind, Kind::kLiteral);
      reader.StreamLiteral([&](std::string_view piece) {
        largest = std::max(largest, piece.size());
        streamed.append(piece.data(), piece.size());
      });
    } else if (item == "UID") {
      uid = ReadNumber(reader, 100, "a UID");
    } else {
      reader.SkipValue();
    }
  });
  EXPECT_TRUE(streamed == message);
  EXPECT_LE(largest, 64u * 1024);
  EXPECT_EQ(uid, 9u);
  EXPECT_EQ(reader.Next().kind, Kind::kEnd);

  const std::string nested = "* X " + std::string(40, '(') + std::string(40, ')') + "\r\n";
  fuzz::ScriptedConnection deep(nested);
  LineReader deepLines(deep, "imap.example.org", std::chrono::seconds(5));
  ImapReader deepReader(deepLines, "imap.example.org");
  deepReader.Begin();
  deepReader.Next();
  deepReader.Next();
  EXPECT_THROW(deepReader.SkipValue(), Error);
}

TEST(ImapMailboxName, IsModifiedUtf7InQuotes) {
  struct Case {
    std::string name;
    std::string argument;
  } cases[] = {
      {"INBOX", "\"INBOX\""},
      {"[Gmail]/Trash", "\"[Gmail]/Trash\""},
      {"Tom & Jerry", "\"Tom &- Jerry\""},
      {"a\"b\\c", "\"a\\\"b\\\\c\""},
      {"Entw\xc3\xbcrfe", "\"Entw&APw-rfe\""},
      {"~peter/mail/\xe5\x8f\xb0\xe5\x8c\x97/\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e",
       "\"~peter/mail/&U,BTFw-/&ZeVnLIqe-\""},
      {"\xf0\x9f\x93\xa7 Mail", "\"&2D3c5w- Mail\""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MailboxArgument(c.name), c.argument) << c.name;
  }
  for (const char* bad : {"\xc3", "a\xff", "\xe5\x8f"}) {
    EXPECT_THROW(MailboxArgument(bad), Error) << bad;
  }
}

}  // namespace
}  // namespace getmail
