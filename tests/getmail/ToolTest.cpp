// The getmail program against a private Dovecot: what it writes, what it
// leaves on the server, and when it deletes.
#include <fnmatch.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <regex>

#include "Corpus.h"
#include "Files.h"
#include "Pop3Tap.h"
#include "PrivateDovecot.h"
#include "Process.h"
#include "Unavailable.h"

namespace {

using harness::CorpusMessage;
using harness::ProcessResult;

harness::PrivateDovecot* server = nullptr;  // one for the whole program

// Lines of a text, without their CRLF.
std::vector<std::string> LinesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find("\r\n", pos);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(pos, end - pos));
    pos = end + 2;
  }
  return lines;
}

// The value of "X-Corpus-Id:" in a message.
std::string CorpusId(const std::string& message) {
  std::size_t at = message.find("X-Corpus-Id: ");
  if (at == std::string::npos) return "?";
  at += 13;
  return message.substr(at, message.find('\r', at) - at);
}

class ToolTest : public ::testing::Test {
 protected:
  harness::TempFolder folder{"getmail-test"};
  // Set by tests that read the session through a tap that hides STLS, so the
  // login goes in plain text.
  bool allowPlainText = false;

  // Runs getmail in the test's folder with the server's login.
  ProcessResult Getmail(const std::vector<std::string>& mode, int port,
                        std::map<std::string, std::optional<std::string>> env = {},
                        const std::string& host = "localhost",
                        const std::string& password = "") {
    std::vector<std::string> argv = {GETMAIL_PATH, "-u", server->user(), "-pw",
                                     password.empty() ? server->password() : password,
                                     "-s", host, "-port", std::to_string(port)};
    argv.insert(argv.end(), mode.begin(), mode.end());
    std::map<std::string, std::optional<std::string>> environment = server->ToolEnvironment();
    if (allowPlainText) environment["QUARROW_GETMAIL_PLAINTEXT"] = "allow";
    for (auto& [name, value] : env) environment[name] = value;
    return harness::RunProcess(argv, folder.path(), environment);
  }
  ProcessResult HeaderRun(int port) { return Getmail({"-headersonly"}, port); }
  ProcessResult Retrieve(int i, int port) {
    return Getmail({"-m", std::to_string(i), "-xtract", "Extract" + std::to_string(i) + "-",
                    "-delete"},
                   port);
  }

  // The corpus ids of the messages on the server, in order.
  std::vector<std::string> IdsOnServer() {
    std::vector<std::string> ids;
    for (const std::string& message : server->Messages()) ids.push_back(CorpusId(message));
    return ids;
  }
  static std::vector<std::string> IdsOf(const std::vector<CorpusMessage>& messages) {
    std::vector<std::string> ids;
    for (const CorpusMessage& message : messages) ids.push_back(message.id);
    return ids;
  }

  // The files in the test's folder whose names match `pattern` as Quarrow
  // matches them (without regard to case).
  std::vector<std::string> Matching(const char* pattern) {
    std::vector<std::string> names;
    for (const std::string& name : harness::ListFolder(folder.path())) {
      if (fnmatch(pattern, name.c_str(), FNM_CASEFOLD) == 0) names.push_back(name);
    }
    return names;
  }
  std::string Read(const std::string& name) { return harness::ReadFile(folder / name); }
  void RemoveExtracts() {
    for (const std::string& name : Matching("Extract*")) unlink((folder / name).c_str());
  }
};

TEST_F(ToolTest, HeaderRunWritesEveryHeaderOverStlsAndOverPop3s) {
  std::vector<CorpusMessage> corpus = harness::Corpus();
  server->SetMessages(harness::RawMessages(corpus));
  for (int port : {server->pop3Port(), server->pop3sPort()}) {
    SCOPED_TRACE("port " + std::to_string(port));
    ProcessResult run = HeaderRun(port);
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::string> expected;
    for (std::size_t n = 1; n <= corpus.size(); ++n) expected.push_back("MSG" + std::to_string(n) + ".TXT");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Matching("MSG*.TXT"), expected);
    EXPECT_TRUE(Matching("Extract*").empty());
    // Nothing else but the state file and the folder's lock file: no
    // temporary file is left.
    EXPECT_EQ(harness::ListFolder(folder.path()).size(), corpus.size() + 2);
    for (std::size_t n = 1; n <= corpus.size(); ++n) {
      const CorpusMessage& message = corpus[n - 1];
      SCOPED_TRACE(message.id);
      std::vector<std::string> lines = LinesOf(Read("MSG" + std::to_string(n) + ".TXT"));
      EXPECT_EQ(lines.size(), message.headerFieldCount);
      for (const std::string& line : message.headerLines) {
        EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line;
      }
    }
  }
  EXPECT_EQ(IdsOnServer(), IdsOf(corpus));  // a header run deletes nothing
}

TEST_F(ToolTest, StlsKeepsThePasswordOffThePlainTextSession) {
  server->SetMessages({harness::TextMessage("a", "hello").raw});
  harness::Pop3Tap::Options options;
  options.inspect = false;  // pass everything on, STLS included
  harness::Pop3Tap tap(server->pop3Port(), options);
  ProcessResult run = HeaderRun(tap.port());
  ASSERT_EQ(run.status, 0) << run.err;
  std::string sent = tap.ClientBytes();
  EXPECT_NE(sent.find("STLS\r\n"), std::string::npos);
  EXPECT_EQ(sent.find(server->password()), std::string::npos);
  EXPECT_EQ(sent.find("PASS"), std::string::npos);
}

TEST_F(ToolTest, CapabilitiesChangedBeforeStlsCountForNothing) {
  // A man in the middle hides UIDL before TLS: under TLS the tool asks again
  // and finds the message by its id, where the number now holds another.
  server->SetMessages({harness::TextMessage("a", "x").raw, harness::TextMessage("b", "x").raw,
                       harness::TextMessage("c", "x").raw});
  harness::Pop3Tap::Options options;
  options.hidden = {"UIDL"};
  harness::Pop3Tap tap(server->pop3Port(), options);
  ASSERT_EQ(HeaderRun(tap.port()).status, 0);
  EXPECT_EQ(tap.Count("STLS"), 1);
  EXPECT_TRUE(std::regex_search(Read(".getmail-state"), std::regex("\n2 [0-9a-f]{16} [^\n]+\n")))
      << Read(".getmail-state");
  server->RemoveMessageWith("X-Corpus-Id: a");
  ProcessResult run = Retrieve(2, tap.port());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(CorpusId(Read("MSG4.TXT")), "b");
  EXPECT_EQ(IdsOnServer(), std::vector<std::string>{"c"});
}

TEST_F(ToolTest, LogsInWithAuthPlainAndWorksWithoutPipeliningWhereNotOffered) {
  allowPlainText = true;
  std::vector<CorpusMessage> messages;
  for (int k = 0; k < 5; ++k) messages.push_back(harness::TextMessage("m" + std::to_string(k), "s"));
  server->SetMessages(harness::RawMessages(messages));
  harness::Pop3Tap::Options options;
  options.hidden = {"STLS", "USER", "PIPELINING"};
  harness::Pop3Tap tap(server->pop3Port(), options);
  ProcessResult run = HeaderRun(tap.port());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Matching("MSG*.TXT").size(), 5u);
  EXPECT_EQ(tap.Count("AUTH PLAIN"), 0);  // its argument is hidden
  EXPECT_EQ(tap.Count("AUTH ***"), 1);
  EXPECT_EQ(tap.Count("USER"), 0);
  EXPECT_EQ(tap.Count("TOP "), 5);
  EXPECT_EQ(tap.Count("UIDL"), 1);
  EXPECT_EQ(tap.LargestBurst(), 1);  // one command at a time, UIDL too
}

TEST_F(ToolTest, RefusesServersItCannotTrust) {
  server->SetMessages({harness::TextMessage("a", "hello").raw});
  // Its certificate is self-signed: not trusted without the CA file.
  ProcessResult untrusted =
      Getmail({"-headersonly"}, server->pop3sPort(), {{"QUARROW_GETMAIL_CAFILE", std::nullopt}});
  EXPECT_EQ(untrusted.status, 1);
  EXPECT_NE(untrusted.err.find("not trusted"), std::string::npos) << untrusted.err;
  ProcessResult untrustedStls =
      Getmail({"-headersonly"}, server->pop3Port(), {{"QUARROW_GETMAIL_CAFILE", std::nullopt}});
  EXPECT_EQ(untrustedStls.status, 1);
  // Trusted, but reached under a name it does not bear.
  harness::Pop3Tap::Options options;
  options.listenAddress = "127.0.0.2";
  options.inspect = false;
  harness::Pop3Tap tap(server->pop3sPort(), options);
  ProcessResult wrongName =
      Getmail({"-headersonly"}, tap.port(),
              {{"QUARROW_GETMAIL_TLS_PORTS", std::to_string(tap.port())}}, "127.0.0.2");
  EXPECT_EQ(wrongName.status, 1);
  EXPECT_NE(wrongName.err.find("mismatch"), std::string::npos) << wrongName.err;
  EXPECT_TRUE(Matching("MSG*.TXT").empty());
}

TEST_F(ToolTest, AWrongPasswordIsRefusedWithoutShowingIt) {
  server->SetMessages({harness::TextMessage("a", "hello").raw});
  ProcessResult run = Getmail({"-headersonly"}, server->pop3Port(), {}, "localhost", "Wr0ngPw");
  EXPECT_EQ(run.status, 3);
  EXPECT_NE(run.err.find("refused the login"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("Wr0ngPw"), std::string::npos);
  EXPECT_EQ(run.out.find("Wr0ngPw"), std::string::npos);
  EXPECT_EQ(harness::ListFolder(folder.path()), std::vector<std::string>{".quarrow.lock"});
}

TEST_F(ToolTest, ABadCommandLineGetsTheUsageAndStatus2) {
  for (std::vector<std::string> mode : {std::vector<std::string>{},
                                        {"-headersonly", "-x"},
                                        {"-m", "two", "-xtract", "E-", "-delete"}}) {
    ProcessResult run = Getmail(mode, server->pop3Port());
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("usage:"), std::string::npos);
  }
  EXPECT_TRUE(harness::ListFolder(folder.path()).empty());
}

TEST_F(ToolTest, ADeadServerEndsTheRunAfterTheTimeOut) {
  // It accepts the connection (the kernel does) but never says a word.
  int port = 0;
  int silent = harness::ListenOnLoopback(port);
  ProcessResult run = Getmail({"-headersonly"}, port, {{"QUARROW_GETMAIL_TIMEOUT", "1"}});
  close(silent);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("did not answer"), std::string::npos) << run.err;
  EXPECT_LT(run.seconds, 20);
}

TEST_F(ToolTest, ThePasswordLeavesTheProcessListOnceRead) {
  int listening = 0;
  int silent = harness::ListenOnLoopback(listening);
  std::string port = std::to_string(listening);
  pid_t pid = fork();
  if (pid == 0) {
    setenv("QUARROW_GETMAIL_TIMEOUT", "5", 1);
    execl(GETMAIL_PATH, GETMAIL_PATH, "-u", "me", "-pw", "Sesame-77", "-s", "127.0.0.1",
          "-port", port.c_str(), "-headersonly", static_cast<char*>(nullptr));
    _exit(127);
  }
  // Once getmail has connected it has read its command line.
  pollfd waiting{silent, POLLIN, 0};
  ASSERT_EQ(poll(&waiting, 1, 5000), 1);
  std::string shown = harness::ReadFile("/proc/" + std::to_string(pid) + "/cmdline");
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  close(silent);
  EXPECT_NE(shown.find("-headersonly"), std::string::npos);
  EXPECT_EQ(shown.find("Sesame-77"), std::string::npos);
}

TEST_F(ToolTest, AnEmptyMailboxGivesNoHeaderFiles) {
  server->SetMessages({});
  ProcessResult run = HeaderRun(server->pop3Port());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Matching("MSG*.TXT").empty());
  ProcessResult retrieval = Retrieve(1, server->pop3Port());
  EXPECT_EQ(retrieval.status, 4);
}

// Quarrow's body pass: from the highest number down, each message fetched,
// its files checked and taken away, as Quarrow renames them.
TEST_F(ToolTest, RetrievalSavesEachMessageAndItsAttachmentsThenDeletesIt) {
  std::vector<CorpusMessage> corpus = harness::Corpus();
  server->SetMessages(harness::RawMessages(corpus));
  ASSERT_EQ(HeaderRun(server->pop3Port()).status, 0);
  const std::string bodyName = "MSG" + std::to_string(corpus.size() + 1) + ".TXT";
  for (int i = static_cast<int>(corpus.size()); i >= 1; --i) {
    const CorpusMessage& message = corpus[i - 1];
    SCOPED_TRACE(message.id);
    ProcessResult run = Retrieve(i, server->pop3Port());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Read(bodyName) == message.raw) << "the body file differs";
    std::vector<std::string> expectedNames;
    for (const harness::ExpectedFile& file : message.attachments) {
      std::string name = "Extract" + std::to_string(i) + "-" + file.name;
      expectedNames.push_back(name);
      ASSERT_TRUE(harness::Exists(folder / name)) << name;
      EXPECT_TRUE(Read(name) == file.data) << name << " differs";
    }
    std::vector<std::string> extracts = Matching("Extract*");
    std::sort(expectedNames.begin(), expectedNames.end());
    EXPECT_EQ(extracts, expectedNames);
    RemoveExtracts();
    // Exactly message i is gone.
    std::vector<std::string> left = IdsOf(corpus);
    left.resize(i - 1);
    EXPECT_EQ(IdsOnServer(), left);
  }
  // The header files and the body file, the state and lock files, and no
  // temporary file.
  EXPECT_EQ(Matching("MSG*.TXT").size(), corpus.size() + 1);
  EXPECT_EQ(harness::ListFolder(folder.path()).size(), corpus.size() + 3);
}

TEST_F(ToolTest, RetrievalOverPop3sWorksTheSame) {
  CorpusMessage message = harness::Corpus()[1];  // two attachments
  server->SetMessages({harness::TextMessage("first", "x").raw, message.raw});
  ASSERT_EQ(HeaderRun(server->pop3sPort()).status, 0);
  ProcessResult run = Retrieve(2, server->pop3sPort());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Read("MSG3.TXT") == message.raw);
  EXPECT_TRUE(Read("Extract2-report.pdf") == message.attachments[0].data);
  EXPECT_EQ(IdsOnServer(), std::vector<std::string>{"first"});
}

TEST_F(ToolTest, RetrievalFindsItsMessageByUniqueIdWhenNumbersHaveShifted) {
  server->SetMessages({harness::TextMessage("a", "x").raw, harness::TextMessage("b", "x").raw,
                       harness::TextMessage("c", "x").raw});
  ASSERT_EQ(HeaderRun(server->pop3Port()).status, 0);
  server->RemoveMessageWith("X-Corpus-Id: a");  // another mail client took it
  ProcessResult run = Retrieve(3, server->pop3Port());  // "c", now number 2
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(CorpusId(Read("MSG4.TXT")), "c");
  EXPECT_EQ(IdsOnServer(), std::vector<std::string>{"b"});
}

TEST_F(ToolTest, WithoutUniqueIdsRetrievalGoesByTheNumber) {
  allowPlainText = true;
  // Every kind of message, so that the header each retrieval checks is seen
  // to be the one the header run read.
  std::vector<CorpusMessage> corpus = harness::Corpus();
  server->SetMessages(harness::RawMessages(corpus));
  harness::Pop3Tap::Options options;
  options.hidden = {"STLS", "UIDL"};
  harness::Pop3Tap tap(server->pop3Port(), options);
  ASSERT_EQ(HeaderRun(tap.port()).status, 0);
  // Each message noted by its header's fingerprint alone.
  EXPECT_TRUE(std::regex_search(Read(".getmail-state"), std::regex("\ncount [0-9]+\n([0-9]+ [0-9a-f]{16}\n)+$")))
      << Read(".getmail-state");
  const std::string bodyName = "MSG" + std::to_string(corpus.size() + 1) + ".TXT";
  for (int i = static_cast<int>(corpus.size()); i >= 1; --i) {
    SCOPED_TRACE(corpus[i - 1].id);
    ProcessResult run = Retrieve(i, tap.port());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Read(bodyName) == corpus[i - 1].raw);
    RemoveExtracts();
  }
  EXPECT_TRUE(IdsOnServer().empty());
  EXPECT_EQ(tap.Count("UIDL"), 0);
}

TEST_F(ToolTest, WithoutUniqueIdsAnotherMessageAtTheNumberIsLeftAlone) {
  allowPlainText = true;
  server->SetMessages({harness::TextMessage("a", "x").raw, harness::TextMessage("b", "x").raw,
                       harness::TextMessage("c", "x").raw});
  harness::Pop3Tap::Options options;
  options.hidden = {"STLS", "UIDL"};
  harness::Pop3Tap tap(server->pop3Port(), options);
  ASSERT_EQ(HeaderRun(tap.port()).status, 0);
  ASSERT_EQ(Retrieve(2, tap.port()).status, 0);
  EXPECT_EQ(CorpusId(Read("MSG4.TXT")), "b");
  // The body pass once more without a header run: number 2 is "c" now.
  ProcessResult again = Retrieve(2, tap.port());
  EXPECT_EQ(again.status, 4);
  EXPECT_NE(again.err.find("no longer on the server"), std::string::npos) << again.err;
  EXPECT_EQ(CorpusId(Read("MSG4.TXT")), "b");
  EXPECT_EQ(IdsOnServer(), (std::vector<std::string>{"a", "c"}));
  // Another mail client takes "a": number 1 is "c" now.
  server->RemoveMessageWith("X-Corpus-Id: a");
  EXPECT_EQ(Retrieve(1, tap.port()).status, 4);
  EXPECT_EQ(IdsOnServer(), std::vector<std::string>{"c"});
  EXPECT_EQ(tap.Count("DELE"), 1);
  EXPECT_EQ(tap.Count("UIDL"), 0);
}

TEST_F(ToolTest, AMessageThatIsGoneIsNeitherFetchedNorReplaced) {
  server->SetMessages({harness::TextMessage("a", "x").raw, harness::TextMessage("b", "x").raw});
  ASSERT_EQ(HeaderRun(server->pop3Port()).status, 0);
  server->RemoveMessageWith("X-Corpus-Id: b");
  ProcessResult run = Retrieve(2, server->pop3Port());  // number 2 is nobody now
  EXPECT_EQ(run.status, 4);
  EXPECT_NE(run.err.find("no longer on the server"), std::string::npos) << run.err;
  EXPECT_FALSE(harness::Exists(folder / "MSG3.TXT"));
  EXPECT_EQ(IdsOnServer(), std::vector<std::string>{"a"});
}

TEST_F(ToolTest, RetrievalWithoutAHeaderRunFetchesNothing) {
  server->SetMessages({harness::TextMessage("a", "x").raw});
  ProcessResult run = Retrieve(1, server->pop3Port());
  EXPECT_EQ(run.status, 4);
  EXPECT_EQ(harness::ListFolder(folder.path()), std::vector<std::string>{".quarrow.lock"});
  EXPECT_EQ(IdsOnServer(), std::vector<std::string>{"a"});
}

TEST_F(ToolTest, DeletesOnlyOnceTheBodyAndEveryAttachmentAreOnDisk) {
  allowPlainText = true;
  CorpusMessage message = harness::Corpus()[1];  // two attachments
  server->SetMessages({message.raw});
  bool checked = false;
  harness::Pop3Tap::Options options;
  options.onCommand = [&](const std::string& command) {
    if (command.rfind("DELE", 0) != 0) return;
    // The moment getmail asks for the deletion.
    checked = true;
    ASSERT_TRUE(harness::Exists(folder / "MSG2.TXT"));
    EXPECT_TRUE(Read("MSG2.TXT") == message.raw);
    for (const harness::ExpectedFile& file : message.attachments) {
      ASSERT_TRUE(harness::Exists(folder / ("Extract1-" + file.name))) << file.name;
      EXPECT_TRUE(Read("Extract1-" + file.name) == file.data) << file.name;
    }
  };
  harness::Pop3Tap tap(server->pop3Port(), options);
  ASSERT_EQ(HeaderRun(tap.port()).status, 0);
  std::size_t before = tap.Commands().size();
  ProcessResult run = Retrieve(1, tap.port());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(checked);
  std::vector<std::string> commands = tap.Commands();
  commands.erase(commands.begin(), commands.begin() + before);
  ASSERT_GE(commands.size(), 3u);
  EXPECT_EQ(commands[commands.size() - 3], "RETR 1");
  EXPECT_EQ(commands[commands.size() - 2], "DELE 1");
  EXPECT_EQ(commands.back(), "QUIT");
  EXPECT_TRUE(IdsOnServer().empty());
}

TEST_F(ToolTest, AttachmentsNeverReplaceFilesAlreadyInTheFolder) {
  CorpusMessage message = harness::Corpus()[1];  // report.pdf and notes.txt
  server->SetMessages({message.raw});
  ASSERT_EQ(HeaderRun(server->pop3Port()).status, 0);
  // Left by an earlier message 1, already deleted, when Quarrow stopped
  // before renaming them; the second one in another case.
  harness::WriteFile(folder / "Extract1-notes.txt", "earlier notes");
  harness::WriteFile(folder / "extract1-REPORT.PDF", "earlier report");
  ProcessResult run = Retrieve(1, server->pop3Port());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Read("Extract1-notes.txt"), "earlier notes");
  EXPECT_EQ(Read("extract1-REPORT.PDF"), "earlier report");
  EXPECT_TRUE(Read("Extract1-report-2.pdf") == message.attachments[0].data);
  EXPECT_TRUE(Read("Extract1-notes-2.txt") == message.attachments[1].data);
  EXPECT_EQ(Matching("Extract*").size(), 4u);
  EXPECT_TRUE(IdsOnServer().empty());
}

TEST_F(ToolTest, AFileThatCannotBeWrittenLeavesTheMessageOnTheServer) {
  allowPlainText = true;
  CorpusMessage message = harness::Corpus()[1];
  server->SetMessages({message.raw});
  harness::Pop3Tap tap(server->pop3Port(), {});
  ASSERT_EQ(HeaderRun(tap.port()).status, 0);
  // A folder stands where the body file must go.
  ASSERT_EQ(mkdir((folder / "MSG2.TXT").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((folder / "MSG2.TXT/x").c_str(), 0755), 0);
  ProcessResult run = Retrieve(1, tap.port());
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("MSG2.TXT"), std::string::npos) << run.err;
  EXPECT_EQ(tap.Count("DELE"), 0);
  EXPECT_EQ(IdsOnServer(), std::vector<std::string>{"two-attachments"});
  // The attachments put in place before were taken back.
  EXPECT_TRUE(Matching("Extract*").empty());
  harness::RemoveTree(folder / "MSG2.TXT");
  // With this prefix no attachment's name fits in a file name.
  const std::string prefix(250, 'E');
  run = Getmail({"-m", "1", "-xtract", prefix, "-delete"}, tap.port());
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find(prefix + "report.pdf"), std::string::npos) << run.err;
  EXPECT_FALSE(harness::Exists(folder / "MSG2.TXT"));  // none of it, as none of the rest
  EXPECT_EQ(tap.Count("DELE"), 0);
  EXPECT_EQ(IdsOnServer(), std::vector<std::string>{"two-attachments"});
  EXPECT_EQ(tap.Count("QUIT"), 1);  // the header run's only
  EXPECT_TRUE(Matching(".getmail-*.part").empty());
}

TEST_F(ToolTest, AServerStoppedInTheMiddleOfARetrievalLeavesTheMessage) {
  allowPlainText = true;
  CorpusMessage big = harness::BigMessage("big", 400000);
  server->SetMessages({harness::TextMessage("small", "x").raw, big.raw});
  harness::Pop3Tap::Options options;
  options.cutAfter = 100000;
  options.cut = [] { server->Stop(); };
  harness::Pop3Tap tap(server->pop3Port(), options);
  ASSERT_EQ(HeaderRun(tap.port()).status, 0);
  ProcessResult run = Retrieve(2, tap.port());
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("closed the connection"), std::string::npos) << run.err;
  EXPECT_EQ(tap.Count("DELE"), 0);
  EXPECT_FALSE(harness::Exists(folder / "MSG3.TXT"));
  EXPECT_TRUE(Matching("Extract*").empty());
  server->Start();
  EXPECT_EQ(IdsOnServer(), (std::vector<std::string>{"small", "big"}));
  // And the next try fetches it whole.
  ASSERT_EQ(HeaderRun(server->pop3Port()).status, 0);
  ProcessResult again = Retrieve(2, server->pop3Port());
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_TRUE(Read("MSG3.TXT") == big.raw);
  EXPECT_TRUE(Read("Extract2-big.bin") == big.attachments[0].data);
  EXPECT_EQ(IdsOnServer(), std::vector<std::string>{"small"});
}

TEST_F(ToolTest, LinksPlantedInTheFolderNeverLeadOutOfIt) {
  CorpusMessage message = harness::Corpus()[1];  // report.pdf and notes.txt
  server->SetMessages({harness::TextMessage("a", "x").raw, harness::TextMessage("b", "x").raw,
                       message.raw});
  ASSERT_EQ(HeaderRun(server->pop3Port()).status, 0);
  harness::TempFolder outside{"getmail-outside"};
  for (const char* name : {"body", "other-case", "extract", "temporary"}) {
    harness::WriteFile(outside / name, "outside");
  }
  auto plant = [&](const char* target, const std::string& name) {
    ASSERT_EQ(symlink((outside / target).c_str(), (folder / name).c_str()), 0) << name;
  };
  plant("body", "MSG4.TXT");
  plant("other-case", "msg4.txt");
  plant("extract", "Extract3-report.pdf");
  // Links under the names temporary files once had (process id and a
  // count): the shell plants them under its own process id, which getmail
  // then takes over.
  std::vector<std::string> argv = {
      "/bin/sh", "-c",
      "for k in 1 2 3 4 5 6 7 8; do ln -s \"$1\" \".getmail-$$-$k.part\"; done; shift; "
      "exec \"$@\"",
      "sh", outside / "temporary", GETMAIL_PATH, "-u", server->user(), "-pw",
      server->password(), "-s", "localhost", "-port", std::to_string(server->pop3Port()), "-m",
      "3", "-xtract", "Extract3-", "-delete"};
  ProcessResult run = harness::RunProcess(argv, folder.path(), server->ToolEnvironment());
  ASSERT_EQ(run.status, 0) << run.err;
  for (const char* name : {"body", "other-case", "extract", "temporary"}) {
    EXPECT_EQ(harness::ReadFile(outside / name), "outside") << name;
  }
  struct stat info;
  ASSERT_EQ(lstat((folder / "MSG4.TXT").c_str(), &info), 0);
  EXPECT_TRUE(S_ISREG(info.st_mode));
  EXPECT_TRUE(Read("MSG4.TXT") == message.raw);
  EXPECT_EQ(Matching("MSG4.TXT"), std::vector<std::string>{"MSG4.TXT"});
  ASSERT_EQ(lstat((folder / "Extract3-report.pdf").c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  EXPECT_TRUE(Read("Extract3-report-2.pdf") == message.attachments[0].data);
  EXPECT_TRUE(Read("Extract3-notes.txt") == message.attachments[1].data);
  EXPECT_EQ(IdsOnServer(), (std::vector<std::string>{"a", "b"}));
}

TEST_F(ToolTest, ABodyFileInAnotherCaseGoesSoThatExactlyOneStands) {
  server->SetMessages({harness::TextMessage("a", "x").raw});
  ASSERT_EQ(HeaderRun(server->pop3Port()).status, 0);
  // Left by earlier runs; Quarrow would find either as "msg2.txt".
  harness::WriteFile(folder / "msg2.txt", "an earlier body");
  harness::WriteFile(folder / "Msg2.Txt", "another earlier body");
  ProcessResult run = Retrieve(1, server->pop3Port());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Matching("MSG2.TXT"), std::vector<std::string>{"MSG2.TXT"});
  EXPECT_EQ(CorpusId(Read("MSG2.TXT")), "a");
}

TEST_F(ToolTest, AFolderThatCannotBeFlushedToDiskLeavesTheMessageOnTheServer) {
  CorpusMessage message = harness::Corpus()[1];
  server->SetMessages({message.raw});
  harness::Pop3Tap tap(server->pop3Port(), {});
  allowPlainText = true;
  ASSERT_EQ(HeaderRun(tap.port()).status, 0);
  ProcessResult run = Getmail({"-m", "1", "-xtract", "Extract1-", "-delete"}, tap.port(),
                              {{"LD_PRELOAD", FAIL_FOLDER_SYNC_PATH}});  // fsync on a folder fails
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("cannot flush the current folder"), std::string::npos) << run.err;
  EXPECT_EQ(tap.Count("RETR"), 1);
  EXPECT_EQ(tap.Count("DELE"), 0);
  EXPECT_EQ(tap.Count("QUIT"), 1);  // the header run's only
  EXPECT_EQ(IdsOnServer(), std::vector<std::string>{"two-attachments"});
  // Nothing of the message stands, so the next run saves it once.
  for (const std::string& name : harness::ListFolder(folder.path())) {
    EXPECT_TRUE(name == "MSG1.TXT" || name == ".getmail-state" || name == ".quarrow.lock") << name;
  }
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (std::optional<std::string> why = harness::PrivateDovecot::Unavailable())
    return harness::SkipUnlessRequired("getmail_tool_tests", *why, "QUARROW_REQUIRE_DOVECOT");
  harness::PrivateDovecot dovecot;
  server = &dovecot;
  int status = RUN_ALL_TESTS();
  server = nullptr;
  return status;
}
