// Fuzzes the state file a header run leaves: whatever the file holds, it is
// read without trusting its numbers, as far as a run asks, and what is read
// is written back the same way.
#include <algorithm>
#include <limits>
#include <sstream>
#include <string>

#include "FuzzSupport.h"
#include "tools/getmail/StateFile.h"

namespace {

constexpr int kAll = std::numeric_limits<int>::max();

std::optional<getmail::State> Parse(const std::string& text, int through) {
  std::istringstream in(text);
  return getmail::ParseState(in, through);
}

bool SameHead(const getmail::State& a, const getmail::State& b) {
  return a.server == b.server && a.port == b.port && a.login == b.login && a.count == b.count;
}

bool SameMarks(const getmail::State& a, const getmail::State& b) {
  if (a.marks.size() != b.marks.size()) return false;
  for (std::size_t k = 0; k < a.marks.size(); ++k) {
    if (a.marks[k].print != b.marks[k].print || a.marks[k].uid != b.marks[k].uid) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::optional<getmail::State> state = Parse(text, kAll);
  if (!state) return 0;
  fuzz::Require(state->count >= 0 && state->marks.size() == static_cast<std::size_t>(state->count),
                "a state holds one mark for each message");
  std::optional<getmail::State> first = Parse(text, 1);
  fuzz::Require(first && SameHead(*state, *first) &&
                    first->marks.size() == std::min<std::size_t>(state->marks.size(), 1),
                "a state read as far as message 1 is its beginning");
  std::optional<getmail::State> back = Parse(getmail::FormatState(*state), kAll);
  fuzz::Require(back && SameHead(*state, *back) && SameMarks(*state, *back),
                "a state reads back as it was written");
  return 0;
}
