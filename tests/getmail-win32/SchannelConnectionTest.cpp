// getmail::Connection on Windows (Winsock and Schannel) under Wine, against
// openssl s_server on loopback: tls-servers.sh starts the servers and names
// their ports and the certificate folder in the environment.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "tools/getmail/Connection.h"
#include "tools/getmail/Errors.h"

namespace getmail {
namespace {

// Generous: the machine may be slow and busy. Only failures wait for it.
constexpr std::chrono::milliseconds kTimeout = std::chrono::seconds(60);
// For the cases that are meant to wait in vain.
constexpr std::chrono::milliseconds kShortTimeout = std::chrono::seconds(1);

std::string Environment(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  return value != nullptr ? value : "";
}

// The port of the test server `which` (tls-servers.sh), or 0.
int ServerPort(const std::string& which) {
  return std::atoi(Environment("GETMAIL_TLS_PORT_" + which).c_str());
}

std::string TestFile(const std::string& name) {
  return Environment("GETMAIL_TLS_DIR") + "\\" + name;
}

// Names a file of the test folder in QUARROW_GETMAIL_CAFILE (null: none)
// for the life of the object.
class CaFileVariable {
 public:
  explicit CaFileVariable(const char* file) {
    SetEnvironmentVariableA("QUARROW_GETMAIL_CAFILE",
                            file != nullptr ? TestFile(file).c_str() : nullptr);
  }
  ~CaFileVariable() { SetEnvironmentVariableA("QUARROW_GETMAIL_CAFILE", nullptr); }
};

std::string ReadExactly(Connection& connection, std::size_t size) {
  std::string got;
  char buffer[4096];
  while (got.size() < size) {
    std::size_t n = connection.ReadSome(buffer, std::min(sizeof buffer, size - got.size()));
    EXPECT_GE(n, 1u);
    got.append(buffer, n);
  }
  return got;
}

// Sends `lines` in one go; the server answers each line reversed.
void ExpectEchoes(Connection& connection, const std::vector<std::string>& lines) {
  std::string sent, expected;
  for (const std::string& line : lines) {
    sent += line + "\n";
    expected += std::string(line.rbegin(), line.rend()) + "\n";
  }
  connection.Write(sent);
  EXPECT_EQ(ReadExactly(connection, expected.size()), expected);
}

// The text of the Error that `action` throws, or "" (and a failure) if none.
template <typename Action>
std::string ErrorFrom(Action action) {
  try {
    action();
  } catch (const Error& error) {
    return error.what();
  }
  ADD_FAILURE() << "no Error thrown";
  return "";
}

struct TlsCase {
  const char* name;
  const char* server;  // which test server
  const char* host;    // the name or address to connect to
  const char* caFile;  // in QUARROW_GETMAIL_CAFILE, or null
  // Part of the expected message ("a|b": either); null: it succeeds.
  const char* failure;
};

bool HasOneOf(const std::string& message, const std::string& alternatives) {
  std::size_t pos = 0;
  for (;;) {
    std::size_t end = alternatives.find('|', pos);
    if (message.find(alternatives.substr(pos, end - pos)) != std::string::npos) return true;
    if (end == std::string::npos) return false;
    pos = end + 1;
  }
}

const TlsCase kTlsCases[] = {
    {"TrustedThroughTheCaFile", "LOCALHOST", "localhost", "right-ca.pem", nullptr},
    {"RightCaSecondInTheFile", "LOCALHOST", "localhost", "second-ca.pem", nullptr},
    {"OnlyAnUnrelatedCaInTheFile", "LOCALHOST", "localhost", "unrelated-ca.pem",
     "is not trusted"},
    {"TestCaIsNoSystemRoot", "LOCALHOST", "localhost", nullptr, "is not trusted"},
    {"RightCaWrongName", "OTHER", "localhost", "right-ca.pem", "is not for the name"},
    {"AddressEntryForIpv4", "ADDRESS", "127.0.0.1", "right-ca.pem", nullptr},
    {"AddressEntryForIpv6", "ADDRESS", "::1", "right-ca.pem", nullptr},
    {"NameAgainstAddressEntries", "ADDRESS", "localhost", "right-ca.pem",
     "is not for the name"},
    {"AddressAgainstANameEntry", "LOCALHOST", "127.0.0.1", "right-ca.pem",
     "is not for the address"},
    {"AddressAgainstANameThatLooksLikeIt", "DNSADDRESS", "127.0.0.1", "right-ca.pem",
     "is not for the address"},
    // Wine's Schannel negotiates TLS 1.1 all the same; Windows refuses it.
    {"ServerWithOnlyTls11", "TLS11", "localhost", "right-ca.pem",
     "older than 1.2|the TLS handshake with"},
    // Revocation: a certificate its CA's list names is refused; one whose
    // list cannot be had is taken, as mail clients take it.
    {"RevokedByItsCasList", "CRLREVOKED", "localhost", "right-ca.pem", "it has been revoked"},
    {"ItsCasListOutOfReach", "CRLMISSING", "localhost", "right-ca.pem", nullptr},
    {"CaFileMissing", "LOCALHOST", "localhost", "no-such-file.pem", "cannot open the CA file"},
    {"CaFileWithoutCertificate", "LOCALHOST", "localhost", "no-certificate.pem",
     "holds no certificate"},
};

class TlsTest : public testing::TestWithParam<TlsCase> {};

TEST_P(TlsTest, VerifiesTheServer) {
  const TlsCase& c = GetParam();
  int port = ServerPort(c.server);
  if (port == 0) GTEST_SKIP() << "no server " << c.server << " (this openssl cannot run it)";
  if (std::string(c.host) == "::1" && Environment("GETMAIL_TLS_IPV6") != "1") {
    GTEST_SKIP() << "no IPv6 on loopback";
  }
  CaFileVariable caFile(c.caFile);
  std::unique_ptr<Connection> connection = Connect(c.host, port, kTimeout);
  ASSERT_FALSE(connection->IsTls());
  if (c.failure == nullptr) {
    connection->StartTls();
    EXPECT_TRUE(connection->IsTls());
    ExpectEchoes(*connection, {"hello world", "+OK POP3 ready"});
    // More than one record's worth, in one write and back.
    std::vector<std::string> lines;
    for (int k = 0; k < 500; ++k) {
      lines.push_back("line " + std::to_string(k) + " " + std::string(60 + k % 37, 'a' + k % 26));
    }
    ExpectEchoes(*connection, lines);
  } else {
    std::string message = ErrorFrom([&] { connection->StartTls(); });
    EXPECT_TRUE(HasOneOf(message, c.failure)) << message;
    // Trouble with the server names it; trouble with the CA file names that.
    const std::string where = std::string(c.host) + " port " + std::to_string(port);
    const bool aboutTheFile = message.find("the CA file") != std::string::npos;
    EXPECT_NE(message.find(aboutTheFile ? TestFile(c.caFile) : where), std::string::npos)
        << message;
    EXPECT_FALSE(connection->IsTls());
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, TlsTest, testing::ValuesIn(kTlsCases),
                         [](const testing::TestParamInfo<TlsCase>& info) {
                           return std::string(info.param.name);
                         });

// A loopback socket that listens but never accepts nor sends: connecting
// succeeds (the system completes it), and then nothing comes.
class SilentListener {
 public:
  explicit SilentListener(int backlog = 4) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(socket_, backlog) != 0 ||
        getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      ADD_FAILURE() << "cannot listen: " << WSAGetLastError();
    }
    port_ = ntohs(address.sin_port);
  }
  ~SilentListener() { closesocket(socket_); }
  int port() const { return port_; }
  SOCKET Accept() { return accept(socket_, nullptr, nullptr); }

 private:
  SOCKET socket_ = INVALID_SOCKET;
  int port_ = 0;
};

// Stands between the client and a test server: passes on what the client
// sends at once, and what the server sends one byte at a time, `pause`
// apart, each pause shorter than the client's time-out. It gives up after a
// minute, dropping both connections.
class TricklingProxy {
 public:
  TricklingProxy(int serverPort, std::chrono::milliseconds pause)
      : thread_([this, serverPort, pause] { Run(serverPort, pause); }) {}
  ~TricklingProxy() { thread_.join(); }
  int port() const { return listener_.port(); }

 private:
  void Run(int serverPort, std::chrono::milliseconds pause) {
    SOCKET client = listener_.Accept();
    SOCKET server = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<u_short>(serverPort));
    if (client != INVALID_SOCKET &&
        connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
      using Clock = std::chrono::steady_clock;
      const Clock::time_point end = Clock::now() + std::chrono::minutes(1);
      Clock::time_point next = Clock::now();
      std::string held;  // from the server, not yet passed on
      bool open = true;
      while (open && Clock::now() < end) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(client, &readable);
        FD_SET(server, &readable);
        timeval tick{0, 10 * 1000};
        char buffer[4096];
        if (select(0, &readable, nullptr, nullptr, &tick) > 0) {
          if (FD_ISSET(client, &readable)) {
            int n = recv(client, buffer, sizeof buffer, 0);
            open = n > 0 && send(server, buffer, n, 0) == n;
          }
          if (open && FD_ISSET(server, &readable)) {
            int n = recv(server, buffer, sizeof buffer, 0);
            if (n > 0) held.append(buffer, static_cast<std::size_t>(n));
          }
        }
        if (open && !held.empty() && Clock::now() >= next) {
          open = send(client, held.data(), 1, 0) == 1;
          held.erase(0, 1);
          next = Clock::now() + pause;
        }
      }
    }
    closesocket(server);
    if (client != INVALID_SOCKET) closesocket(client);
  }

  SilentListener listener_;
  std::thread thread_;
};

TEST(SchannelConnection, AHandshakeTrickledByteByByteEndsAtTwiceTheTimeOut) {
  CaFileVariable caFile("right-ca.pem");
  TricklingProxy proxy(ServerPort("LOCALHOST"), std::chrono::milliseconds(250));
  std::unique_ptr<Connection> connection =
      Connect("127.0.0.1", proxy.port(), kShortTimeout);
  std::string message = ErrorFrom([&] { connection->StartTls(); });
  EXPECT_NE(message.find("127.0.0.1 port " + std::to_string(proxy.port()) +
                         " did not finish setting up TLS within 2 s"),
            std::string::npos)
      << message;
  EXPECT_FALSE(connection->IsTls());
}

TEST(SchannelConnection, PlainTextBothWaysThenTheEnd) {
  SilentListener listener;
  std::unique_ptr<Connection> connection = Connect("127.0.0.1", listener.port(), kTimeout);
  SOCKET peer = listener.Accept();
  ASSERT_NE(peer, INVALID_SOCKET);
  const std::string greeting = "+OK ready\r\n";
  send(peer, greeting.data(), static_cast<int>(greeting.size()), 0);
  EXPECT_EQ(ReadExactly(*connection, greeting.size()), greeting);
  connection->Write("QUIT\r\n");
  char got[6];
  int received = 0;
  while (received < 6) {
    int n = recv(peer, got + received, 6 - received, 0);
    ASSERT_GT(n, 0);
    received += n;
  }
  EXPECT_EQ(std::string(got, 6), "QUIT\r\n");
  EXPECT_FALSE(connection->IsTls());
  closesocket(peer);
  char buffer[16];
  std::string message = ErrorFrom([&] { connection->ReadSome(buffer, sizeof buffer); });
  EXPECT_NE(message.find("closed the connection"), std::string::npos) << message;
}

TEST(SchannelConnection, EveryWaitIsBounded) {
  SilentListener listener;
  const std::string where = "127.0.0.1 port " + std::to_string(listener.port());
  {
    std::unique_ptr<Connection> connection =
        Connect("127.0.0.1", listener.port(), kShortTimeout);
    char buffer[16];
    std::string message = ErrorFrom([&] { connection->ReadSome(buffer, sizeof buffer); });
    EXPECT_NE(message.find(where + " did not answer within 1 s"), std::string::npos)
        << message;
  }
  {
    CaFileVariable caFile("right-ca.pem");
    std::unique_ptr<Connection> connection =
        Connect("127.0.0.1", listener.port(), kShortTimeout);
    std::string message = ErrorFrom([&] { connection->StartTls(); });
    EXPECT_NE(message.find(where + " did not answer within 1 s"), std::string::npos)
        << message;
    EXPECT_FALSE(connection->IsTls());
  }
}

TEST(SchannelConnection, ConnectFailuresNameTheServer) {
  int closedPort;
  {
    SilentListener listener;
    closedPort = listener.port();
  }
  std::string message = ErrorFrom([&] { Connect("127.0.0.1", closedPort, kTimeout); });
  EXPECT_EQ(message.find("cannot connect to 127.0.0.1 port " + std::to_string(closedPort)),
            0u)
      << message;

  // A listener whose queue is full: the system drops further attempts
  // unanswered, so connecting waits until the time-out.
  SilentListener full(0);
  std::vector<SOCKET> queued;
  for (int k = 0; k < 4; ++k) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<u_short>(full.port()));
    connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    queued.push_back(s);
  }
  Sleep(200);  // lets the queued attempts arrive; the result does not hang on it
  message = ErrorFrom([&] { Connect("127.0.0.1", full.port(), kShortTimeout); });
  EXPECT_EQ(message.find("cannot connect to 127.0.0.1 port " + std::to_string(full.port()) +
                         ": no answer within 1 s"),
            0u)
      << message;
  for (SOCKET s : queued) closesocket(s);
}

// The commanded server's log (its standard output).
std::string ServerLog() {
  std::ifstream log(TestFile("commanded.log"), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(log), std::istreambuf_iterator<char>());
}

// How many handshakes the commanded server has finished.
std::size_t FinishedHandshakes() {
  const std::string log = ServerLog();
  const std::string mark = "SSL_accept:SSLv3/TLS read finished";
  std::size_t count = 0;
  for (std::size_t pos = log.find(mark); pos != std::string::npos;
       pos = log.find(mark, pos + 1)) {
    ++count;
  }
  return count;
}

// A line for the commanded server's standard input.
void TellServer(const std::string& line) {
  HANDLE input = CreateFileA(TestFile("commands.in").c_str(), GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             0, nullptr);
  ASSERT_NE(input, INVALID_HANDLE_VALUE) << GetLastError();
  DWORD written = 0;
  WriteFile(input, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(input);
  EXPECT_EQ(written, line.size());
}

bool RunsOnWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

TEST(SchannelConnection, ServerSpeakingFirst) {
  // The greeting waits in the server's input, so the server sends it right
  // behind its last handshake message: the handshake's extra bytes. The
  // first test on the commanded server, so that it is waiting for a client
  // and not ending the last one when the greeting arrives.
  CaFileVariable caFile("right-ca.pem");
  TellServer("+OK greeting\n");
  std::unique_ptr<Connection> connection =
      Connect("localhost", ServerPort("COMMANDED"), kTimeout);
  connection->StartTls();
  EXPECT_EQ(ReadExactly(*connection, 13), "+OK greeting\n");
  TellServer("q\n");
}

TEST(SchannelConnection, ServerAskingForANewHandshake) {
  // TLS 1.2: the server sends a HelloRequest and waits for the client's new
  // handshake; DecryptMessage answers SEC_I_RENEGOTIATE, and the client runs
  // the handshake again while reading.
  CaFileVariable caFile("right-ca.pem");
  const bool wine = RunsOnWine();
  std::unique_ptr<Connection> connection = Connect(
      "localhost", ServerPort("COMMANDED"), wine ? std::chrono::seconds(3) : kTimeout);
  connection->StartTls();
  if (wine) {
    // Wine 8's Schannel reports the request but starts no handshake without
    // bytes from the server, which waits for the client: the wait ends at
    // the time-out, with an Error, and no byte of the request is taken for
    // data. Dropping the connection frees the server for the next test.
    TellServer("r\n");
    char buffer[64];
    std::string message = ErrorFrom([&] { connection->ReadSome(buffer, sizeof buffer); });
    EXPECT_NE(message.find("did not answer within 3 s while setting up TLS"),
              std::string::npos)
        << message;
    return;
  }
  // Only once the server has finished the new handshake (its log shows
  // one more) does it send a line.
  const std::string line = "after the new handshake\n";
  std::thread server([&] {
    const std::size_t before = FinishedHandshakes();
    TellServer("r\n");
    for (int k = 0; k < 1200 && FinishedHandshakes() == before; ++k) Sleep(50);
    EXPECT_GT(FinishedHandshakes(), before) << ServerLog();
    TellServer(line);
  });
  std::string got;
  try {
    got = ReadExactly(*connection, line.size());
  } catch (const Error& error) {
    ADD_FAILURE() << error.what();
  }
  server.join();
  EXPECT_EQ(got, line);
  TellServer("q\n");  // drops the connection
}

TEST(SchannelConnection, ServerDroppingTheConnectionIsAnError) {
  CaFileVariable caFile("right-ca.pem");
  const int port = ServerPort("COMMANDED");
  std::unique_ptr<Connection> connection = Connect("localhost", port, kTimeout);
  connection->StartTls();
  TellServer("q\n");
  std::string message = ErrorFrom([&] {
    char buffer[64];
    for (;;) connection->ReadSome(buffer, sizeof buffer);
  });
  EXPECT_NE(message.find("the server localhost port " + std::to_string(port) +
                         " closed the connection"),
            std::string::npos)
      << message;
}

}  // namespace
}  // namespace getmail
