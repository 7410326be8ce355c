#include "tools/getmail/Runs.h"

#include <string>

#include "tools/getmail/Errors.h"
#include "tools/getmail/Files.h"
#include "tools/getmail/HeaderText.h"
#include "tools/getmail/IncomingMessage.h"
#include "tools/getmail/Pop3Session.h"
#include "tools/getmail/ServerText.h"
#include "tools/getmail/Settings.h"
#include "tools/getmail/StateFile.h"
#include "tools/getmail/TokenCommand.h"

namespace getmail {

std::string HeaderFileName(int n) { return "MSG" + std::to_string(n) + ".TXT"; }

void HeaderRun(const Options& options) {
  // Retrieval runs must never go by the numbers of an earlier header run.
  ForgetState();
  Pop3Session session(options.server, options.port, CredentialsFor(options),
                      TimeoutFromEnvironment());
  State state;
  state.server = options.server;
  state.port = options.port;
  state.login = options.login;
  state.count = session.MessageCount();
  std::optional<std::vector<std::string>> uids = session.HeadersAndUniqueIds(
      state.count, [&state](int n, std::string_view header) {
        WriteFileAtomically(HeaderFileName(n),
                            std::string(TextFileMark()) + HeaderText(header), false);
        state.marks.push_back({HeaderFingerprint(header), std::string()});
      });
  if (uids) {
    for (int n = 1; n <= state.count; ++n) state.marks[n - 1].uid = std::move((*uids)[n - 1]);
  }
  SaveState(state);
  // Nothing was deleted, so how the session ends changes nothing.
  try {
    session.Quit();
  } catch (const Error&) {
  }
}

namespace {

Error Gone(int i, const std::string& why) {
  return Error("message " + std::to_string(i) + " of the header run " + why +
                   "; nothing was fetched or deleted",
               kMessageGone);
}

// The number that message i of the header run has in this session: found
// again by its unique id, since numbers last one session only and another
// mail client may have deleted mail in between. By the number itself where
// the message had no id to go by (CheckHeader then makes sure of it), or
// where two messages now have its id. Throws Error (kMessageGone) if it is
// gone.
int FindMessage(Pop3Session& session, const State& state, int i) {
  const std::string& uid = state.marks[i - 1].uid;
  if (!uid.empty()) {
    std::optional<std::string> now = session.UniqueId(i);
    if (now && *now == uid) return i;  // nothing has moved
  }
  const int count = session.MessageCount();
  if (!uid.empty()) {
    std::optional<std::vector<int>> numbers = session.MessagesWithUniqueId(uid, count);
    if (!numbers) throw Error("the server no longer lists unique ids (UIDL)");
    if (numbers->empty()) {
      throw Gone(i, "(id " + Shown(uid) + ") is no longer on the server");
    }
    if (numbers->size() == 1) return numbers->front();
  }
  if (count < i) throw Gone(i, "is no longer on the server");
  return i;
}

// The fetched message must still have the header that message i had in the
// header run, whatever found it: where it went by the number, another mail
// client or an earlier retrieval run from the same header run may have
// deleted mail and moved another message to number i; and a server may hand
// out ids that do not stay with their messages. Throws Error (kMessageGone)
// if it has not.
void CheckHeader(const State& state, int i, std::string_view header) {
  if (HeaderFingerprint(header) != state.marks[i - 1].print) {
    throw Error("message " + std::to_string(i) +
                    " of the header run is no longer on the server as it was "
                    "(another message, or another header, is in its place); "
                    "nothing was saved or deleted",
                kMessageGone);
  }
}

}  // namespace

void RetrievalRun(const Options& options) {
  const int i = options.message;
  std::optional<State> state = LoadState(i);
  if (!state) {
    throw Error("there is no header run in this folder to take message " +
                    std::to_string(i) + " from; run -headersonly first",
                kMessageGone);
  }
  if (state->server != options.server || state->port != options.port ||
      state->login != options.login) {
    throw Error("the last header run in this folder read another mailbox (" +
                    state->login + " on " + state->server + " port " +
                    std::to_string(state->port) + "); run -headersonly first",
                kMessageGone);
  }
  if (i > state->count) {
    throw Error("the last header run found " + std::to_string(state->count) +
                    " messages, so there is no message " + std::to_string(i),
                kMessageGone);
  }

  Pop3Session session(options.server, options.port, CredentialsFor(options),
                      TimeoutFromEnvironment());
  const int number = FindMessage(session, *state, i);
  // The body file, numbered one past the header files. The message goes to
  // its temporary file as it arrives; nothing is put in place before its
  // header has been checked.
  IncomingMessage message(HeaderFileName(state->count + 1), options.prefix);
  session.Retrieve(number, [&message](std::string_view piece) { message.Take(piece); });
  message.Complete();
  CheckHeader(*state, i, message.Header());
  // Never over a file already here (an extract file that Quarrow has not
  // renamed yet may be all that is left of a message deleted before), except
  // an earlier body file.
  message.Save();

  // Everything is on disk: now, and only now, delete the message.
  session.Delete(number);
  try {
    session.Quit();
  } catch (const Error& error) {
    throw Error(std::string(error.what()) +
                    "; the message is saved, but it may still be on the server",
                kDeleteUnconfirmed);
  }
}

}  // namespace getmail
