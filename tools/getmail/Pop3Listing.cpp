// The POP3 header run's commands: counting, listing and reading headers
// (STAT, LIST, UIDL, TOP).
#include <algorithm>
#include <unordered_map>

#include "tools/getmail/Errors.h"
#include "tools/getmail/Pop3Session.h"
#include "tools/getmail/ReplyText.h"

namespace getmail {
namespace {

// Commands kept in flight in a pipelined header run. The replies to them
// (a header each) fit easily in the socket buffers, so the server never
// stalls on output while we are still sending commands.
constexpr int kWindow = 128;

// The unique id after the number in a UIDL line, if it is one to go by.
std::optional<std::string> UsableUniqueId(std::string_view rest) {
  while (!rest.empty() && rest[0] == ' ') rest.remove_prefix(1);
  if (rest.empty() || rest.size() > kUniqueIdLimit) return std::nullopt;
  for (char c : rest) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return std::nullopt;
  }
  return std::string(rest);
}


}  // namespace

int Pop3Session::MessageCount() {
  Send("STAT");
  std::string text = Expect("to count the messages (STAT)");
  std::string_view rest = text;
  std::optional<std::uint64_t> count = TakeNumber(rest, kMessageCountLimit);
  if (!count) {
    throw Error("the server " + server_ +
                " gave a STAT reply without a count of at most " +
                std::to_string(kMessageCountLimit) + Saying(text));
  }
  return static_cast<int>(*count);
}

std::uint64_t Pop3Session::MessageSize(int message) {
  Send("LIST " + std::to_string(message));
  std::string text = Expect("to give the size of message " + std::to_string(message));
  std::string_view rest = text;
  std::optional<std::uint64_t> number = TakeNumber(rest, kMessageCountLimit);
  std::optional<std::uint64_t> size = TakeNumber(rest, kSizeLimit);
  if (!number || *number != static_cast<std::uint64_t>(message) || !size) {
    throw Error("the server " + server_ + " gave no size for message " +
                std::to_string(message) + Saying(text));
  }
  return *size;
}

std::vector<std::uint64_t> Pop3Session::MessageSizes(int count) {
  Send("LIST");
  Expect("to list the messages (LIST)");
  std::vector<std::uint64_t> sizes;
  const std::string what = "the message list (LIST)";
  auto mismatch = [&] {
    return Error("the server " + server_ + "'s message list (LIST) does not match its " +
                 std::to_string(count) + " messages (STAT)");
  };
  // A short line a message, in order: so the reply's limit follows from the
  // count.
  ReadMultiLine(what, kStatusLineLimit, static_cast<std::uint64_t>(count + 1) * kStatusLineLimit,
                [&](std::string_view line) {
                  std::optional<std::uint64_t> number = TakeNumber(line, kMessageCountLimit);
                  std::optional<std::uint64_t> size = TakeNumber(line, kSizeLimit);
                  if (!number || !size || *number != sizes.size() + 1 ||
                      *number > static_cast<std::uint64_t>(count)) {
                    throw mismatch();
                  }
                  sizes.push_back(*size);
                });
  if (sizes.size() != static_cast<std::size_t>(count)) throw mismatch();
  return sizes;
}

bool Pop3Session::MayHaveUidl() const { return !capaWorked_ || Offers("UIDL"); }

void Pop3Session::ReadUniqueIdListing(
    int count, const std::function<void(int, std::string)>& take) {
  int lines = 0;
  ReadMultiLine("the unique ids (UIDL)", kStatusLineLimit,
                static_cast<std::uint64_t>(count + 1) * kStatusLineLimit,
                [&](std::string_view line) {
                  const std::string bare = StripLineEnd(line);
                  std::string_view rest = bare;
                  std::optional<std::uint64_t> number = TakeNumber(rest, kMessageCountLimit);
                  if (!number || *number < 1 || *number > static_cast<std::uint64_t>(count) ||
                      ++lines > count) {
                    throw Error("the server " + server_ +
                                " listed unique ids (UIDL) for other messages than its " +
                                std::to_string(count) + " (STAT)" + Saying(bare));
                  }
                  std::optional<std::string> id = UsableUniqueId(rest);
                  take(static_cast<int>(*number), id ? *id : std::string());
                });
}

std::optional<std::string> Pop3Session::UniqueId(int message) {
  Send("UIDL " + std::to_string(message));
  std::string text;
  if (!ReadStatus(&text)) return std::nullopt;
  std::string_view rest = text;
  std::optional<std::uint64_t> number = TakeNumber(rest, kMessageCountLimit);
  if (!number || *number != static_cast<std::uint64_t>(message)) return std::nullopt;
  return UsableUniqueId(rest);
}

std::optional<std::vector<int>> Pop3Session::MessagesWithUniqueId(
    const std::string& uid, int count) {
  if (!MayHaveUidl()) return std::nullopt;
  Send("UIDL");
  if (!ReadStatus()) return std::nullopt;
  std::vector<int> numbers;
  ReadUniqueIdListing(count, [&](int number, std::string id) {
    if (id == uid && std::find(numbers.begin(), numbers.end(), number) == numbers.end()) {
      numbers.push_back(number);
    }
  });
  return numbers;
}

std::optional<std::vector<std::string>> Pop3Session::HeadersAndUniqueIds(
    int count, const std::function<void(int, std::string_view)>& take) {
  const std::vector<std::uint64_t> sizes = MessageSizes(count);
  bool useTop = !capaWorked_ || Offers("TOP");
  // Where commands may be pipelined, UIDL goes out right after the last TOP,
  // so that the server works the ids out while the last header files are
  // still being written; otherwise after the last header.
  bool askUidl = MayHaveUidl();
  int window = Offers("PIPELINING") ? kWindow : 1;
  bool uidlSent = false;
  auto command = [useTop](int n) {
    return (useTop ? "TOP " : "RETR ") + std::to_string(n) +
           (useTop ? " 0\r\n" : "\r\n");
  };
  int sent = 0;  // commands sent: messages 1 .. sent
  std::string batch, header;
  for (int n = 1; n <= count; ++n) {
    // Top the window up once half of it has been answered.
    if (sent < count && sent - (n - 1) <= window / 2) {
      batch.clear();
      while (sent < count && sent - (n - 1) < window) batch += command(++sent);
      if (sent == count && askUidl && window > 1) {
        batch += "UIDL\r\n";
        uidlSent = true;
      }
      connection_->Write(batch);
    }
    std::string text;
    if (!ReadStatus(&text)) {
      throw Error("the server " + server_ + " refused the header of message " +
                  std::to_string(n) + Saying(text));
    }
    // TOP n 0 sends the header and the empty line after it; RETR all. The
    // header is everything before the first empty line.
    header.clear();
    bool inHeader = true;
    bool lineStart = true;
    const std::string what = "the header of message " + std::to_string(n);
    ReadMessageLines(what, Pop3ReplyLimit(sizes[n - 1]), [&](std::string_view part, bool ended) {
      if (!inHeader) return;
      if (lineStart && (part == "\r\n" || part == "\n")) {
        inHeader = false;
      } else if (header.size() + part.size() > kHeaderLimit) {
        throw Error("the server " + server_ + " sent more than " +
                    std::to_string(kHeaderLimit) + " bytes for " + what);
      } else {
        header.append(part.data(), part.size());
      }
      lineStart = ended;
    });
    take(n, header);
  }
  if (!askUidl) return std::nullopt;
  if (!uidlSent) Send("UIDL");
  if (!ReadStatus()) return std::nullopt;
  // Ids that cannot tell one message from all others are dropped: the
  // retrieval run then goes by the number and the header, as without UIDL.
  std::vector<std::string> ids(count);
  std::vector<int> listed(count, 0);
  std::unordered_map<std::string, int> uses;
  ReadUniqueIdListing(count, [&](int number, std::string id) {
    if (++listed[number - 1] > 1) id.clear();
    if (!id.empty()) ++uses[id];
    ids[number - 1] = std::move(id);
  });
  for (int k = 0; k < count; ++k) {
    if (listed[k] != 1 || (!ids[k].empty() && uses[ids[k]] > 1)) ids[k].clear();
  }
  return ids;
}

}  // namespace getmail
