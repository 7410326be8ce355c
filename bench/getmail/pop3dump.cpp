// The limit the header run is measured against: the headers of every message
// over one plain POP3 socket, with every TOP command sent at once (a thread
// of its own sends them while the replies are read), written to one file.
//   getmail_pop3dump PORT USER PASSWORD OUTPUT
//   getmail_pop3dump --files PORT USER PASSWORD FOLDER
//   getmail_pop3dump --retr N PORT USER PASSWORD FILE
// With --files each header goes to a file of its own in FOLDER, written under
// a temporary name and renamed, as the header run writes them: that adds
// the file system's share.
// With --retr it fetches message N whole (RETR, dot-unstuffed) into FILE and
// flushes FILE and its folder to disk: the limit a retrieval run is measured
// against. It deletes nothing.
// Prints the number of messages and the seconds from connecting to the
// server's reply to QUIT.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>

#include "DumpClient.h"

namespace {

int fd = -1;
std::string buffer;
std::size_t start = 0;

// The next line, with its CRLF; valid until the next call.
std::string_view ReadLine() {
  for (;;) {
    std::size_t end = buffer.find('\n', start);
    if (end != std::string::npos) {
      std::string_view line(buffer.data() + start, end + 1 - start);
      start = end + 1;
      return line;
    }
    buffer.erase(0, start);
    start = 0;
    char chunk[65536];
    ssize_t n = recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) dump::Fail("the server closed the connection");
    buffer.append(chunk, static_cast<std::size_t>(n));
  }
}

std::string Expect(const std::string& command) {
  if (!command.empty()) dump::SendAll(fd, command + "\r\n");
  std::string line(ReadLine());
  if (line.compare(0, 3, "+OK") != 0) dump::Fail(command + ": " + line);
  return line;
}

}  // namespace

// RETR `message` into `path`, flushed to disk with its folder.
void Retrieve(int message, const std::string& path) {
  FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) dump::Fail("cannot write " + path);
  Expect("RETR " + std::to_string(message));
  for (;;) {
    std::string_view line = ReadLine();
    if (line == ".\r\n") break;
    std::size_t skip = line[0] == '.' ? 1 : 0;
    std::fwrite(line.data() + skip, 1, line.size() - skip, out);
  }
  std::string folder = path.substr(0, path.rfind('/') + 1) + ".";
  int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (std::fflush(out) != 0 || fsync(fileno(out)) != 0 || dir < 0 || fsync(dir) != 0) {
    dump::Fail("cannot flush " + path);
  }
  close(dir);
  std::fclose(out);
  Expect("QUIT");
}

int main(int argc, char** argv) {
  dump::program = "pop3dump";
  bool files = argc > 1 && std::strcmp(argv[1], "--files") == 0;
  int retrieve = 0;
  if (argc > 2 && std::strcmp(argv[1], "--retr") == 0) {
    retrieve = std::atoi(argv[2]);
    argc -= 2;
    argv += 2;
  } else if (files) {
    --argc;
    ++argv;
  }
  if (argc != 5) {
    dump::Fail("usage: getmail_pop3dump [--files | --retr N] PORT USER PASSWORD OUTPUT");
  }
  FILE* out = files || retrieve > 0 ? nullptr : std::fopen(argv[4], "wb");
  if (!files && retrieve == 0 && out == nullptr) dump::Fail("cannot write the output file");
  const std::string folder = argv[4];
  auto started = std::chrono::steady_clock::now();
  fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(std::atoi(argv[1])));
  inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    dump::Fail("cannot connect");
  }
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  Expect("");
  Expect(std::string("USER ") + argv[2]);
  Expect(std::string("PASS ") + argv[3]);
  int count = std::atoi(Expect("STAT").c_str() + 4);
  if (retrieve > 0) {
    Retrieve(retrieve, argv[4]);
    std::printf("1 %.4f\n", std::chrono::duration<double>(
                                  std::chrono::steady_clock::now() - started).count());
    return 0;
  }

  std::thread sender([count] {
    std::string commands;
    for (int n = 1; n <= count; ++n) commands += "TOP " + std::to_string(n) + " 0\r\n";
    commands += "QUIT\r\n";
    dump::SendAll(fd, commands);
  });
  std::string header;
  for (int n = 1; n <= count; ++n) {
    std::string_view status = ReadLine();
    if (status.substr(0, 3) != "+OK") {
      dump::Fail("TOP " + std::to_string(n) + ": " + std::string(status));
    }
    header.clear();
    for (;;) {
      std::string_view line = ReadLine();
      if (line == ".\r\n") break;
      header += line;
    }
    if (files) {
      dump::WriteHeaderFile(folder, n, header);
    } else {
      std::fwrite(header.data(), 1, header.size(), out);
    }
  }
  Expect("");  // QUIT's reply
  sender.join();
  double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (out != nullptr) std::fclose(out);
  close(fd);
  std::printf("%d %.4f\n", count, seconds);
  return 0;
}
