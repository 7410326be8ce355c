// What the raw POP3 and IMAP dump clients share: giving up, sending all of a
// command, and writing a header file the way getmail's header run does (by
// way of a temporary name), so that both measure the same work.
#pragma once

#include <sys/socket.h>
#include <sys/types.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace dump {

// Names the program in its messages; set by main().
inline const char* program = "dump";

[[noreturn]] inline void Fail(const std::string& what) {
  std::fprintf(stderr, "%s: %s\n", program, what.c_str());
  std::exit(1);
}

inline void SendAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    ssize_t n = send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
    if (n <= 0) Fail("send failed");
    done += static_cast<std::size_t>(n);
  }
}

// Writes `header` as FOLDER/MSG<n>.TXT by way of a temporary name.
inline void WriteHeaderFile(const std::string& folder, int n, std::string_view header) {
  const std::string temp = folder + "/.dump.part";
  std::FILE* file = std::fopen(temp.c_str(), "wb");
  if (file == nullptr) Fail("cannot write in " + folder);
  std::fwrite(header.data(), 1, header.size(), file);
  std::fclose(file);
  const std::string name = folder + "/MSG" + std::to_string(n) + ".TXT";
  if (std::rename(temp.c_str(), name.c_str()) != 0) Fail("cannot rename to " + name);
}

}  // namespace dump
