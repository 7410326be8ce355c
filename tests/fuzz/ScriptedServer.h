// For a fuzz target that drives a whole session: the mail server is the
// input. Include it in one file of the program only: it defines the tool's
// Connect(), in place of the real one (posix/), which is then not linked in.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "ScriptedConnection.h"

namespace fuzz {

// What the next connection hands out.
inline std::string_view serverBytes;

// Runs a retrieval step: `retrieve` hands the message to the sink it is
// given and says how many bytes it handed; that must be all it handed, and
// no more than the `size` bytes the server sent in all.
inline void CheckRetrieval(
    std::size_t size,
    const std::function<std::uint64_t(const std::function<void(std::string_view)>&)>& retrieve) {
  Step([&] {
    std::uint64_t handed = 0;
    std::uint64_t told = retrieve([&](std::string_view piece) { handed += piece.size(); });
    Require(told == handed && handed <= size, "a message is no longer than what was sent");
  });
}

}  // namespace fuzz

std::unique_ptr<getmail::Connection> getmail::Connect(const std::string&, int,
                                                      std::chrono::milliseconds) {
  return std::make_unique<fuzz::ScriptedConnection>(fuzz::serverBytes);
}
