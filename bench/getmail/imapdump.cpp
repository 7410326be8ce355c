// The limit the IMAP header run is measured against: the headers of every
// message in INBOX over one plain IMAP socket, in one UID FETCH of
// BODY.PEEK[HEADER] over the whole range, written as they come to one file.
//   getmail_imapdump PORT USER PASSWORD OUTPUT
//   getmail_imapdump --files PORT USER PASSWORD FOLDER
// With --files each header (each literal of the FETCH responses) goes to a
// file of its own in FOLDER, written under a temporary name and renamed, as
// the header run writes them: that adds the file system's share.
// Prints the seconds from connecting to the server's reply to LOGOUT.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "DumpClient.h"

namespace {

int fd = -1;

// Reads until the completion of `tag` has arrived, writing everything to
// `out` and adding it to `kept` (each if given). Only the last bytes are kept
// to look for it.
void AwaitCompletion(const std::string& tag, std::FILE* out, std::string* kept = nullptr) {
  const std::string ok = "\r\n" + tag + " OK", no = "\r\n" + tag + " NO";
  std::string tail = "\r\n";
  char chunk[1 << 16];
  for (;;) {
    ssize_t n = recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) dump::Fail("the server closed the connection");
    if (out != nullptr) std::fwrite(chunk, 1, static_cast<std::size_t>(n), out);
    if (kept != nullptr) kept->append(chunk, static_cast<std::size_t>(n));
    tail.append(chunk, static_cast<std::size_t>(n));
    if (tail.find(no) != std::string::npos) dump::Fail(tag + " was refused");
    std::size_t at = tail.find(ok);
    if (at != std::string::npos && tail.find("\r\n", at + 2) != std::string::npos) return;
    if (tail.size() > 256) tail.erase(0, tail.size() - 256);
  }
}

// Writes each literal of `responses` as FOLDER/MSG<n>.TXT by way of a
// temporary name.
void WriteHeaderFiles(const std::string& folder, const std::string& responses) {
  int n = 0;
  for (std::size_t at = responses.find('{'); at != std::string::npos;
       at = responses.find('{', at)) {
    char* end = nullptr;
    const unsigned long size = std::strtoul(responses.c_str() + at + 1, &end, 10);
    const std::size_t start = static_cast<std::size_t>(end - responses.c_str()) + 3;  // "}\r\n"
    dump::WriteHeaderFile(folder, ++n, std::string_view(responses.data() + start, size));
    at = start + size;
  }
}

}  // namespace

int main(int argc, char** argv) {
  dump::program = "imapdump";
  const bool files = argc > 1 && std::string(argv[1]) == "--files";
  if (files) {
    --argc;
    ++argv;
  }
  if (argc != 5) dump::Fail("usage: getmail_imapdump [--files] PORT USER PASSWORD OUTPUT");
  const auto begin = std::chrono::steady_clock::now();
  fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(std::atoi(argv[1])));
  inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    dump::Fail("cannot connect");
  }
  std::FILE* out = files ? nullptr : std::fopen(argv[4], "wb");
  if (!files && out == nullptr) dump::Fail("cannot write " + std::string(argv[4]));
  std::string responses;
  dump::SendAll(fd, std::string("A1 LOGIN \"") + argv[2] + "\" \"" + argv[3] + "\"\r\n");
  AwaitCompletion("A1", nullptr);
  dump::SendAll(fd, "A2 EXAMINE INBOX\r\n");
  AwaitCompletion("A2", nullptr);
  dump::SendAll(fd, "A3 UID FETCH 1:* (UID BODY.PEEK[HEADER])\r\n");
  AwaitCompletion("A3", out, files ? &responses : nullptr);
  if (files) WriteHeaderFiles(argv[4], responses);
  dump::SendAll(fd, "A4 LOGOUT\r\n");
  AwaitCompletion("A4", nullptr);
  if (out != nullptr) std::fclose(out);
  close(fd);
  std::printf("%.3f\n", std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
  return 0;
}
