// The lines of a POP3 server's replies, read from a Connection within two
// bounds, so that neither a broken nor a hostile server can make getmail
// hold more memory or time than the mail is worth:
//
// - Length: a status line is at most as long as the caller allows; a longer
//   one is an Error, read no further than the limit. The lines of a message
//   may be of any length: they are handed on in parts of bounded size.
// - Progress: every wait has the time-out, and each reply as a whole must
//   keep up a floor: from the moment it is awaited (StartReply), a reply may
//   take the time-out plus one second for every kFloorBytesPerSecond bytes
//   that have arrived. So a quick reply has the time-out as always, a large
//   honest transfer gets all the time its size needs at any real line speed,
//   and a server trickling a byte every few seconds is cut off soon after
//   the time-out. Together with the limits on what a reply may hold (line
//   lengths, the sizes the server announced), this bounds a whole run.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "tools/getmail/Connection.h"

namespace getmail {

// The least average rate, in bytes a second, a reply must keep up once the
// time-out has passed: far below any real line, far above a trickle.
inline constexpr std::uint64_t kFloorBytesPerSecond = 1024;

class LineReader {
 public:
  // Reads from `connection`, which the caller keeps alive; `server` names
  // the server in messages.
  LineReader(Connection& connection, std::string server,
             std::chrono::milliseconds timeout);

  // The next reply is awaited from now on: the progress floor counts from
  // here.
  void StartReply();

  // The next line, with its line end ("\r\n" or "\n") as received. The view
  // stays valid until the next call. Throws Error if the line, line end
  // included, is longer than `limit` bytes, if the reply falls below the
  // progress floor, and as Connection::ReadSome does.
  std::string_view ReadLine(std::size_t limit);

  // The next stretch of the current line, for lines of any length: up to and
  // including its line end where that comes within `most` bytes (`ended`
  // true), else `most` bytes of it (`ended` false). At the start of a line it
  // holds the whole line, or `most` bytes of it. `most` must be at least 1.
  // Throws as ReadLine does, but never for the line's length.
  std::string_view ReadLinePart(std::size_t most, bool& ended);

  // The next bytes, at least 1 and at most `most`, whatever they hold: for
  // data whose length was announced before it (IMAP's literals). The view
  // stays valid until the next call. Throws as ReadLine does.
  std::string_view ReadBytes(std::size_t most);

  // Whether bytes have arrived that no line has taken yet.
  bool HasUnread() const { return end_ > start_; }

  // Bytes the read buffer holds room for: about one read, or the longest
  // line not yet read if that is longer.
  std::size_t BufferSize() const { return buffer_.size(); }

 private:
  // Reads more into the buffer and checks the progress floor.
  void Fill();

  Connection& connection_;
  std::string server_;
  std::chrono::milliseconds timeout_;
  std::string buffer_;
  std::size_t start_ = 0;    // first unread byte in buffer_
  std::size_t end_ = 0;      // one past the last byte read into buffer_
  std::size_t scanned_ = 0;  // bytes after start_ known to hold no "\n"
  std::chrono::steady_clock::time_point replyStart_;
  std::uint64_t replyBytes_ = 0;  // bytes read since StartReply()
};

}  // namespace getmail
