// A POP3 session as the runs see it: the header run's listing, and message
// i of the header run found again in a retrieval run's session.
#include "tools/getmail/Errors.h"
#include "tools/getmail/Pop3Session.h"
#include "tools/getmail/ServerText.h"

namespace getmail {
namespace {

Error Gone(int i, const std::string& why) {
  return Error("message " + std::to_string(i) + " of the header run " + why +
                   "; nothing was fetched or deleted",
               kMessageGone);
}

}  // namespace

void Pop3Session::ReadHeaders(State& state,
                              const std::function<void(int, std::string_view)>& take) {
  state.protocol = "pop3";
  state.count = MessageCount();
  state.marks.assign(static_cast<std::size_t>(state.count), MessageMark{});
  std::optional<std::vector<std::string>> uids = HeadersAndUniqueIds(state.count, take);
  if (uids) {
    for (int n = 1; n <= state.count; ++n) state.marks[n - 1].uid = std::move((*uids)[n - 1]);
  }
}

// The number that message i of the header run has in this session: found
// again by its unique id, since numbers last one session only and another
// mail client may have deleted mail in between. By the number itself where
// the message had no id to go by (the runs' header check then makes sure of
// it), or where two messages now have its id. Throws Error (kMessageGone) if
// it is gone.
std::uint64_t Pop3Session::Find(const State& state, int i) {
  const std::string& uid = state.marks[i - 1].uid;
  if (!uid.empty()) {
    std::optional<std::string> now = UniqueId(i);
    if (now && *now == uid) return static_cast<std::uint64_t>(i);  // nothing has moved
  }
  const int count = MessageCount();
  if (!uid.empty()) {
    std::optional<std::vector<int>> numbers = MessagesWithUniqueId(uid, count);
    if (!numbers) throw Error("the server no longer lists unique ids (UIDL)");
    if (numbers->empty()) {
      throw Gone(i, "(id " + Shown(uid) + ") is no longer on the server");
    }
    if (numbers->size() == 1) return static_cast<std::uint64_t>(numbers->front());
  }
  if (count < i) throw Gone(i, "is no longer on the server");
  return static_cast<std::uint64_t>(i);
}

std::uint64_t Pop3Session::Retrieve(std::uint64_t found,
                                    const std::function<void(std::string_view)>& sink) {
  return Retrieve(static_cast<int>(found), sink);
}

void Pop3Session::Delete(std::uint64_t found) { Delete(static_cast<int>(found)); }

}  // namespace getmail
