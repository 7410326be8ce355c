// The tool's standard error goes through a pipe: every byte is passed on to
// our own standard error as it comes, and the end of it is kept, so the note
// after a failed run can give the tool's own last message.
#pragma once

#include <sys/types.h>

#include <string>

namespace quarrow::posix {

class ErrorPipe {
 public:
  // Throws Failure when no pipe can be made.
  ErrorPipe();
  ErrorPipe(ErrorPipe&& other) noexcept;
  ErrorPipe& operator=(ErrorPipe&&) = delete;
  ErrorPipe(const ErrorPipe&) = delete;
  ~ErrorPipe();

  // The end the started program writes to, as its descriptor 2.
  int writeEnd() const { return write_; }
  // Once the program has started: only it holds the write end now, so the
  // pipe ends when it (and whatever it started) lets go.
  void CloseWriteEnd();

  // Passes on what arrives until the pipe ends, or until process `pid` has
  // ended and what it left in the pipe has been passed on (something it
  // started may hold the pipe open for longer). Does not reap the process.
  // Gives back the last kToolOutputKept bytes.
  std::string RelayUntilEnd(pid_t pid);

 private:
  int read_ = -1;
  int write_ = -1;
};

}  // namespace quarrow::posix
