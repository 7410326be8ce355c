// The IMAP retrieval run: the message found by its UID in the mailbox the
// header run read (SELECT, same UIDVALIDITY), fetched without setting \Seen,
// and only then deleted by its UID alone (UID STORE and UID EXPUNGE), or
// moved (UID MOVE, or UID COPY, UID STORE and UID EXPUNGE).
#include "tools/getmail/Errors.h"
#include "tools/getmail/ImapSession.h"
#include "tools/getmail/ReplyText.h"
#include "tools/getmail/Report.h"
#include "tools/getmail/Settings.h"

namespace getmail {
namespace {

constexpr std::uint64_t kUidLimit = 0xffffffffu;

Error Gone(int i, const std::string& why) {
  return Error("message " + std::to_string(i) + " of the header run " + why +
                   "; nothing was fetched or deleted",
               kMessageGone);
}

}  // namespace

std::uint64_t ImapSession::Find(const State& state, int i) {
  Open(/*readOnly=*/false);
  if (*uidValidity_ != state.uidValidity) {
    throw Error("mailbox " + mailbox_ + " on " + server_ +
                    " is not the one the header run read (its UIDVALIDITY has changed), "
                    "so its messages cannot be told apart; nothing was fetched or "
                    "deleted; run -headersonly again",
                kMessageGone);
  }
  const std::string& noted = state.marks[i - 1].uid;
  std::string_view digits = noted;
  const std::uint64_t uid = TakeNumber(digits, kUidLimit).value_or(0);
  if (uid == 0 || !digits.empty()) throw Gone(i, "has no UID to be found by");
  bool found = false;
  Untagged untagged;
  untagged.fetch = [&](std::uint64_t, ImapReader& reader) {
    std::uint64_t seen = 0;
    std::optional<std::uint64_t> size;
    ReadFetchItems(reader, [&](const std::string& item) {
      if (item == "UID") {
        seen = ReadNumber(reader, kUidLimit, "a UID");
      } else if (item == "RFC822.SIZE") {
        size = ReadNumber(reader, kSizeLimit, "a size");
      } else {
        reader.SkipValue();
      }
    });
    if (seen != uid) return;
    found = true;
    if (size) announced_ = size;
  };
  Completion fetched = Command("UID FETCH " + noted + " (UID RFC822.SIZE)", untagged);
  if (!fetched.ok) throw Refused("to find message " + std::to_string(i) + " (UID FETCH)", fetched);
  if (!found) throw Gone(i, "(UID " + noted + ") is no longer on the server");
  return uid;
}

std::uint64_t ImapSession::Retrieve(std::uint64_t uid,
                                    const std::function<void(std::string_view)>& sink) {
  const std::string name = "message UID " + std::to_string(uid);
  std::optional<std::uint64_t> delivered;
  Untagged untagged;
  untagged.fetch = [&](std::uint64_t, ImapReader& reader) {
    std::uint64_t seen = 0;
    bool carried = false;  // this response brought the message
    ReadFetchItems(reader, [&](const std::string& item) {
      if (item == "UID") {
        seen = ReadNumber(reader, kUidLimit, "a UID");
        return;
      }
      if (item != "BODY[]") {
        reader.SkipValue();
        return;
      }
      if (delivered) reader.Fail(name + " twice");
      ImapReader::Token value = reader.Next();
      if (value.kind == ImapReader::Kind::kLiteral) {
        // The literal's size is checked against the size announced before
        // a byte of it is taken: a message is never cut or run on.
        if (announced_ && value.size != *announced_) {
          throw Error("the server " + server_ + " announced " + std::to_string(*announced_) +
                      " bytes for " + name + " (RFC822.SIZE) but sends " +
                      std::to_string(value.size) + "; the message is left on the server");
        }
        reader.StreamLiteral(sink);
        delivered = value.size;
        carried = true;
      } else if (value.kind == ImapReader::Kind::kQuoted) {
        sink(value.text);
        delivered = value.text.size();
        carried = true;
      } else if (!IsAtom(value, "NIL")) {
        reader.Fail("a message that is neither a string nor NIL");
      }
    });
    if (carried && seen != uid) {
      reader.Fail("another message than " + name + " (UID " + std::to_string(seen) + ")");
    }
  };
  Completion fetched = Command("UID FETCH " + std::to_string(uid) + " (UID BODY.PEEK[])",
                               untagged);
  if (!fetched.ok) throw Refused("to send " + name + " (UID FETCH)", fetched);
  if (!delivered) {
    throw Error("the server " + server_ + " no longer has " + name +
                    "; nothing was saved or deleted",
                kMessageGone);
  }
  return *delivered;
}

void ImapSession::Delete(std::uint64_t uid) {
  const std::string id = std::to_string(uid);
  moveTo_ = FromEnvironment(kImapMoveToVariable);
  deleting_ = uid;
  if (!moveTo_.empty() && Offers("MOVE")) return;  // Commit() moves it in one step
  if (!moveTo_.empty()) {
    Completion copied = Command("UID COPY " + id + " " + MailboxArgument(moveTo_));
    if (!copied.ok) {
      throw Refused("to copy message UID " + id + " to " + moveTo_ +
                        " (UID COPY); nothing was deleted",
                    copied);
    }
  }
  Completion flagged = Command("UID STORE " + id + " +FLAGS.SILENT (\\Deleted)");
  if (!flagged.ok) {
    throw Refused("to flag message UID " + id + " \\Deleted (UID STORE); nothing was deleted",
                  flagged);
  }
}

void ImapSession::Commit() {
  const std::string id = std::to_string(deleting_);
  if (deleting_ != 0 && !moveTo_.empty() && Offers("MOVE")) {
    Completion moved = Command("UID MOVE " + id + " " + MailboxArgument(moveTo_));
    if (!moved.ok) throw Refused("to move message UID " + id + " to " + moveTo_ + " (UID MOVE)", moved);
  } else if (deleting_ != 0 && Offers("UIDPLUS")) {
    Completion expunged = Command("UID EXPUNGE " + id);
    if (!expunged.ok) throw Refused("to expunge message UID " + id + " (UID EXPUNGE)", expunged);
  } else if (deleting_ != 0) {
    // A plain EXPUNGE would take every message any client has flagged.
    Report("getmail: the server " + server_ +
           " offers no UIDPLUS, so message UID " + id +
           " is flagged \\Deleted but left in mailbox " + mailbox_ +
           " until another mail client expunges it\n");
  }
  deleting_ = 0;
  // The change is made; how the session ends changes nothing.
  try {
    Leave();
  } catch (const Error&) {
  }
}

}  // namespace getmail
