// A GMime stream that hands whatever is written to it to a function, so that
// GMime can write straight into one of the tool's files.
#pragma once

#include <exception>
#include <functional>
#include <string_view>

typedef struct _GMimeStream GMimeStream;

namespace getmail {

class SinkStream {
 public:
  explicit SinkStream(std::function<void(std::string_view)> sink);
  ~SinkStream();
  SinkStream(const SinkStream&) = delete;
  SinkStream& operator=(const SinkStream&) = delete;

  // The stream; it only takes writes. A write fails (-1) once `sink` has
  // thrown: nothing may fly through GMime's C code.
  GMimeStream* get() const { return stream_; }
  // Throws again what `sink` threw, if it did.
  void RethrowFailure() const;

 private:
  friend struct SinkStreamAccess;
  std::function<void(std::string_view)> sink_;
  std::exception_ptr failure_;
  GMimeStream* stream_;
};

}  // namespace getmail
