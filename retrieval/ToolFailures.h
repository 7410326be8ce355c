// Telling the user about tool runs that ended reporting a failure. The
// passes go on after such a run as after any other; this note after the
// pass is what keeps a failure from passing for success.
#pragma once

#include "retrieval/Job.h"

namespace quarrow {

// "exit status 1", "exit status 0xC0000005", "ended by signal 9".
Text DescribeExit(const ProcessExit& exit);

// The tool's own message as the note shows it: on one line, control
// characters as blanks, every occurrence of `password` masked, and cut to
// kReasonLength characters. Server text can reach the tool's messages.
Text ShownReason(const Text& message, const Text& password);
constexpr size_t kReasonLength = 300;

// The note on the job's unreported failures, each run on a line of its own
// with the tool's last message where there is one ("Header run: exit status
// 1 — the certificate of localhost is not trusted: ..."), and where the
// tool's messages can be read; empty when there are none. They count as
// reported afterwards.
Text TakeToolFailureNote(Job& job);

// Shows that note in one warning box, if there is one. Run at the end of
// each pass.
void ReportToolFailures(Job& job);

}  // namespace quarrow
