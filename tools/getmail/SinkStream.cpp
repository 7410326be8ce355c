#include "tools/getmail/SinkStream.h"

#include <gmime/gmime.h>

namespace getmail {

// The GObject type behind SinkStream: a GMimeStream with a pointer back to
// its SinkStream. GMimeStream's own methods fail every call but write and
// flush.
struct GetmailSinkStream {
  GMimeStream parent;
  SinkStream* owner;
};
struct GetmailSinkStreamClass {
  GMimeStreamClass parent;
};

G_DEFINE_TYPE(GetmailSinkStream, getmail_sink_stream, GMIME_TYPE_STREAM)

struct SinkStreamAccess {
  static ssize_t Write(GMimeStream* stream, const char* data, size_t size) {
    SinkStream* owner = reinterpret_cast<GetmailSinkStream*>(stream)->owner;
    if (owner == nullptr || owner->failure_) return -1;
    try {
      owner->sink_(std::string_view(data, size));
    } catch (...) {
      owner->failure_ = std::current_exception();
      return -1;
    }
    stream->position += static_cast<gint64>(size);
    return static_cast<ssize_t>(size);
  }
  static int Flush(GMimeStream*) { return 0; }
  static gint64 Tell(GMimeStream* stream) { return stream->position; }
};

static void getmail_sink_stream_init(GetmailSinkStream* stream) { stream->owner = nullptr; }

static void getmail_sink_stream_class_init(GetmailSinkStreamClass* type) {
  GMimeStreamClass* stream = GMIME_STREAM_CLASS(type);
  stream->write = SinkStreamAccess::Write;
  stream->flush = SinkStreamAccess::Flush;
  stream->tell = SinkStreamAccess::Tell;
}

SinkStream::SinkStream(std::function<void(std::string_view)> sink)
    : sink_(std::move(sink)),
      stream_(GMIME_STREAM(g_object_new(getmail_sink_stream_get_type(), nullptr))) {
  g_mime_stream_construct(stream_, 0, -1);
  reinterpret_cast<GetmailSinkStream*>(stream_)->owner = this;
}

SinkStream::~SinkStream() {
  reinterpret_cast<GetmailSinkStream*>(stream_)->owner = nullptr;
  g_object_unref(stream_);
}

void SinkStream::RethrowFailure() const {
  if (failure_) std::rethrow_exception(failure_);
}

}  // namespace getmail
