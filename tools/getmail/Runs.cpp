#include "tools/getmail/Runs.h"

#include <string>

#include "tools/getmail/Errors.h"
#include "tools/getmail/Files.h"
#include "tools/getmail/HeaderText.h"
#include "tools/getmail/IncomingMessage.h"
#include "tools/getmail/Pop3Session.h"
#include "tools/getmail/StateFile.h"

namespace getmail {

std::string HeaderFileName(int n) { return "MSG" + std::to_string(n) + ".TXT"; }

void HeaderRun(const Options& options) {
  // Retrieval runs must never go by the numbers of an earlier header run.
  ForgetState();
  Pop3Session session(options.server, options.port, options.login,
                      options.password, TimeoutFromEnvironment());
  State state;
  state.server = options.server;
  state.port = options.port;
  state.login = options.login;
  state.count = session.MessageCount();
  state.prints.reserve(state.count);
  std::optional<std::vector<std::string>> uids = session.HeadersAndUniqueIds(
      state.count, [&state](int n, std::string_view header) {
        WriteFileAtomically(HeaderFileName(n), HeaderText(header), false);
        state.prints.push_back(HeaderFingerprint(header));
      });
  if (uids) {
    if (static_cast<int>(uids->size()) > state.count) {
      throw Error("the server listed more unique ids than messages");
    }
    uids->resize(state.count);
    state.hasUids = true;
    state.uids = std::move(*uids);
  }
  SaveState(state);
  // Nothing was deleted, so how the session ends changes nothing.
  try {
    session.Quit();
  } catch (const Error&) {
  }
}

namespace {

// The number that message i of the header run has in this session: found
// again by its unique id, since numbers last one session only and another
// mail client may have deleted mail in between. By the number itself where
// the server gave no id (CheckHeader then makes sure of it once fetched).
// Throws Error (kMessageGone) if it is gone.
int FindMessage(Pop3Session& session, const State& state, int i) {
  const std::string uid = state.hasUids ? state.uids[i - 1] : std::string();
  if (uid.empty()) {
    if (session.MessageCount() < i) {
      throw Error("message " + std::to_string(i) +
                      " is no longer on the server; nothing was fetched or "
                      "deleted",
                  kMessageGone);
    }
    return i;
  }
  std::optional<std::string> now = session.UniqueId(i);
  if (now && *now == uid) return i;  // nothing has moved
  std::optional<std::vector<std::string>> uids = session.UniqueIds();
  if (!uids) throw Error("the server no longer lists unique ids (UIDL)");
  for (std::size_t k = 0; k < uids->size(); ++k) {
    if ((*uids)[k] == uid) return static_cast<int>(k) + 1;
  }
  throw Error("message " + std::to_string(i) + " of the header run (id " + uid +
                  ") is no longer on the server; nothing was fetched or "
                  "deleted",
              kMessageGone);
}

// Where the server has no unique ids, the fetched `message` must still have
// the header that message i had in the header run: since then another mail
// client, or an earlier retrieval run from the same header run, may have
// deleted mail and moved another message to number i. Throws Error
// (kMessageGone) if it has not.
void CheckHeader(const State& state, int i, std::string_view message) {
  if (state.hasUids) return;
  if (HeaderFingerprint(HeaderPart(message)) != state.prints[i - 1]) {
    throw Error("message " + std::to_string(i) +
                    " of the header run is no longer on the server under that "
                    "number (the server has no unique ids to find it by); "
                    "nothing was saved or deleted",
                kMessageGone);
  }
}

}  // namespace

void RetrievalRun(const Options& options) {
  const int i = options.message;
  std::optional<State> state = LoadState();
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

  Pop3Session session(options.server, options.port, options.login,
                      options.password, TimeoutFromEnvironment());
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
