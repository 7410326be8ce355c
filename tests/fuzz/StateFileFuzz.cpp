// Fuzzes the state file a header run leaves: whatever the file holds, it is
// read without trusting its numbers, and what is read is written back the
// same way.
#include <string>

#include "FuzzSupport.h"
#include "tools/getmail/StateFile.h"

namespace {

bool Same(const getmail::State& a, const getmail::State& b) {
  return a.server == b.server && a.port == b.port && a.login == b.login &&
         a.count == b.count && a.hasUids == b.hasUids && a.uids == b.uids &&
         a.prints == b.prints;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::optional<getmail::State> state = getmail::ParseState(text);
  if (!state) return 0;
  const std::vector<std::string>& ids = state->hasUids ? state->uids : state->prints;
  fuzz::Require(state->count >= 0 && ids.size() == static_cast<std::size_t>(state->count),
                "a state holds one id for each message");
  std::optional<getmail::State> back = getmail::ParseState(getmail::FormatState(*state));
  fuzz::Require(back && Same(*state, *back), "a state reads back as it was written");
  return 0;
}
