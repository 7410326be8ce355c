// The IMAP header run: the mailbox opened read-only, and the header of every
// message in one UID FETCH over the whole range, numbered as the server
// numbered the messages when the mailbox was opened.
#include <algorithm>
#include <numeric>
#include <vector>

#include "tools/getmail/Errors.h"
#include "tools/getmail/HeaderText.h"
#include "tools/getmail/ImapSession.h"
#include "tools/getmail/Pop3Session.h"  // kHeaderLimit, kMessageCountLimit

namespace getmail {

void ImapSession::ReadHeaders(State& state,
                              const std::function<void(int, std::string_view)>& take) {
  Open(/*readOnly=*/true);
  if (exists_ > static_cast<std::uint64_t>(kMessageCountLimit)) {
    throw Error("the server " + server_ + " says mailbox " + mailbox_ + " holds " +
                std::to_string(exists_) + " messages, more than " +
                std::to_string(kMessageCountLimit));
  }
  const int count = static_cast<int>(exists_);
  state.protocol = "imap";
  state.mailbox = mailbox_;
  state.uidValidity = *uidValidity_;
  state.count = count;
  state.marks.assign(static_cast<std::size_t>(count), MessageMark{});
  if (count == 0) return;

  // Messages may be expunged and added while the fetch runs, and the FETCH
  // responses then carry the numbers of that moment: `numbered[k]` is the
  // number at opening (0 for one added since) of the message now at k + 1.
  std::vector<int> numbered(static_cast<std::size_t>(count));
  std::iota(numbered.begin(), numbered.end(), 1);
  std::vector<bool> taken(static_cast<std::size_t>(count), false);
  Untagged untagged;
  untagged.exists = [&](std::uint64_t now) {
    if (now > static_cast<std::uint64_t>(kMessageCountLimit)) {
      throw Error("the server " + server_ + " says mailbox " + mailbox_ + " holds " +
                  std::to_string(now) + " messages");
    }
    if (now > numbered.size()) numbered.resize(static_cast<std::size_t>(now), 0);
  };
  untagged.expunge = [&](std::uint64_t gone) {
    if (gone >= 1 && gone <= numbered.size()) numbered.erase(numbered.begin() + (gone - 1));
  };
  untagged.fetch = [&](std::uint64_t now, ImapReader& reader) {
    std::uint64_t uid = 0;
    std::optional<std::string> header;
    ReadFetchItems(reader, [&](const std::string& item) {
      if (item == "UID") {
        uid = ReadNumber(reader, 0xffffffffu, "a UID");
      } else if (item == "BODY[HEADER]") {
        ImapReader::Token value = reader.Next();
        if (value.kind == ImapReader::Kind::kLiteral) {
          header = reader.LiteralText(kHeaderLimit, "a header");
        } else if (value.kind == ImapReader::Kind::kQuoted) {
          header = value.text;
        } else if (!IsAtom(value, "NIL")) {
          reader.Fail("a header that is neither a string nor NIL");
        }
      } else {
        reader.SkipValue();
      }
    });
    // A FETCH without the header is another one's (a flag changed); one of a
    // message added since the mailbox was opened is not this run's.
    if (!header || now < 1 || now > numbered.size() || numbered[now - 1] == 0) return;
    const int n = numbered[now - 1];
    if (taken[n - 1]) reader.Fail("the header of message " + std::to_string(n) + " twice");
    taken[n - 1] = true;
    if (uid != 0) state.marks[n - 1].uid = std::to_string(uid);
    take(n, HeaderPart(*header));
  };
  Completion fetched = Command("UID FETCH 1:* (UID BODY.PEEK[HEADER])", untagged);
  if (!fetched.ok) throw Refused("to send the headers (UID FETCH)", fetched);
  // A message expunged before its header came still has its number and its
  // header file, empty; without a UID, a retrieval run finds it gone.
  for (int n = 1; n <= count; ++n) {
    if (!taken[n - 1]) take(n, std::string_view());
  }
}

}  // namespace getmail
