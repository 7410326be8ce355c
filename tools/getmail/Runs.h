// The tool's two jobs: the header run and the retrieval run of one message.
#pragma once

#include "tools/getmail/CommandLine.h"

namespace getmail {

// Header run: writes "MSG" + n + ".TXT" for every message n on the server and
// the state file for the retrieval runs. Throws Error.
void HeaderRun(const Options& options);

// Retrieval run for message options.message (its number in the last header
// run): saves it as "MSG" + (N + 1) + ".TXT" and its attachments as
// options.prefix + name, and only then deletes it from the server. Throws
// Error; on any failure before the deletion the session is dropped without
// QUIT, so nothing is deleted.
void RetrievalRun(const Options& options);

// The name of the header file for message n.
std::string HeaderFileName(int n);

}  // namespace getmail
