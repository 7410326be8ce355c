// The getmail program against a POP3 server that misbehaves on purpose. Each
// case states the exit status, which DELE was sent, whether QUIT was, and
// what is left in the folder and on the server.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <thread>

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

// Whether getmail, built as this program is, runs under AddressSanitizer.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kUnderAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kUnderAddressSanitizer = true;
#else
constexpr bool kUnderAddressSanitizer = false;
#endif
#else
constexpr bool kUnderAddressSanitizer = false;
#endif

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
  // Started through a shell that first writes its process id, which exec
  // hands on to getmail, to `pidFile`, where that is given.
  ProcessResult Getmail(HostileServer& server, std::vector<std::string> mode, Environment env = {},
                        const std::string& pidFile = "") {
    std::vector<std::string> argv = {GETMAIL_PATH, "-u", "me", "-pw", "Sesame-77", "-s",
                                     "127.0.0.1", "-port", std::to_string(server.port())};
    if (!pidFile.empty()) {
      argv.insert(argv.begin(), {"/bin/sh", "-c", "echo $$ > \"$0\"; exec \"$@\"", pidFile});
    }
    argv.insert(argv.end(), mode.begin(), mode.end());
    Environment environment = {{"QUARROW_GETMAIL_PLAINTEXT", "allow"},
                               {"QUARROW_GETMAIL_TIMEOUT", "10"},
                               {"QUARROW_GETMAIL_CAFILE", std::nullopt},
                               {"QUARROW_GETMAIL_TLS_PORTS", std::nullopt}};
    for (auto& [name, value] : env) environment[name] = value;
    return harness::RunProcess(argv, folder->path(), environment, 120);
  }
  ProcessResult HeaderRun(HostileServer& server, Environment env = {},
                          const std::string& pidFile = "") {
    return Getmail(server, {"-headersonly"}, std::move(env), pidFile);
  }
  ProcessResult Retrieve(HostileServer& server, int i, Environment env = {},
                         const std::string& pidFile = "") {
    return Getmail(server, {"-m", std::to_string(i), "-xtract", "Extract-", "-delete"},
                   std::move(env), pidFile);
  }
  // The names in the folder that begin with `start`.
  std::vector<std::string> Starting(const std::string& start) {
    std::vector<std::string> names;
    for (const std::string& name : harness::ListFolder(folder->path())) {
      if (name.rfind(start, 0) == 0) names.push_back(name);
    }
    return names;
  }
  // The temporary files in the folder.
  std::vector<std::string> TempFiles() {
    std::vector<std::string> names;
    for (const std::string& name : Starting(".getmail-")) {
      if (name.size() > 5 && name.substr(name.size() - 5) == ".part") names.push_back(name);
    }
    return names;
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
    EXPECT_EQ(harness::ListFolder(folder->path()), std::vector<std::string>{".quarrow.lock"});
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
       "more than"},
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
       false, false, "more than"},
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

// The most memory process `pid` has held so far, in KiB (VmHWM); 0 if it
// cannot be read.
long PeakMemoryKb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return 0;
}

// Whether process `pid` has ended (a zombie, or gone).
bool Ended(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  if (!std::getline(stat, text)) return true;
  std::size_t close = text.rfind(") ");
  return close == std::string::npos || text.substr(close + 2, 1) == "Z";
}

// A message as a mail client sends it: `header` lines, then `body`.
std::string RawMessage(const std::string& id, const std::vector<std::string>& header,
                       const std::string& body) {
  std::string raw = "From: a@example.org\r\nTo: me@example.org\r\nX-Corpus-Id: " + id +
                    "\r\nSubject: long lines\r\nMIME-Version: 1.0\r\n";
  for (const std::string& line : header) raw += line + "\r\n";
  return raw + "\r\n" + body;
}

// `data` in base64 on one line, as some senders write a whole attachment.
std::string Base64OneLine(const std::string& data) {
  std::string lines = harness::Base64Body(data);
  lines.erase(std::remove_if(lines.begin(), lines.end(), [](char c) { return c == '\r' || c == '\n'; }),
              lines.end());
  return lines;
}

// Lines far longer than any line limit, in the message's header and in its
// body: each message is saved, its attachment under a safe name, and then
// deleted; without ever holding a whole line in memory.
TEST_F(HostileServerTest, LinesOfAnyLengthAreFetchedAndDeleted) {
  const std::string small = harness::SomeBytes(3000, 7);
  // A file name of 1.2 MB, beyond the old line limit of 1 MiB, with
  // characters no file name may hold.
  const std::string longName = std::string(600000, 'n') + "<>:|" + std::string(600000, 'm') + ".pdf";
  const std::string disposition = "Content-Disposition: attachment; filename=\"" + longName + "\"";
  const std::string big = harness::SomeBytes(15 * 1000 * 1000, 11);  // 20 MB in base64
  struct Case {
    const char* name;
    std::string raw;
    const std::string* data;  // the attachment's content
    bool cutName;             // its name is the long one, cut
    long moreKb;  // memory it may take beyond a small message's run: a
                  // whole line held would take more
  } cases[] = {
      {"a 20 MB attachment in one base64 line",
       RawMessage("one-line", {"Content-Type: multipart/mixed; boundary=\"b1\""},
                  "--b1\r\nContent-Type: text/plain\r\n\r\nSee the file.\r\n--b1\r\n"
                  "Content-Type: application/octet-stream; name=big.bin\r\n"
                  "Content-Transfer-Encoding: base64\r\n\r\n" +
                      Base64OneLine(big) + "\r\n--b1--\r\n"),
       &big, false, 8 * 1024},
      {"a 1.2 MB Content-Disposition line in the message's header",
       RawMessage("long-header",
                  {"Content-Type: application/pdf", disposition, "Content-Transfer-Encoding: base64"},
                  harness::Base64Body(small) + "\r\n"),
       &small, true, 16 * 1024},
      {"a 1.2 MB Content-Disposition line in a part's header",
       RawMessage("long-part-header", {"Content-Type: multipart/mixed; boundary=\"b2\""},
                  "--b2\r\nContent-Type: text/plain\r\n\r\nSee the file.\r\n--b2\r\n"
                  "Content-Type: application/pdf\r\n" + disposition +
                      "\r\nContent-Transfer-Encoding: base64\r\n\r\n" + harness::Base64Body(small) +
                      "\r\n--b2--\r\n"),
       &small, true, 16 * 1024},
  };
  harness::TempFolder notes{"getmail-pid"};
  const std::string pidFile = notes / "pid";
  // getmail's own peak in a header run and a retrieval (a forked child's
  // count would include this program's), read while it waits for the reply
  // to QUIT.
  // AddressSanitizer keeps freed memory aside for a while, which would count
  // as held here: kept small, so that what counts is what getmail holds.
  Environment env;
  if (kUnderAddressSanitizer) {
    const char* options = std::getenv("ASAN_OPTIONS");
    env["ASAN_OPTIONS"] = std::string(options != nullptr && *options != '\0' ? options : "") +
                          (options != nullptr && *options != '\0' ? ":" : "") +
                          "quarantine_size_mb=1";
  }
  auto peaks = [&](HostileServer& server) -> std::pair<long, long> {
    long peakKb = 0;
    server.OnCommand([&](const std::string& command) {
      if (command == "QUIT") peakKb = PeakMemoryKb(std::atoi(harness::ReadFile(pidFile).c_str()));
    });
    ProcessResult headers = HeaderRun(server, env, pidFile);
    EXPECT_EQ(headers.status, 0) << headers.err;
    const long headerRunKb = peakKb;
    ProcessResult run = Retrieve(server, 1, env, pidFile);
    EXPECT_EQ(run.status, 0) << run.err;
    server.OnCommand(nullptr);
    return {headerRunKb, peakKb};
  };
  HostileServer smallServer({Mail("a", "ua")}, {});
  const auto [smallHeadersKb, smallKb] = peaks(smallServer);
  ASSERT_GT(smallHeadersKb, 0);
  ASSERT_GT(smallKb, 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NewFolder();
    HostileServer server({{c.raw, "u1", std::nullopt}}, {});
    const auto [headersKb, retrievalKb] = peaks(server);
    std::cout << "[ figures  ] " << c.name << ": at most " << headersKb
              << " KiB in memory in the header run, " << retrievalKb
              << " KiB in the retrieval (a small message: " << smallHeadersKb << ", " << smallKb
              << ")\n";
    EXPECT_LT(headersKb, smallHeadersKb + c.moreKb);
    EXPECT_LT(retrievalKb, smallKb + c.moreKb);
    EXPECT_EQ(Deletions(server.Sessions().back()), std::vector<std::string>{"DELE 1"});
    EXPECT_TRUE(server.Messages().empty());
    EXPECT_TRUE(Read("MSG2.TXT") == c.raw);
    std::vector<std::string> saved = Starting("Extract-");
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_TRUE(Read(saved[0]) == *c.data);
    if (c.cutName) {
      EXPECT_LE(saved[0].size(), 255u);
      EXPECT_EQ(saved[0].substr(saved[0].size() - 4), ".pdf");
      EXPECT_EQ(saved[0].find_first_of("<>:|"), std::string::npos) << saved[0];
      EXPECT_EQ(saved[0].substr(0, 12), "Extract-nnnn");
    } else {
      EXPECT_EQ(saved[0], "Extract-big.bin");
    }
    EXPECT_TRUE(TempFiles().empty());
  }
}

// A part's header GMime would hold whole, beyond the header limit in one
// line: refused, and left on the server.
TEST_F(HostileServerTest, APartHeaderBeyondTheHeaderLimitIsRefused) {
  const std::string raw = RawMessage(
      "long-part-header", {"Content-Type: multipart/mixed; boundary=\"b\""},
      "--b\r\nContent-Type: application/pdf\r\nX-Long: " + std::string(20 * 1000 * 1000, 'j') +
          "\r\nContent-Disposition: attachment; filename=a.pdf\r\n\r\nx\r\n--b--\r\n");
  HostileServer server({{raw, "u1", std::nullopt}}, {});
  ASSERT_EQ(HeaderRun(server).status, 0);
  ProcessResult run = Retrieve(server, 1);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("headers of the message's parts come to more than 8 MiB"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(Count(server.Sessions().back(), "DELE"), 0);
  EXPECT_EQ(server.Messages().size(), 1u);
  EXPECT_FALSE(Has("MSG2.TXT"));
  EXPECT_TRUE(Starting("Extract").empty());
  EXPECT_TRUE(TempFiles().empty());
}

// Stopped by a signal at a moment the server chooses: before DELE the
// session is dropped (nothing deleted, no temporary file left); once DELE
// is sent the session is finished.
TEST_F(HostileServerTest, AStopBeforeDeleLeavesTheMessageAndAfterItFinishesTheSession) {
  const harness::CorpusMessage message = harness::BigMessage("big", 300000);
  const Message mail = {message.raw, "ubig", std::nullopt};
  struct Case {
    const char* name;
    int signal;
    const char* at;  // the command at which the signal comes
    bool headerRun;
    int status;
    bool deleted;
    const char* says;
  } cases[] = {
      {"SIGTERM while the message is asked for", SIGTERM, "RETR", false, 1, false,
       "(SIGTERM): stopped; nothing was deleted"},
      {"SIGINT while the message is asked for", SIGINT, "RETR", false, 1, false,
       "(SIGINT): stopped"},
      {"SIGHUP before the message is asked for", SIGHUP, "UIDL 1", false, 1, false,
       "(SIGHUP): stopped"},
      {"SIGTERM in a header run", SIGTERM, "TOP", true, 1, false, "(SIGTERM): stopped"},
      {"SIGTERM once DELE is sent", SIGTERM, "DELE", false, 0, true, "session is finished first"},
      {"SIGINT once DELE is sent", SIGINT, "DELE", false, 0, true, "session is finished first"},
      // No stopping politely here: the next run cleans up.
      {"SIGKILL while the message is asked for", SIGKILL, "RETR", false, 128 + SIGKILL, false, ""},
  };
  harness::TempFolder notes{"getmail-pid"};
  const std::string pidFile = notes / "pid";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NewFolder();
    HostileServer server({mail}, {});
    if (!c.headerRun) {
      ASSERT_EQ(HeaderRun(server).status, 0);
    }
    unlink(pidFile.c_str());
    server.OnCommand([&](const std::string& command) {
      if (command.rfind(c.at, 0) != 0) return;
      pid_t pid = std::atoi(harness::ReadFile(pidFile).c_str());
      if (pid > 0) kill(pid, c.signal);
      // The reply is held back, so that the signal comes first: until the
      // run has ended where it ends at once, else a while.
      const auto until = std::chrono::steady_clock::now() +
                         std::chrono::milliseconds(c.deleted ? 1000 : 20000);
      while (std::chrono::steady_clock::now() < until && !Ended(pid)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    });
    ProcessResult run =
        c.headerRun ? HeaderRun(server, {}, pidFile) : Retrieve(server, 1, {}, pidFile);
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    const std::vector<std::string> commands = server.Sessions().back();
    EXPECT_EQ(Count(commands, "DELE"), c.deleted ? 1 : 0);
    EXPECT_EQ(Count(commands, "QUIT"), c.deleted ? 1 : 0);
    EXPECT_EQ(server.Messages().size(), c.deleted ? 0u : 1u);
    EXPECT_EQ(Has("Extract-big.bin"), c.deleted);
    if (c.deleted) {
      EXPECT_TRUE(Read("Extract-big.bin") == message.attachments[0].data);
    }
    if (c.headerRun) {
      EXPECT_FALSE(Has(".getmail-state"));
    }
    if (c.signal == SIGKILL) {
      // The body file's temporary file is left: the next run removes it.
      EXPECT_FALSE(TempFiles().empty());
      server.OnCommand(nullptr);
      ASSERT_EQ(HeaderRun(server).status, 0);
    }
    EXPECT_TRUE(TempFiles().empty());
  }
}

// One job at a time in a folder: a run goes ahead under the lock of the job
// that started it, or under its own; where another job holds it, it touches
// nothing. Under the lock it first removes the temporary files that killed
// runs left, and only those.
TEST_F(HostileServerTest, ARunGoesAheadOnlyUnderTheFolderLock) {
  enum Holder { kNobody, kJobHandsItDown, kAnotherJob, kAnotherJobAndAStaleVariable, kOtherFile };
  struct Case {
    const char* name;
    Holder holder;
    bool retrieval;
    int status;
  } cases[] = {
      {"nobody holds it: the run takes it", kNobody, false, 0},
      {"the job that started the run hands it down", kJobHandsItDown, false, 0},
      {"the job hands it down to a retrieval run", kJobHandsItDown, true, 0},
      {"the variable names another file: the run takes the lock", kOtherFile, false, 0},
      {"another job holds it", kAnotherJob, false, 1},
      {"another job holds it, in a retrieval run", kAnotherJob, true, 1},
      {"another job holds it, and the variable names no open file", kAnotherJobAndAStaleVariable,
       false, 1},
  };
  harness::TempFolder outside{"getmail-outside"};
  const std::string target = outside / "target.part";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NewFolder();
    HostileServer server({Mail("a", "ua")}, {});
    if (c.retrieval) {
      ASSERT_EQ(HeaderRun(server).status, 0);
    }
    // Left by killed runs: a file of ours; and under our names, a link, a
    // folder; and another program's file.
    const std::string left = ".getmail-k1ll3dbyth3.part";
    const std::string link = ".getmail-l1nk0000000.part";
    harness::WriteFile(*folder / left, "mail text");
    harness::WriteFile(target, "not ours");
    ASSERT_EQ(symlink(target.c_str(), (*folder / link).c_str()), 0);
    ASSERT_EQ(mkdir((*folder / ".getmail-f0lder00000.part").c_str(), 0700), 0);
    harness::WriteFile(*folder / "other.part", "not ours");

    // The job's lock: a descriptor that a child inherits where the job
    // hands it down, one that it does not where another job holds it.
    const bool handed = c.holder == kJobHandsItDown;
    int lock = -1;
    if (c.holder != kNobody && c.holder != kOtherFile) {
      lock = open((*folder / ".quarrow.lock").c_str(),
                  O_RDWR | O_CREAT | (handed ? 0 : O_CLOEXEC), 0600);
      ASSERT_GE(lock, 0);
      ASSERT_EQ(flock(lock, LOCK_EX | LOCK_NB), 0);
    }
    int other = -1;
    Environment env = {{"QUARROW_FOLDER_LOCK", std::nullopt}};
    if (handed) env["QUARROW_FOLDER_LOCK"] = std::to_string(lock);
    if (c.holder == kAnotherJobAndAStaleVariable) env["QUARROW_FOLDER_LOCK"] = "987";
    if (c.holder == kOtherFile) {
      other = open((outside / "other.lock").c_str(), O_RDWR | O_CREAT, 0600);
      ASSERT_GE(other, 0);
      env["QUARROW_FOLDER_LOCK"] = std::to_string(other);
    }
    const std::size_t sessions = server.Sessions().size();
    ProcessResult run = c.retrieval ? Retrieve(server, 1, env) : HeaderRun(server, env);
    if (lock >= 0) close(lock);
    if (other >= 0) close(other);

    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_EQ(Has(left), c.status != 0);
    EXPECT_TRUE(Has(link));
    EXPECT_EQ(harness::ReadFile(target), "not ours");
    EXPECT_TRUE(Has(".getmail-f0lder00000.part"));
    EXPECT_EQ(Read("other.part"), "not ours");
    EXPECT_TRUE(Has(".quarrow.lock"));
    if (c.status == 0) {
      EXPECT_EQ(server.Sessions().size(), sessions + 1);
      EXPECT_TRUE(Has(c.retrieval ? "MSG2.TXT" : "MSG1.TXT"));
    } else {
      EXPECT_NE(run.err.find("another Quarrow job is working in this folder"), std::string::npos)
          << run.err;
      EXPECT_EQ(server.Sessions().size(), sessions);  // not even connected
      EXPECT_EQ(server.Messages().size(), 1u);
      EXPECT_FALSE(Has("MSG2.TXT"));
      EXPECT_EQ(Has("MSG1.TXT"), c.retrieval);
    }
    unlink(target.c_str());
  }
}

// Every file is flushed to disk before DELE, and every flush is checked:
// where one of them fails (each in turn), the message stays on the server
// and nothing is left in the folder.
TEST_F(HostileServerTest, EveryFileIsOnDiskBeforeDele) {
  const harness::CorpusMessage message = harness::Corpus()[1];  // two attachments
  int failing = 0;
  bool deleted = false;
  for (int k = 1; k <= 10 && !deleted; ++k) {
    SCOPED_TRACE("flush " + std::to_string(k) + " of a file fails");
    NewFolder();
    HostileServer server({{message.raw, "u1", std::nullopt}}, {});
    ASSERT_EQ(HeaderRun(server).status, 0);
    ProcessResult run = Retrieve(
        server, 1, {{"LD_PRELOAD", FAIL_FILE_SYNC_PATH}, {"FAIL_FILE_SYNC_AT", std::to_string(k)}});
    const std::vector<std::string> commands = server.Sessions().back();
    if (run.status == 0) {
      // Fewer flushes than k: none failed.
      deleted = true;
      EXPECT_EQ(Deletions(commands), std::vector<std::string>{"DELE 1"});
      EXPECT_TRUE(server.Messages().empty());
      continue;
    }
    ++failing;
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("cannot flush"), std::string::npos) << run.err;
    EXPECT_EQ(Count(commands, "DELE"), 0);
    EXPECT_EQ(Count(commands, "QUIT"), 0);
    EXPECT_EQ(server.Messages().size(), 1u);
    EXPECT_FALSE(Has("MSG2.TXT"));
    EXPECT_TRUE(Starting("Extract").empty());
    EXPECT_TRUE(TempFiles().empty());
  }
  EXPECT_TRUE(deleted);
  // At least the body file and each attachment.
  EXPECT_GE(failing, 1 + static_cast<int>(message.attachments.size()));
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

// IMAP from here: the same server speaking IMAP, found by the protocol's
// variable on its port.

Message Numbered(const std::string& id, int uid) {
  return {harness::TextMessage(id, "note " + id).raw, std::to_string(uid), std::nullopt};
}

HostileServer::Options ImapOptions(std::vector<std::string> capabilities =
                                       HostileServer::ImapCapabilities()) {
  HostileServer::Options options;
  options.capabilities = std::move(capabilities);
  options.imap = true;
  return options;
}

// The command lines of a session without their tags.
std::vector<std::string> Untagged(const std::vector<std::string>& commands) {
  std::vector<std::string> bare;
  for (const std::string& command : commands) bare.push_back(command.substr(command.find(' ') + 1));
  return bare;
}

// The ids of the messages in `folder` ("" INBOX), and whether each is
// flagged \Deleted ("b*").
std::vector<std::string> Box(const std::vector<Message>& messages, const std::string& folder = "") {
  std::vector<std::string> ids;
  for (const Message& message : messages) {
    if (message.folder == folder) ids.push_back(CorpusId(message.raw) + (message.deleted ? "*" : ""));
  }
  return ids;
}

const Environment kImap = {{"QUARROW_GETMAIL_PROTOCOL", "imap"}};

Environment ImapWith(Environment more) {
  more["QUARROW_GETMAIL_PROTOCOL"] = "imap";
  return more;
}

TEST_F(HostileServerTest, ImapSendsNoPasswordWithoutTlsUnlessAllowedNorWhereLoginIsDisabled) {
  struct Case {
    const char* name;
    std::vector<std::string> capabilities;
    const char* plainText;  // QUARROW_GETMAIL_PLAINTEXT
    int status;
    const char* says;
    const char* signIn;  // the command that signed in, if any
  } cases[] = {
      {"no STARTTLS, plain text not allowed", {"IMAP4rev1", "AUTH=PLAIN"}, "", 1,
       "QUARROW_GETMAIL_PLAINTEXT=allow", nullptr},
      {"LOGINDISABLED, no AUTH=PLAIN", {"IMAP4rev1", "LOGINDISABLED"}, "allow", 1, "LOGINDISABLED",
       nullptr},
      {"allowed: AUTHENTICATE PLAIN with its initial response", {"IMAP4rev1", "AUTH=PLAIN", "SASL-IR"},
       "allow", 0, "", "AUTHENTICATE PLAIN"},
      {"allowed: AUTHENTICATE PLAIN after the server asks", {"IMAP4rev1", "AUTH=PLAIN"}, "allow", 0,
       "", "AUTHENTICATE PLAIN"},
      {"allowed: LOGIN where no AUTH=PLAIN", {"IMAP4rev1"}, "allow", 0, "", "LOGIN \"me\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NewFolder();
    HostileServer server({Numbered("a", 1)}, ImapOptions(c.capabilities));
    ProcessResult run = HeaderRun(server, ImapWith({{"QUARROW_GETMAIL_PLAINTEXT", c.plainText}}));
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("Sesame-77"), std::string::npos);
    const std::vector<std::string> commands = Untagged(server.Sessions().back());
    int signIns = Count(commands, "AUTHENTICATE") + Count(commands, "LOGIN ");
    EXPECT_EQ(signIns, c.signIn == nullptr ? 0 : 1);
    if (c.signIn != nullptr) { EXPECT_EQ(Count(commands, c.signIn), 1); }
    EXPECT_EQ(Has("MSG1.TXT"), c.status == 0);
  }
}

// The header run reads INBOX with EXAMINE and one UID FETCH, and numbers the
// messages as the server did when the mailbox was opened, whatever it
// expunges while the headers come.
TEST_F(HostileServerTest, AnImapHeaderRunNumbersAsTheServerDidAtOpening) {
  std::vector<Message> messages = {Numbered("a", 11), Numbered("b", 12), Numbered("c", 13)};
  messages[1].deleted = true;  // flagged by another client: written like the others
  auto fetched = [&](int number, const Message& message) {
    return "* " + std::to_string(number) + " FETCH (UID " + *message.uid + " BODY[HEADER] " +
           HostileServer::Literal(HostileServer::HeaderBlock(message)) + ")\r\n";
  };
  struct Case {
    const char* name;
    std::string reply;  // to the UID FETCH; empty: the proper one
    std::vector<std::string> headers;  // of MSG1 ... MSG3 ("" for an empty file)
    std::vector<std::string> uids;
  } cases[] = {
      {"as the server has them", "", {"a", "b", "c"}, {"11", "12", "13"}},
      {"a expunged after its header came",
       fetched(1, messages[0]) + "* 1 EXPUNGE\r\n" + fetched(1, messages[1]) +
           fetched(2, messages[2]) + "$TAG OK done\r\n",
       {"a", "b", "c"}, {"11", "12", "13"}},
      {"a expunged before its header came, a new message added",
       "* 1 EXPUNGE\r\n* 3 EXISTS\r\n" + fetched(1, messages[1]) + fetched(2, messages[2]) +
           fetched(3, Numbered("new", 14)) + "* 2 FETCH (FLAGS (\\Seen))\r\n$TAG OK done\r\n",
       {"", "b", "c"}, {"", "12", "13"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NewFolder();
    HostileServer server(messages, ImapOptions());
    if (!c.reply.empty()) server.SetReply("UID FETCH", {c.reply});
    ProcessResult run = HeaderRun(server, kImap);
    ASSERT_EQ(run.status, 0) << run.err;
    for (int n = 1; n <= 3; ++n) {
      EXPECT_EQ(Read("MSG" + std::to_string(n) + ".TXT").find("note " + c.headers[n - 1]) !=
                    std::string::npos,
                !c.headers[n - 1].empty())
          << n;
    }
    EXPECT_FALSE(Has("MSG4.TXT"));
    const std::string state = Read(".getmail-state");
    EXPECT_NE(state.find("protocol imap\nmailbox INBOX\nuidvalidity 1700000001\ncount 3\n"),
              std::string::npos)
        << state;
    for (int n = 1; n <= 3; ++n) {
      const std::string& uid = c.uids[n - 1];
      std::size_t line = state.find("\n" + std::to_string(n) + " ");
      ASSERT_NE(line, std::string::npos);
      std::string mark = state.substr(line + 1, state.find('\n', line + 1) - line - 1);
      EXPECT_EQ(mark.size() > 19 ? mark.substr(19) : std::string(), uid) << mark;
    }
    EXPECT_EQ(Untagged(server.Sessions().back()),
              (std::vector<std::string>{"CAPABILITY", "AUTHENTICATE PLAIN AG1lAFNlc2FtZS03Nw==",
                                        "CAPABILITY", "EXAMINE \"INBOX\"",
                                        "UID FETCH 1:* (UID BODY.PEEK[HEADER])", "LOGOUT"}));
  }
  // A message gone before its header came is gone for the retrieval run.
  ProcessResult gone = Retrieve(*std::make_unique<HostileServer>(messages, ImapOptions()), 1, kImap);
  EXPECT_EQ(gone.status, 4) << gone.err;
}

// A retrieval run against a server without this or that, or one that
// misbehaves at each step: what it saves, what it sends, what is left.
TEST_F(HostileServerTest, AnImapRetrievalDeletesOnlyByUidAndOnlyWhatIsSaved) {
  const Message big = {harness::BigMessage("big", 200000).raw, "7", std::nullopt};
  const std::vector<Message> box = {Numbered("a", 5), big, Numbered("c", 9)};
  const std::vector<std::string> all = HostileServer::ImapCapabilities();
  const std::vector<std::string> noUidplus = {"IMAP4rev1", "AUTH=PLAIN", "SASL-IR", "MOVE"};
  const std::vector<std::string> neither = {"IMAP4rev1", "AUTH=PLAIN", "SASL-IR"};
  const std::string header = "* 2 FETCH (UID 7 BODY[] {" + std::to_string(big.raw.size());
  const std::string half = big.raw.substr(0, big.raw.size() / 2);
  struct Case {
    const char* name;
    std::vector<std::string> capabilities;
    const char* moveTo;       // QUARROW_GETMAIL_IMAP_MOVE_TO
    const char* command;      // whose reply is replaced, if any
    Reply reply;
    int status;
    bool saved;
    std::vector<std::string> sent;    // the commands after the body's UID FETCH
    std::vector<std::string> inbox;   // left in INBOX ("*": flagged \Deleted)
    std::vector<std::string> archive; // in Archive
    const char* says;
  } cases[] = {
      {"deleted with UIDPLUS", all, nullptr, nullptr, {}, 0, true,
       {"UID STORE 7 +FLAGS.SILENT (\\Deleted)", "UID EXPUNGE 7", "LOGOUT"}, {"a", "c"}, {}, ""},
      {"without UIDPLUS: flagged, and said so", noUidplus, nullptr, nullptr, {}, 0, true,
       {"UID STORE 7 +FLAGS.SILENT (\\Deleted)", "LOGOUT"}, {"a", "big*", "c"}, {},
       "offers no UIDPLUS"},
      {"moved with MOVE", all, "Archive", nullptr, {}, 0, true,
       {"UID MOVE 7 \"Archive\"", "LOGOUT"}, {"a", "c"}, {"big"}, ""},
      {"moved without MOVE", {"IMAP4rev1", "AUTH=PLAIN", "SASL-IR", "UIDPLUS"}, "Archive", nullptr,
       {}, 0, true,
       {"UID COPY 7 \"Archive\"", "UID STORE 7 +FLAGS.SILENT (\\Deleted)", "UID EXPUNGE 7",
        "LOGOUT"},
       {"a", "c"}, {"big"}, ""},
      {"moved with neither MOVE nor UIDPLUS", neither, "Archive", nullptr, {}, 0, true,
       {"UID COPY 7 \"Archive\"", "UID STORE 7 +FLAGS.SILENT (\\Deleted)", "LOGOUT"},
       {"a", "big*", "c"}, {"big"}, "offers no UIDPLUS"},
      {"a move to a mailbox that is not there", all, "Nowhere", nullptr, {}, 5, true,
       {"UID MOVE 7 \"Nowhere\""}, {"a", "big", "c"}, {}, "may still be on the server"},
      {"STORE answered NO", all, nullptr, "UID STORE", {"$TAG NO [CANNOT] read-only\r\n"}, 1, true,
       {"UID STORE 7 +FLAGS.SILENT (\\Deleted)"}, {"a", "big", "c"}, {}, "nothing was deleted"},
      {"UID EXPUNGE answered NO", all, nullptr, "UID EXPUNGE", {"$TAG NO not now\r\n"}, 5, true,
       {"UID STORE 7 +FLAGS.SILENT (\\Deleted)", "UID EXPUNGE 7"}, {"a", "big*", "c"}, {},
       "may still be on the server"},
      {"the literal longer than RFC822.SIZE", all, nullptr, "UID FETCH 7 (UID BODY.PEEK[])",
       {"* 2 FETCH (UID 7 BODY[] {" + std::to_string(big.raw.size() + 10) + "}\r\n" + big.raw +
        "0123456789)\r\n$TAG OK done\r\n"},
       1, false, {}, {"a", "big", "c"}, {}, "left on the server"},
      {"more bytes than the literal announced", all, nullptr, "UID FETCH 7 (UID BODY.PEEK[])",
       {header + "}\r\n" + big.raw + "EXTRA)\r\n$TAG OK done\r\n"}, 1, false, {},
       {"a", "big", "c"}, {}, "sent"},
      {"fewer bytes than the literal announced", all, nullptr, "UID FETCH 7 (UID BODY.PEEK[])",
       {header + "}\r\n" + half + ")\r\n$TAG OK done\r\n"}, 1, false, {}, {"a", "big", "c"}, {},
       "within"},
      {"BYE in the middle of the message", all, nullptr, "UID FETCH 7 (UID BODY.PEEK[])",
       {header + "}\r\n" + half + "\r\n* BYE going down\r\n", "", 0, 0, true}, 1, false, {},
       {"a", "big", "c"}, {}, "closed the connection"},
      {"BYE after the message, before the completion", all, nullptr,
       "UID FETCH 7 (UID BODY.PEEK[])",
       {header + "}\r\n" + big.raw + ")\r\n* BYE going down\r\n", "", 0, 0, true}, 1, false, {},
       {"a", "big", "c"}, {}, "ended the session (BYE): going down"},
      {"the message trickled a byte every 2 s", all, nullptr, "UID FETCH 7 (UID BODY.PEEK[])",
       {header + "}\r\n" + big.raw + ")\r\n$TAG OK done\r\n", "", 1, 2000}, 1, false, {},
       {"a", "big", "c"}, {}, "too slowly"},
      {"untagged responses without end", all, nullptr, "UID FETCH 7 (UID BODY.PEEK[])",
       {"", "* 3 EXISTS\r\n"}, 1, false, {}, {"a", "big", "c"}, {}, "untagged responses"},
      {"an EXPUNGE of another message during the fetch", all, nullptr,
       "UID FETCH 7 (UID BODY.PEEK[])",
       {"* 1 EXPUNGE\r\n* 1 FETCH (UID 7 BODY[] " + HostileServer::Literal(big.raw) +
        ")\r\n* 1 FETCH (FLAGS (\\Seen))\r\n$TAG OK done\r\n"},
       0, true, {"UID STORE 7 +FLAGS.SILENT (\\Deleted)", "UID EXPUNGE 7", "LOGOUT"}, {"a", "c"},
       {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NewFolder();
    HostileServer server(box, ImapOptions(c.capabilities));
    ASSERT_EQ(HeaderRun(server, kImap).status, 0);
    if (c.command != nullptr) server.SetReply(c.command, c.reply);
    Environment env = ImapWith({{"QUARROW_GETMAIL_TIMEOUT", "3"}});
    if (c.moveTo != nullptr) env["QUARROW_GETMAIL_IMAP_MOVE_TO"] = c.moveTo;
    ProcessResult run = Retrieve(server, 2, env);
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    EXPECT_LT(run.maxRssKb, kMemoryBoundKb);
    std::vector<std::string> commands = Untagged(server.Sessions().back());
    auto body = std::find(commands.begin(), commands.end(), "UID FETCH 7 (UID BODY.PEEK[])");
    ASSERT_NE(body, commands.end());
    EXPECT_EQ(std::vector<std::string>(body + 1, commands.end()), c.sent);
    EXPECT_EQ(Count(commands, "SELECT"), 1);
    EXPECT_EQ(Count(commands, "EXPUNGE") + Count(commands, "CLOSE"), 0);  // never plainly
    EXPECT_EQ(Has("MSG4.TXT"), c.saved);
    if (c.saved) { EXPECT_TRUE(Read("MSG4.TXT") == big.raw); }
    EXPECT_EQ(Has("Extract-big.bin"), c.saved);
    EXPECT_EQ(Box(server.Messages()), c.inbox);
    EXPECT_EQ(Box(server.Messages(), "Archive"), c.archive);
  }
}

// Between the two runs the mailbox changes behind the tool's back.
TEST_F(HostileServerTest, AnImapRetrievalFindsItsMessageByUidOrNotAtAll) {
  struct Case {
    const char* name;
    bool aExpunged;         // by another client: "b" is number 1 now
    bool bExpunged;
    bool rebuilt;           // UIDVALIDITY changed
    int status;
    const char* says;
  } cases[] = {
      {"found by its UID after another is expunged", true, false, false, 0, ""},
      {"its UID gone", false, true, false, 4, "no longer on the server"},
      {"UIDVALIDITY changed", false, false, true, 4, "UIDVALIDITY has changed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NewFolder();
    HostileServer server({Numbered("a", 1), Numbered("b", 2), Numbered("c", 3)}, ImapOptions());
    ASSERT_EQ(HeaderRun(server, kImap).status, 0);
    std::vector<Message> now = server.Messages();
    if (c.bExpunged) now.erase(now.begin() + 1);
    if (c.aExpunged) now.erase(now.begin());
    server.SetMessages(now);
    if (c.rebuilt) server.SetUidValidity(1700000002);
    ProcessResult run = Retrieve(server, 2, kImap);
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    const std::vector<std::string> commands = Untagged(server.Sessions().back());
    EXPECT_EQ(Count(commands, "UID STORE"), c.status == 0 ? 1 : 0);
    EXPECT_EQ(Has("MSG4.TXT"), c.status == 0);
    if (c.status == 0) { EXPECT_EQ(CorpusId(Read("MSG4.TXT")), "b"); }
    std::vector<std::string> left = Box(now);
    if (c.status == 0) left.erase(std::find(left.begin(), left.end(), "b"));
    EXPECT_EQ(Box(server.Messages()), left);
  }
}

}  // namespace
