// How naming many attachments of one name grows: NameBook::Claim of
//   getmail_namebench COUNT...
// attachments all named "a.txt" (beside 1,000 names reserved as if from the
// folder), timed. Prints "COUNT SECONDS MICROSECONDS-PER-NAME" per count.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/getmail/SafeName.h"

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const int count = std::atoi(argv[i]);
    auto started = std::chrono::steady_clock::now();
    getmail::NameBook book("Extract1-");
    for (int k = 0; k < 1000; ++k) book.Reserve("MSG" + std::to_string(k) + ".TXT");
    for (int k = 0; k < count; ++k) book.Claim("a.txt");
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("%d %.4f %.2f\n", count, seconds, seconds * 1e6 / count);
  }
  return 0;
}
