// Quarrow's whole job as a user runs it: a quarrow program (from the build
// tree, an install, the Debian package or the Windows download under Wine)
// in batch mode, headless, with the real getmail beside it, against the
// private Dovecot; and what such a job must leave. Shared by the whole-job,
// the package and the Wine tests.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "Corpus.h"
#include "PrivateDovecot.h"
#include "Process.h"

namespace harness {

// The batch command line /login/password/server/port/subject/folder for
// `server`'s mailbox.
std::string BatchCommandLine(const PrivateDovecot& server, int port, const std::string& subject,
                             const std::string& password, const std::string& folder);

// Runs `program` /login/password/server/port/subject/d:\job with drive D:
// mapped to `drive` (which gets the folder "job"), trusting the server's CA,
// with `more` in the environment (QUARROW_GETMAIL_PROTOCOL=imap, say).
// `started`, if given, gets the job's process id as it starts (see
// RunProcess).
ProcessResult RunQuarrowJob(const std::string& program, const PrivateDovecot& server,
                            int port, const std::string& subject,
                            const std::string& password, const std::string& drive,
                            const std::map<std::string, std::optional<std::string>>& more = {},
                            const std::function<void(int pid)>& started = {});

// What a job over `corpus` must leave when it fetches the messages with the
// ids `fetched`: the contents of the .vch files (sorted) and the corpus ids
// left on the server.
struct JobOutcome {
  std::vector<std::string> results;
  std::vector<std::string> idsLeft;
};
JobOutcome ExpectedOutcome(const std::vector<CorpusMessage>& corpus,
                           const std::set<std::string>& fetched);
// The ids of the messages a job for the subject "Velbrin" fetches: those
// whose header holds "Velbrin", and the one with it RFC 2047-encoded.
std::set<std::string> VelbrinIds(const std::vector<CorpusMessage>& corpus);
// What `drive`'s job folder and `server` hold now, in the same form.
JobOutcome ActualOutcome(const std::string& drive, const PrivateDovecot& server);

// Checks (with gtest) that a job over `corpus`, which `server` held, fetched
// the messages with the ids `fetched` into `drive`'s job folder: their
// attachments (or the message itself) ended as well-named .vch files with
// the bytes sent, exactly they are gone from the server, and the others are
// there as they were.
void ExpectFetched(const std::vector<CorpusMessage>& corpus, const std::set<std::string>& fetched,
                   const std::string& drive, const PrivateDovecot& server);

// Checks (with gtest) that after interrupted jobs and a normal one, every
// result of the messages for "Velbrin" is among the .vch files of `drive`'s
// job folder (twice is safe), and only the other messages stay on `server`.
// `trial` names the case in any failure.
void ExpectNothingLost(const std::vector<CorpusMessage>& corpus, const std::string& drive,
                       const PrivateDovecot& server, const std::string& trial);

// The ".vch" files of `folder` whose names are not "YY-MM-DD HH-MM-SS.vch"
// or "YY-MM-DD HH-MM-SS-k.vch", and the files still named "Extract...".
std::vector<std::string> BadlyNamedResults(const std::string& folder);

}  // namespace harness
