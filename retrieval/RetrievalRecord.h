// The hidden record a job keeps in the mail folder while a retrieval run's
// results are not yet renamed: which message ran, which body file it may
// write and how that file stood before the run. A job that finds one left
// behind (the last one was killed, or the power went) finishes those
// renames first, so the next header pass cannot delete a fetched message's
// only copy and no stale extract file passes for the next message's.
#pragma once

#include <optional>
#include <string>

#include "platform/Platform.h"

namespace quarrow {

struct RetrievalRecord {
  int message = 0;     // the message number of the run
  Text bodyFile;       // "msg<N+1>.txt", a bare name in the mail folder
  FileState bodyBefore;  // the body file's state just before the run

  bool operator==(const RetrievalRecord& o) const {
    return message == o.message && bodyFile == o.bodyFile &&
           bodyBefore == o.bodyBefore;
  }
};

// Its name in the mail folder: hidden, and matching no pattern the passes
// list.
extern const wchar_t kRetrievalRecordName[];

// The record as the bytes of the file: a first line naming the format, then
// one "key value" line for each field.
std::string FormatRecord(const RetrievalRecord& record);
// Nothing for bytes that are not a whole record of this format.
std::optional<RetrievalRecord> ParseRecord(const std::string& bytes);

}  // namespace quarrow
