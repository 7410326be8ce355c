// A stand-in for the connection to a mail server, for the fuzz targets that
// drive a whole session: the server says what the input holds.
#pragma once

#include <algorithm>
#include <functional>
#include <iterator>
#include <string_view>

#include "tools/getmail/Connection.h"
#include "tools/getmail/Errors.h"

namespace fuzz {

// A connection to a server that says `bytes`. Each read gets the
// next piece, by turns up to the end of a line or a few bytes across line
// ends, so that line framing is tried at every boundary while a reply can
// still end exactly where a read does (as a server's does before STLS).
class ScriptedConnection : public getmail::Connection {
 public:
  explicit ScriptedConnection(std::string_view bytes) : bytes_(bytes) {}
  void StartTls() override { tls_ = true; }
  bool IsTls() const override { return tls_; }
  void Write(std::string_view) override {}
  std::size_t ReadSome(char* buffer, std::size_t size) override {
    if (bytes_.empty()) throw getmail::Error("the server closed the connection");
    static constexpr std::size_t kPieces[] = {0, 1, 0, 7, 0, 4096};  // 0: to the line end
    std::size_t piece = kPieces[turn_++ % std::size(kPieces)];
    if (piece == 0) piece = std::min(bytes_.find('\n'), bytes_.size() - 1) + 1;
    std::size_t n = std::min({piece, size, bytes_.size()});
    std::copy_n(bytes_.data(), n, buffer);
    bytes_.remove_prefix(n);
    return n;
  }

 private:
  std::string_view bytes_;
  std::size_t turn_ = 0;
  bool tls_ = false;
};

// Runs one step of a session; a refusal or a broken reply ends that step
// only, so that later steps read on from wherever it stopped.
inline void Step(const std::function<void()>& step) {
  try {
    step();
  } catch (const getmail::Error&) {
  }
}

}  // namespace fuzz
