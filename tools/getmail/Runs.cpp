#include "tools/getmail/Runs.h"

#include <memory>
#include <string>

#include "tools/getmail/Errors.h"
#include "tools/getmail/Files.h"
#include "tools/getmail/HeaderText.h"
#include "tools/getmail/IncomingMessage.h"
#include "tools/getmail/MailSession.h"
#include "tools/getmail/Settings.h"
#include "tools/getmail/StateFile.h"
#include "tools/getmail/Stopping.h"
#include "tools/getmail/TokenCommand.h"

namespace getmail {

std::string HeaderFileName(int n) { return "MSG" + std::to_string(n) + ".TXT"; }

void HeaderRun(const Options& options) {
  // Retrieval runs must never go by the numbers of an earlier header run.
  ForgetState();
  std::unique_ptr<MailSession> session = OpenMailSession(
      options.server, options.port, CredentialsFor(options), TimeoutFromEnvironment());
  State state;
  state.server = options.server;
  state.port = options.port;
  state.login = options.login;
  session->ReadHeaders(state, [&state](int n, std::string_view header) {
    WriteFileAtomically(HeaderFileName(n), std::string(TextFileMark()) + HeaderText(header),
                        false);
    state.marks[n - 1].print = HeaderFingerprint(header);
  });
  SaveState(state);
  // Nothing was changed, so how the session ends changes nothing.
  try {
    session->Leave();
  } catch (const Error&) {
  }
}

namespace {

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
  const MailboxChoice choice = ChooseMailbox(options.port);
  if (state->server != options.server || state->port != options.port ||
      state->login != options.login || state->protocol != choice.protocol ||
      state->mailbox != choice.mailbox) {
    throw Error("the last header run in this folder read another mailbox (" +
                    state->login + " on " + state->server + " port " +
                    std::to_string(state->port) +
                    (state->mailbox.empty() ? "" : ", " + state->mailbox) +
                    "); run -headersonly first",
                kMessageGone);
  }
  if (i > state->count) {
    throw Error("the last header run found " + std::to_string(state->count) +
                    " messages, so there is no message " + std::to_string(i),
                kMessageGone);
  }

  std::unique_ptr<MailSession> session = OpenMailSession(
      options.server, options.port, CredentialsFor(options), TimeoutFromEnvironment());
  const std::uint64_t found = session->Find(*state, i);
  // The body file, numbered one past the header files. The message goes to
  // its temporary file as it arrives; nothing is put in place before its
  // header has been checked.
  IncomingMessage message(HeaderFileName(state->count + 1), options.prefix);
  session->Retrieve(found, [&message](std::string_view piece) { message.Take(piece); });
  message.Complete();
  CheckHeader(*state, i, message.Header());
  // Never over a file already here (an extract file that Quarrow has not
  // renamed yet may be all that is left of a message deleted before), except
  // an earlier body file.
  message.Save();

  // Everything is on disk: now, and only now, delete the message. A stop
  // from here on lets the session finish.
  DeletionUnderWay();
  session->Delete(found);
  try {
    session->Commit();
  } catch (const Error& error) {
    throw Error(std::string(error.what()) +
                    "; the message is saved, but it may still be on the server",
                kDeleteUnconfirmed);
  }
}

}  // namespace getmail
