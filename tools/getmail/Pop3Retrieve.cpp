// Fetching and deleting one message over POP3 (RETR, DELE, QUIT).
#include <algorithm>

#include "tools/getmail/Errors.h"
#include "tools/getmail/Pop3Session.h"
#include "tools/getmail/ReplyText.h"

namespace getmail {

std::uint64_t Pop3Session::Retrieve(
    int message, const std::function<void(std::string_view)>& sink) {
  const std::string name = "message " + std::to_string(message);
  std::uint64_t announced = MessageSize(message);
  Send("RETR " + std::to_string(message));
  std::string text = Expect("to send " + name);
  // Many servers say "+OK 1234 octets"; take the larger claim.
  std::string_view rest = text;
  std::optional<std::uint64_t> stated = TakeNumber(rest, kSizeLimit);
  if (stated && rest.substr(0, 7) == " octets") announced = std::max(announced, *stated);

  std::string piece;
  piece.reserve(kPieceSize);
  std::uint64_t delivered = 0;
  std::uint64_t bareLineFeeds = 0;
  char before = 0;  // the byte before the current part, within its line
  std::uint64_t stuffed = ReadMessageLines(
      name, Pop3ReplyLimit(announced), [&](std::string_view part, bool ended) {
        delivered += part.size();
        if (ended) {
          const char beforeLf = part.size() >= 2 ? part[part.size() - 2] : before;
          if (beforeLf != '\r') ++bareLineFeeds;
          before = 0;
        } else {
          before = part.back();
        }
        if (!piece.empty() && piece.size() + part.size() > kPieceSize) {
          sink(piece);
          piece.clear();
        }
        if (part.size() >= kPieceSize) {
          sink(part);
        } else {
          piece.append(part.data(), part.size());
        }
      });
  if (!piece.empty()) sink(piece);
  // Dovecot counts what it sends, CRLF and unstuffed. Others count bare LF
  // line ends (they then send more than they said) or dot-stuffing, or are
  // a little off; the most such a server can have counted is what arrived
  // plus one byte for each line that came with a bare LF or was stuffed.
  // Short of that by more than a thirty-second part, the message has been
  // cut.
  const std::uint64_t mostCounted = delivered + bareLineFeeds + stuffed;
  if (mostCounted + announced / 32 + 16 < announced) {
    throw Error("the server " + server_ + " sent only " + std::to_string(delivered) + " of the " +
                std::to_string(announced) + " bytes it announced for " + name +
                "; the message is left on the server");
  }
  return delivered;
}

void Pop3Session::Delete(int message) {
  Send("DELE " + std::to_string(message));
  Expect("to delete message " + std::to_string(message));
}

void Pop3Session::Quit() {
  Send("QUIT");
  Expect("to end the session (QUIT)");
}

}  // namespace getmail
