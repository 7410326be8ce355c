#include "tools/getmail/ImapSession.h"

#include <algorithm>
#include <sstream>

#include "tools/getmail/Errors.h"
#include "tools/getmail/ReplyText.h"
#include "tools/getmail/ServerText.h"
#include "tools/getmail/Settings.h"

namespace getmail {
namespace {

// The most capabilities taken from one list.
constexpr std::size_t kCapabilityLimit = 1000;
// The untagged responses any command may get, beyond those its mailbox's
// messages account for.
constexpr std::uint64_t kUntaggedBase = 10000;
// The largest message number taken.
constexpr std::uint64_t kNumberLimit = 0xffffffffu;

// The number an atom holds, if it is all digits and not above `limit`.
std::optional<std::uint64_t> NumberOf(const ImapReader::Token& token, std::uint64_t limit) {
  if (token.kind != ImapReader::Kind::kAtom) return std::nullopt;
  std::string_view text = token.text;
  std::optional<std::uint64_t> number = TakeNumber(text, limit);
  if (!number || !text.empty()) return std::nullopt;
  return number;
}

}  // namespace

ImapSession::ImapSession(const std::string& server, int port, const Credentials& credentials,
                         std::chrono::milliseconds timeout, std::string mailbox)
    : server_(server),
      mailbox_(std::move(mailbox)),
      connection_(Connect(server, port, timeout)),
      lines_(*connection_, server, timeout),
      reader_(lines_, server) {
  const bool implicitTls = IsImplicitTlsPort(port);
  if (implicitTls) connection_->StartTls();
  lines_.StartReply();
  reader_.Begin();
  if (!IsAtom(reader_.Next(), "*")) reader_.Fail("a greeting that is not IMAP's");
  const ImapReader::Token status = reader_.Next();
  const std::string text = reader_.Rest();
  if (IsAtom(status, "BYE")) {
    throw Error("the server " + server + " turned the connection away" + Saying(text));
  }
  const bool signedIn = IsAtom(status, "PREAUTH");
  if (!signedIn && !IsAtom(status, "OK")) reader_.Fail("a greeting that is not IMAP's");
  NoteCode(text);
  if (capabilities_.empty()) ReadCapabilities();
  if (!implicitTls && !signedIn && Offers("STARTTLS")) {
    Completion started = Command("STARTTLS");
    if (!started.ok) throw Refused("starting TLS (STARTTLS)", started);
    // Whatever came after the reply was never under TLS: a man in the
    // middle may have put it there to be read as the server's.
    if (lines_.HasUnread()) {
      throw Error("the server " + server + " sent more after agreeing to STARTTLS");
    }
    connection_->StartTls();
    // What was learnt before TLS may have been changed on the way: ask again.
    capabilities_.clear();
    ReadCapabilities();
  }
  if (signedIn) return;  // the server knows us by the connection
  if (credentials.token) {
    LoginWithToken(credentials.login, *credentials.token);
  } else {
    if (!connection_->IsTls() && !PlainTextAllowed()) {
      throw Error("the server " + server + " offers no TLS on port " + std::to_string(port) +
                  " (no STARTTLS), so the password would go in plain text; it was "
                  "not sent. To send it anyway, set " +
                  kPlainTextVariable + "=" + kPlainTextAllowed);
    }
    Login(credentials.login, credentials.password);
  }
  // The capabilities change with the sign-in (UIDPLUS, MOVE).
  capabilities_.clear();
  ReadCapabilities();
}

bool ImapSession::Offers(const std::string& capability) const {
  return capabilities_.count(Upper(capability)) > 0;
}

std::string ImapSession::NextTag() { return "Q" + std::to_string(++tags_); }

void ImapSession::Send(const std::string& line) { connection_->Write(line + "\r\n"); }

ImapSession::Completion ImapSession::Command(const std::string& command,
                                             const Untagged& untagged) {
  const std::string tag = NextTag();
  Send(tag + " " + command);
  return Await(tag, untagged);
}

ImapSession::Completion ImapSession::Await(const std::string& tag, const Untagged& untagged,
                                           std::string* continuation) {
  lines_.StartReply();
  // A server may send untagged responses at any time, but not without end:
  // a few for each message the mailbox held when the command went out.
  const std::uint64_t most = kUntaggedBase + 4 * std::min<std::uint64_t>(exists_, kNumberLimit / 8);
  for (std::uint64_t untaggedCount = 0;;) {
    reader_.Begin();
    const ImapReader::Token first = reader_.Next();
    if (IsAtom(first, "*")) {
      if (++untaggedCount > most) {
        reader_.Fail("more than " + std::to_string(most) + " untagged responses to one command");
      }
      HandleUntagged(untagged);
      continue;
    }
    if (IsAtom(first, "+") && continuation != nullptr) {
      *continuation = reader_.Rest();
      Completion request;
      request.continued = true;
      return request;
    }
    if (first.kind != ImapReader::Kind::kAtom || first.text != tag) {
      reader_.Fail("a response that answers nothing it was asked: " + Shown(first.text));
    }
    const ImapReader::Token status = reader_.Next();
    Completion completion;
    completion.text = reader_.Rest();
    if (IsAtom(status, "OK")) {
      completion.ok = true;
    } else if (!IsAtom(status, "NO") && !IsAtom(status, "BAD")) {
      reader_.Fail("a completion that is neither OK, NO nor BAD: " + Shown(status.text));
    }
    NoteCode(completion.text);
    return completion;
  }
}

void ImapSession::HandleUntagged(const Untagged& untagged) {
  const ImapReader::Token head = reader_.Next();
  if (std::optional<std::uint64_t> number = NumberOf(head, kNumberLimit)) {
    const ImapReader::Token what = reader_.Next();
    if (IsAtom(what, "EXISTS")) {
      exists_ = *number;
      if (untagged.exists) untagged.exists(*number);
    } else if (IsAtom(what, "EXPUNGE")) {
      if (exists_ > 0) --exists_;
      if (untagged.expunge) untagged.expunge(*number);
    } else if (IsAtom(what, "FETCH") && untagged.fetch) {
      untagged.fetch(*number, reader_);
    }
    reader_.SkipResponse();
    return;
  }
  if (IsAtom(head, "BYE")) {
    const std::string text = reader_.Rest();
    if (loggingOut_) return;
    throw Error("the server " + server_ + " ended the session (BYE)" + Saying(text));
  }
  if (IsAtom(head, "OK") || IsAtom(head, "NO") || IsAtom(head, "BAD")) {
    NoteCode(reader_.Rest());
    return;
  }
  if (IsAtom(head, "CAPABILITY")) {
    capabilities_.clear();
    for (ImapReader::Token token = reader_.Next(); token.kind != ImapReader::Kind::kEnd;
         token = reader_.Next()) {
      if (token.kind == ImapReader::Kind::kAtom && capabilities_.size() < kCapabilityLimit) {
        capabilities_.insert(Upper(token.text));
      }
    }
    return;
  }
  reader_.SkipResponse();
}

void ImapSession::NoteCode(const std::string& text) {
  if (text.empty() || text[0] != '[') return;
  const std::size_t end = text.find(']');
  if (end == std::string::npos) return;
  std::istringstream words(text.substr(1, end - 1));
  std::string code;
  words >> code;
  code = Upper(code);
  if (code == "CAPABILITY") {
    capabilities_.clear();
    std::string word;
    while (words >> word && capabilities_.size() < kCapabilityLimit) {
      capabilities_.insert(Upper(word));
    }
  } else if (code == "UIDVALIDITY") {
    std::string word;
    words >> word;
    std::string_view rest = word;
    std::optional<std::uint64_t> value = TakeNumber(rest, kNumberLimit);
    if (value && rest.empty() && *value > 0) uidValidity_ = static_cast<std::uint32_t>(*value);
  }
}

void ImapSession::ReadCapabilities() {
  Completion completion = Command("CAPABILITY");
  if (!completion.ok) throw Refused("to list its capabilities (CAPABILITY)", completion);
}

void ImapSession::Open(bool readOnly) {
  uidValidity_.reset();
  exists_ = 0;
  const std::string verb = readOnly ? "EXAMINE" : "SELECT";
  Completion opened = Command(verb + " " + MailboxArgument(mailbox_));
  if (!opened.ok) throw Refused("to open mailbox " + mailbox_ + " (" + verb + ")", opened);
  if (!uidValidity_) {
    throw Error("the server " + server_ + " gave no UIDVALIDITY for mailbox " + mailbox_ +
                ", so its messages cannot be told apart from one run to the next");
  }
}

Error ImapSession::Refused(const std::string& what, const Completion& completion) const {
  return Error("the server " + server_ + " refused " + what + Saying(completion.text));
}

void ImapSession::Leave() {
  loggingOut_ = true;
  Command("LOGOUT");
}

}  // namespace getmail
