#include "tools/getmail/IncomingMessage.h"

#include <gmime/gmime.h>

#include <cstring>

#include "tools/getmail/Attachments.h"
#include "tools/getmail/Errors.h"
#include "tools/getmail/SafeName.h"
#include "tools/getmail/SinkStream.h"
#include "tools/getmail/StateFile.h"

namespace getmail {
namespace {

struct Unref {
  void operator()(GMimeStream* stream) const {
    if (stream != nullptr) g_object_unref(stream);
  }
};
using StreamRef = std::unique_ptr<GMimeStream, Unref>;

// Where the header in `text` ends (the start of the empty line after it), or
// npos if no empty line has come yet; lines ending before `from` are known
// not to be followed by one.
std::size_t HeaderEnd(std::string_view text, std::size_t from) {
  auto empty = [](std::string_view rest) {
    return rest.substr(0, 1) == "\n" || rest.substr(0, 2) == "\r\n";
  };
  if (empty(text)) return 0;
  for (std::size_t lf = text.find('\n', from); lf != std::string_view::npos;
       lf = text.find('\n', lf + 1)) {
    if (empty(text.substr(lf + 1))) return lf + 1;
  }
  return std::string_view::npos;
}

}  // namespace

IncomingMessage::IncomingMessage(std::string bodyName, std::string prefix)
    : bodyName_(std::move(bodyName)), prefix_(std::move(prefix)), body_(bodyName_) {
  StreamRef file(body_.ReadStream());
  parser_ = std::thread(&IncomingMessage::Extract, this, file.get());
  file.release();  // the thread's now
}

IncomingMessage::~IncomingMessage() {
  if (parser_.joinable()) {
    Abandon();
    parser_.join();
  }
}

void IncomingMessage::Abandon() { progress_.End(false); }

void IncomingMessage::Extract(GMimeStream* file) {
  try {
    StreamRef message(NewFollowStream(file, progress_));
    FindAttachments(message.get(), [this](const std::string& name, const ContentWriter& write) {
      if (progress_.abandoned()) return;
      auto temp = std::make_unique<TempFile>(prefix_ + name);
      SinkStream out([&temp](std::string_view data) { temp->Write(data); });
      bool written = write(out.get());
      out.RethrowFailure();  // the file's own error, naming it
      if (!written) throw Error("cannot read " + prefix_ + name + " from the message");
      temp->Close();
      attachments_.push_back({name, std::move(temp)});
    });
  } catch (...) {
    failure_ = std::current_exception();
  }
}

void IncomingMessage::Take(std::string_view piece) {
  std::uint64_t before = body_.written();
  body_.Write(piece);
  if (body_.written() != before) progress_.Advance(body_.written());
  if (!headerEnded_) CollectHeader(piece);
  CountPartLines(piece);
}

void IncomingMessage::CollectHeader(std::string_view piece) {
  // The empty line may begin up to two bytes before this piece.
  std::size_t from = header_.size() < 2 ? 0 : header_.size() - 2;
  header_.append(piece.substr(0, kMaxHeaderBytes + 3 - header_.size()));
  std::size_t end = HeaderEnd(header_, from);
  if (end != std::string::npos) {
    header_.resize(end);
    headerEnded_ = true;
  } else if (header_.size() > kMaxHeaderBytes) {
    header_.clear();
    header_.shrink_to_fit();
    headerEnded_ = headerTooLong_ = true;
    Abandon();  // GMime would hold it all
  }
}

void IncomingMessage::CountPartLines(std::string_view piece) {
  const bool within = partLines_.delimiterLines() <= kMaxDelimiterLines &&
                      partLines_.partHeaderBytes() <= kMaxPartHeaderBytes;
  partLines_.Take(piece);
  if (within && (partLines_.delimiterLines() > kMaxDelimiterLines ||
                 partLines_.partHeaderBytes() > kMaxPartHeaderBytes)) {
    Abandon();
  }
}

void IncomingMessage::Complete() {
  body_.Drain();
  progress_.Advance(body_.written());
  progress_.End(true);
  parser_.join();
  if (partLines_.delimiterLines() > kMaxDelimiterLines) {
    throw Error("the message has more than " + std::to_string(kMaxDelimiterLines) +
                " parts; nothing was saved or deleted");
  }
  if (partLines_.partHeaderBytes() > kMaxPartHeaderBytes) {
    throw Error("the headers of the message's parts come to more than " +
                std::to_string(kMaxPartHeaderBytes / (1024 * 1024)) +
                " MiB; nothing was saved or deleted");
  }
  if (!headerTooLong_ && failure_) std::rethrow_exception(failure_);
}

std::string_view IncomingMessage::Header() const {
  if (headerTooLong_) {
    throw Error("the message's header is longer than " +
                std::to_string(kMaxHeaderBytes / (1024 * 1024)) +
                " MiB; nothing was saved or deleted");
  }
  return header_;  // all of the message if it has no empty line
}

void IncomingMessage::Save() {
  // The folder is read once: for the names an attachment must not take, and
  // for the body file's spellings in other case.
  NameBook book(prefix_);
  book.Reserve(bodyName_);
  book.Reserve(kStateFileName);
  std::vector<std::string> otherSpellings;
  for (const std::string& name : NamesInCurrentFolder()) {
    // Only a name that begins with the prefix can clash with one the book
    // hands out.
    if (SameNameIgnoringCase(std::string_view(name).substr(0, prefix_.size()), prefix_)) {
      book.Reserve(name);
    }
    if (name != bodyName_ && SameNameIgnoringCase(name, bodyName_)) {
      otherSpellings.push_back(name);
    }
  }

  body_.Close();
  // None of the message's files stand unless all do: a run that fails here
  // leaves the message on the server, and the next run saves it again, so
  // what this run put in place goes (only that: never an earlier file).
  std::vector<std::string> placed;
  try {
    for (Attachment& attachment : attachments_) {
      std::string fileName = book.Claim(attachment.name);
      // Another program may have taken the name since the folder was read.
      for (int tries = 1; !attachment.file->PutInPlace(fileName); ++tries) {
        if (tries == 100) throw Error("cannot save " + fileName + ": every name is taken");
        fileName = book.Claim(attachment.name);
      }
      placed.push_back(fileName);
    }
    // Before the rename: where the folder ignores case they are one file.
    for (const std::string& name : otherSpellings) RemoveIfPresent(name);
    body_.ReplaceInPlace(bodyName_);
    placed.push_back(bodyName_);
    SyncCurrentFolder();
  } catch (const Error& failure) {
    std::string left;
    for (const std::string& name : placed) {
      try {
        RemoveIfPresent(name);
      } catch (const Error&) {
        left += (left.empty() ? "" : ", ") + name;
      }
    }
    if (left.empty()) throw;
    throw Error(std::string(failure.what()) + "; " + left +
                " could not be taken back and may stand without the rest of the message");
  }
}

}  // namespace getmail
