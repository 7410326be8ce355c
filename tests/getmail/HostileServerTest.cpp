// The getmail program against a POP3 server that misbehaves on purpose. Each
// case states the exit status, which DELE was sent, whether QUIT was, and
// what is left in the folder and on the server.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "Corpus.h"
#include "Files.h"
#include "HostileServer.h"
#include "Process.h"

namespace {

using harness::HostileServer;
using harness::ProcessResult;
using Message = HostileServer::Message;
using Reply = HostileServer::Reply;
using Environment = std::map<std::string, std::optional<std::string>>;

// The most memory a run may take, in KiB, however much a server sends: a
// few times what getmail needs, with room for a sanitizer build.
constexpr long kMemoryBoundKb = 256 * 1024;

// The value of "X-Corpus-Id:" in a message.
std::string CorpusId(const std::string& message) {
  std::size_t at = message.find("X-Corpus-Id: ");
  if (at == std::string::npos) return "";
  at += 13;
  return message.substr(at, message.find_first_of("\r\n", at) - at);
}

Message Mail(const std::string& id, std::optional<std::string> uid) {
  return {harness::TextMessage(id, "note " + id).raw, std::move(uid), std::nullopt};
}

std::vector<std::string> IdsOf(const std::vector<Message>& messages) {
  std::vector<std::string> ids;
  for (const Message& message : messages) ids.push_back(CorpusId(message.raw));
  return ids;
}

int Count(const std::vector<std::string>& commands, const std::string& verb) {
  return static_cast<int>(std::count_if(commands.begin(), commands.end(), [&](const std::string& c) {
    return c.rfind(verb, 0) == 0;
  }));
}

std::vector<std::string> Deletions(const std::vector<std::string>& commands) {
  std::vector<std::string> deletions;
  for (const std::string& command : commands) {
    if (command.rfind("DELE", 0) == 0) deletions.push_back(command);
  }
  return deletions;
}

class HostileServerTest : public ::testing::Test {
 protected:
  std::unique_ptr<harness::TempFolder> folder = std::make_unique<harness::TempFolder>("getmail-hostile");

  void NewFolder() {
    folder.reset();
    folder = std::make_unique<harness::TempFolder>("getmail-hostile");
  }

  // Runs getmail in the folder against `server`, in plain text unless `env`
  // says otherwise.
  ProcessResult Getmail(HostileServer& server, std::vector<std::string> mode, Environment env = {}) {
    std::vector<std::string> argv = {GETMAIL_PATH, "-u", "me", "-pw", "Sesame-77", "-s",
                                     "127.0.0.1", "-port", std::to_string(server.port())};
    argv.insert(argv.end(), mode.begin(), mode.end());
    Environment environment = {{"QUARROW_GETMAIL_PLAINTEXT", "allow"},
                               {"QUARROW_GETMAIL_TIMEOUT", "10"},
                               {"QUARROW_GETMAIL_CAFILE", std::nullopt},
                               {"QUARROW_GETMAIL_TLS_PORTS", std::nullopt}};
    for (auto& [name, value] : env) environment[name] = value;
    return harness::RunProcess(argv, folder->path(), environment, 120);
  }
  ProcessResult HeaderRun(HostileServer& server, Environment env = {}) {
    return Getmail(server, {"-headersonly"}, std::move(env));
  }
  ProcessResult Retrieve(HostileServer& server, int i, Environment env = {}) {
    return Getmail(server, {"-m", std::to_string(i), "-xtract", "Extract-", "-delete"},
                   std::move(env));
  }
  bool Has(const std::string& name) { return harness::Exists(*folder / name); }
  std::string Read(const std::string& name) { return harness::ReadFile(*folder / name); }
};

TEST_F(HostileServerTest, NoPasswordGoesWithoutTlsUnlessAllowed) {
  struct Case {
    const char* name;
    std::vector<std::string> capabilities;
    bool capaRefused;
  } cases[] = {
      {"no STLS offered", {"TOP", "UIDL", "USER"}, false},
      {"only SASL PLAIN, no STLS", {"TOP", "UIDL", "SASL PLAIN"}, false},
      {"CAPA refused, as when a man in the middle strips STLS", {}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NewFolder();
    HostileServer server({Mail("a", "ua")}, {c.capabilities, c.capaRefused});
    // Unset, as most users have it, and every value but the one that allows.
    for (const std::optional<std::string>& value :
         {std::optional<std::string>(), std::optional<std::string>(""),
          std::optional<std::string>("yes"), std::optional<std::string>("ALLOW")}) {
      SCOPED_TRACE(value ? "QUARROW_GETMAIL_PLAINTEXT=" + *value : "unset");
      ProcessResult refused = HeaderRun(server, {{"QUARROW_GETMAIL_PLAINTEXT", value}});
      EXPECT_EQ(refused.status, 1);
      EXPECT_NE(refused.err.find("plain text"), std::string::npos) << refused.err;
      EXPECT_NE(refused.err.find("QUARROW_GETMAIL_PLAINTEXT=allow"), std::string::npos);
      EXPECT_EQ(server.Sessions().back(), std::vector<std::string>{"CAPA"});
    }
    EXPECT_TRUE(harness::ListFolder(folder->path()).empty());
    // Allowed: the login goes, in plain text.
    ProcessResult allowed = HeaderRun(server);
    EXPECT_EQ(allowed.status, 0) << allowed.err;
    EXPECT_TRUE(Has("MSG1.TXT"));
    EXPECT_EQ(Count(server.Sessions().back(), "USER") + Count(server.Sessions().back(), "AUTH"), 1);
  }
}

// Messages a, b, c; a header run; then, in most cases, "a" is deleted by
// another mail client, so number 2 holds "c". Message 2 of the header run is
// "b": it must be fetched and deleted wherever it is now, and "c" never.
TEST_F(HostileServerTest, AServerThatEchoesTheLoginNeverShowsThePassword) {
  // "\0me\0Sesame-77" in base64: what AUTH PLAIN sends.
  const std::string plain = "AG1lAFNlc2FtZS03Nw==";
  struct Case {
    const char* name;
    std::vector<std::string> capabilities;
    const char* command;
    std::string reply;
  } cases[] = {
      {"PASS echoed", {"TOP", "UIDL", "USER"}, "PASS", "-ERR unknown command: PASS Sesame-77\r\n"},
      {"PASS echoed past where the text is cut", {"TOP", "UIDL", "USER"}, "PASS",
       "-ERR " + std::string(110, '.') + " PASS Sesame-77\r\n"},
      {"AUTH PLAIN echoed", {"TOP", "UIDL", "SASL PLAIN"}, "AUTH",
       "-ERR unknown command: AUTH PLAIN " + plain + "\r\n"},
      {"the greeting names it", {"TOP", "UIDL", "USER"}, "", "-ERR go away, Sesame-77\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HostileServer server({Mail("a", "ua")}, {c.capabilities, false});
    server.SetReply(c.command, Reply(c.reply));
    ProcessResult run = HeaderRun(server);
    EXPECT_NE(run.status, 0);
    EXPECT_EQ(run.err.find("Sesame"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find(plain.substr(4, 12)), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("***"), std::string::npos) << run.err;
  }
}

TEST_F(HostileServerTest, NeverTheWrongMessage) {
  using Ids = std::vector<std::optional<std::string>>;
  struct Case {
    const char* name;
    Ids ids;          // of a, b, c in the header run
    bool uidl;        // the server offers UIDL
    bool aDeleted;    // "a" is deleted before the retrieval run
    Ids idsAfter;     // of b, c after that, if they change
    int status;
    const char* deletion;  // the DELE sent, if any
  } cases[] = {
      {"found by its id", {"ua", "ub", "uc"}, true, true, {}, 0, "DELE 1"},
      {"no UIDL, nothing moved", {"ua", "ub", "uc"}, false, false, {}, 0, "DELE 2"},
      {"no UIDL, number 2 is now c", {"ua", "ub", "uc"}, false, true, {}, 4, nullptr},
      {"b's id empty, nothing moved", {"ua", "", "uc"}, true, false, {}, 0, "DELE 2"},
      {"b's id empty", {"ua", "", "uc"}, true, true, {}, 4, nullptr},
      {"b left out of UIDL", {"ua", std::nullopt, "uc"}, true, true, {}, 4, nullptr},
      {"b's id far too long", {"ua", std::string(600, 'b'), "uc"}, true, true, {}, 4, nullptr},
      {"b and c share an id", {"ua", "same", "same"}, true, true, {}, 4, nullptr},
      {"ids are the message numbers", {"1", "2", "3"}, true, true, {"1", "2"}, 4, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NewFolder();
    HostileServer::Options options;
    if (!c.uidl) options.capabilities = {"TOP", "USER"};
    HostileServer server({Mail("a", c.ids[0]), Mail("b", c.ids[1]), Mail("c", c.ids[2])}, options);
    ProcessResult headers = HeaderRun(server);
    ASSERT_EQ(headers.status, 0) << headers.err;
    std::vector<Message> now = server.Messages();
    if (c.aDeleted) {
      now.erase(now.begin());
      for (std::size_t k = 0; k < c.idsAfter.size(); ++k) now[k].uid = c.idsAfter[k];
      server.SetMessages(now);
    }
    ProcessResult run = Retrieve(server, 2);
    EXPECT_EQ(run.status, c.status) << run.err;
    const std::vector<std::string> commands = server.Sessions().back();
    std::vector<std::string> left = IdsOf(now);
    if (c.deletion != nullptr) {
      EXPECT_EQ(Deletions(commands), std::vector<std::string>{c.deletion});
      EXPECT_EQ(CorpusId(Read("MSG4.TXT")), "b");
      left.erase(std::find(left.begin(), left.end(), "b"));
    } else {
      EXPECT_TRUE(Deletions(commands).empty());
      EXPECT_NE(run.err.find("no longer on the server"), std::string::npos) << run.err;
      EXPECT_FALSE(Has("MSG4.TXT"));
    }
    EXPECT_EQ(Count(commands, "QUIT"), c.status == 0 ? 1 : 0);
    EXPECT_EQ(IdsOf(server.Messages()), left);
  }
}

// Replies that would hold the header run without end, or make it take
// memory without bound: each ends the run with a message, no state file for
// a retrieval run to go by, and no QUIT.
TEST_F(HostileServerTest, AHeaderRunEndsOnRepliesWithoutBound) {
  struct Case {
    const char* name;
    const char* command;  // whose reply is replaced ("" the greeting)
    Reply reply;
    const char* timeout;  // QUARROW_GETMAIL_TIMEOUT
    const char* says;
  } cases[] = {
      {"a greeting trickled a byte every 2 s", "", {"+OK ready\r\n", "", 1, 2000}, "3",
       "too slowly"},
      {"a greeting line without end", "", {"+OK ", std::string(65536, 'x')}, "10", "longer than"},
      {"capabilities without end", "CAPA", {"+OK\r\n", "X-MORE\r\n"}, "10", "more than"},
      {"more sizes than messages", "LIST", {"+OK\r\n1 9\r\n2 9\r\n3 9\r\n4 9\r\n.\r\n"}, "10",
       "does not match"},
      {"an id for message 100000000 of 3", "UIDL", {"+OK\r\n100000000 zzz\r\n.\r\n"}, "10",
       "other messages than its 3"},
      {"ids without end", "UIDL", {"+OK\r\n", "1 again\r\n"}, "10", "other messages than its 3"},
      {"an id line without end", "UIDL", {"+OK\r\n1 ", std::string(65536, 'z')}, "10",
       "longer than"},
      {"a header without end", "TOP", {"+OK\r\n", "X-Filler: " + std::string(990, 'y') + "\r\n"},
       "10", "more than"},
      {"a header line without end", "TOP", {"+OK\r\nX-Long: ", std::string(65536, 'y')}, "10",
       "longer than"},
      {"-ERR inside the pipelined batch", "TOP 2 0", {"-ERR no such message\r\n"}, "10",
       "refused the header of message 2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NewFolder();
    HostileServer server({Mail("a", "ua"), Mail("b", "ub"), Mail("c", "uc")}, {});
    server.SetReply(c.command, c.reply);
    ProcessResult run = HeaderRun(server, {{"QUARROW_GETMAIL_TIMEOUT", c.timeout}});
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    EXPECT_LT(run.seconds, 60);
    EXPECT_LT(run.maxRssKb, kMemoryBoundKb);
    EXPECT_FALSE(Has(".getmail-state"));
    EXPECT_EQ(Count(server.Sessions().back(), "QUIT"), 0);
  }
}

// A retrieval run of one message, which the server cuts short, sends
// without end, trickles, or sends slowly but steadily, or whose size it
// counts in its own way.
TEST_F(HostileServerTest, ARetrievalDeletesOnlyAWholeMessage) {
  const Message big = {harness::BigMessage("big", 200000).raw, "ubig", std::nullopt};
  std::string bareLf;  // the same with bare LF line ends
  std::uint64_t lines = 0;
  for (char ch : big.raw) {
    if (ch != '\r') bareLf += ch;
    lines += ch == '\n';
  }
  const std::string reply = HostileServer::RetrReply(big);
  const std::string half = big.raw.substr(0, big.raw.find("\r\n", big.raw.size() / 2) + 2);
  enum Size { kTrue, kTwice, kBareLfCounted, kBareLfSent };
  struct Case {
    const char* name;
    Size size;
    const char* command;  // whose reply is replaced, if any
    Reply reply;
    const char* timeout;
    int status;
    bool deleSent, quitSent, saved;  // as the server saw it
    const char* says;
  } cases[] = {
      {"announced as twice its size", kTwice, nullptr, {}, "10", 1, false, false, false,
       "left on the server"},
      {"a final dot half way", kTrue, "RETR", {"+OK\r\n" + half + ".\r\n"}, "10", 1, false, false,
       false, "left on the server"},
      {"dropped half way", kTrue, "RETR", {reply.substr(0, reply.size() / 2), "", 0, 0, true}, "10",
       1, false, false, false, "closed the connection"},
      {"trickled a byte every 2 s", kTrue, "RETR", {reply, "", 1, 2000}, "3", 1, false, false,
       false, "too slowly"},
      {"without end", kTrue, "RETR", {"+OK\r\n", "X-Filler: y\r\n"}, "10", 1, false, false, false,
       "more than"},
      {"a line without end", kTrue, "RETR", {"+OK\r\n", std::string(65536, 'q')}, "10", 1, false,
       false, false, "longer than"},
      {"dropped at DELE", kTrue, "DELE", {"", "", 0, 0, true}, "10", 1, true, false, true,
       "closed the connection"},
      {"dropped after DELE", kTrue, "DELE", {"+OK\r\n", "", 0, 0, true}, "10", 5, true, false, true,
       "may still be on the server"},
      // These must pass.
      // Longer than the time-out in all, but never slow.
      {"slow but steady", kTrue, "RETR", {reply, "", 32768, 300}, "2", 0, true, true, true, ""},
      {"its size counted with bare LF line ends", kBareLfCounted, nullptr, {}, "10", 0, true, true,
       true, ""},
      {"sent with bare LF line ends, counted with CRLF", kBareLfSent, nullptr, {}, "10", 0, true,
       true, true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NewFolder();
    Message message = big;
    if (c.size == kTwice) message.size = 2 * big.raw.size();
    if (c.size == kBareLfCounted) message.size = big.raw.size() - lines;
    if (c.size == kBareLfSent) {
      message.raw = bareLf;
      message.size = big.raw.size();
    }
    HostileServer server({message}, {});
    ProcessResult headers = HeaderRun(server);
    ASSERT_EQ(headers.status, 0) << headers.err;
    if (c.command != nullptr) server.SetReply(c.command, c.reply);
    ProcessResult run = Retrieve(server, 1, {{"QUARROW_GETMAIL_TIMEOUT", c.timeout}});
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    EXPECT_LT(run.seconds, 60);
    EXPECT_LT(run.maxRssKb, kMemoryBoundKb);
    const std::vector<std::string> commands = server.Sessions().back();
    EXPECT_EQ(Count(commands, "DELE"), c.deleSent ? 1 : 0);
    EXPECT_EQ(Count(commands, "QUIT"), c.quitSent ? 1 : 0);
    EXPECT_EQ(Has("MSG2.TXT"), c.saved);
    if (c.saved) {
      EXPECT_TRUE(Read("MSG2.TXT") == message.raw);
      EXPECT_TRUE(Read("Extract-big.bin") == harness::BigMessage("big", 200000).attachments[0].data);
    } else {
      EXPECT_FALSE(Has("Extract-big.bin"));
    }
    // Gone from the server only when the session ended with QUIT answered.
    EXPECT_EQ(server.Messages().size(), c.status == 0 ? 0u : 1u);
  }
}

TEST_F(HostileServerTest, ADamagedStateFileEndsTheRunBeforeItConnects) {
  HostileServer server({Mail("a", "ua")}, {});
  ASSERT_EQ(HeaderRun(server).status, 0);
  std::string state = Read(".getmail-state");
  state.replace(state.find("count 1"), 7, "count 999999999");
  harness::WriteFile(*folder / ".getmail-state", state);
  ProcessResult run = Retrieve(server, 1);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("is damaged"), std::string::npos) << run.err;
  EXPECT_LT(run.maxRssKb, kMemoryBoundKb);
  EXPECT_EQ(server.Sessions().size(), 1u);  // the header run's only
}

}  // namespace
