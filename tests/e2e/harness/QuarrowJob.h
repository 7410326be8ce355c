// Quarrow's whole job as a user runs it: a quarrow program (from the build
// tree, an install or the Debian package) in batch mode, headless, with the
// real getmail beside it, against the private Dovecot. Shared by the
// whole-job and the package tests.
#pragma once

#include <string>
#include <vector>

#include "Corpus.h"
#include "PrivateDovecot.h"
#include "Process.h"

namespace harness {

// Runs `program` /login/password/server/port/subject/d:\job with drive D:
// mapped to `drive` (which gets the folder "job"), trusting the server's CA.
ProcessResult RunQuarrowJob(const std::string& program, const PrivateDovecot& server,
                            int port, const std::string& subject,
                            const std::string& password, const std::string& drive);

// What a job for the subject "Velbrin" over `corpus` must leave: the
// contents of the .vch files (sorted) and the corpus ids left on the server.
struct JobOutcome {
  std::vector<std::string> results;
  std::vector<std::string> idsLeft;
};
JobOutcome VelbrinOutcome(const std::vector<CorpusMessage>& corpus);
// What `drive`'s job folder and `server` hold now, in the same form.
JobOutcome ActualOutcome(const std::string& drive, const PrivateDovecot& server);

// The ".vch" files of `folder` whose names are not "YY-MM-DD HH-MM-SS.vch"
// or "YY-MM-DD HH-MM-SS-k.vch", and the files still named "Extract...".
std::vector<std::string> BadlyNamedResults(const std::string& folder);

}  // namespace harness
