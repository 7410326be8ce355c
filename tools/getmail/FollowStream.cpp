#include "tools/getmail/FollowStream.h"

#include <gmime/gmime.h>

#include <algorithm>
#include <cstring>

namespace getmail {

void WriteProgress::Advance(std::uint64_t bytes) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    written_ = bytes;
  }
  changed_.notify_all();
}

void WriteProgress::End(bool whole) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ended_ = true;
    if (!whole) whole_ = false;
  }
  changed_.notify_all();
}

std::uint64_t WriteProgress::WaitBeyond(std::uint64_t position) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return written_ > position || ended_ || !whole_; });
  return Limit();
}

std::uint64_t WriteProgress::WaitForEnd() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return ended_; });
  return Limit();
}

bool WriteProgress::EndsAt(std::uint64_t position) {
  std::lock_guard<std::mutex> lock(mutex_);
  return ended_ && position >= Limit();
}

bool WriteProgress::abandoned() {
  std::lock_guard<std::mutex> lock(mutex_);
  return !whole_;
}

namespace {

constexpr std::size_t kBufferBytes = 256 * 1024;

}  // namespace

// The GObject type behind NewFollowStream. Its bounds are 0 and -1 (none).
struct GetmailFollowStream {
  GMimeStream parent;
  GMimeStream* file;
  WriteProgress* progress;
  char* buffer;  // holds the file's bytes from bufferStart on
  gint64 bufferStart;
  gint64 bufferLength;
};
struct GetmailFollowStreamClass {
  GMimeStreamClass parent;
};

G_DEFINE_TYPE(GetmailFollowStream, getmail_follow_stream, GMIME_TYPE_STREAM)

namespace {

GetmailFollowStream* Follow(GMimeStream* stream) {
  return reinterpret_cast<GetmailFollowStream*>(stream);
}

ssize_t Read(GMimeStream* stream, char* data, size_t size) {
  GetmailFollowStream* follow = Follow(stream);
  const gint64 position = stream->position;
  if (position < follow->bufferStart ||
      position >= follow->bufferStart + follow->bufferLength) {
    std::uint64_t limit = follow->progress->WaitBeyond(static_cast<std::uint64_t>(position));
    if (limit <= static_cast<std::uint64_t>(position)) return 0;  // the end
    gint64 want = static_cast<gint64>(
        std::min<std::uint64_t>(kBufferBytes, limit - static_cast<std::uint64_t>(position)));
    if (g_mime_stream_seek(follow->file, position, GMIME_STREAM_SEEK_SET) != position) return -1;
    ssize_t n = g_mime_stream_read(follow->file, follow->buffer, static_cast<size_t>(want));
    if (n <= 0) return -1;
    follow->bufferStart = position;
    follow->bufferLength = n;
  }
  gint64 available = follow->bufferStart + follow->bufferLength - position;
  size_t count = static_cast<size_t>(std::min<gint64>(available, static_cast<gint64>(size)));
  std::memcpy(data, follow->buffer + (position - follow->bufferStart), count);
  stream->position += static_cast<gint64>(count);
  return static_cast<ssize_t>(count);
}

gboolean Eos(GMimeStream* stream) {
  return Follow(stream)->progress->EndsAt(static_cast<std::uint64_t>(stream->position));
}

int Reset(GMimeStream*) { return 0; }

gint64 Seek(GMimeStream* stream, gint64 offset, GMimeSeekWhence whence) {
  gint64 position = offset;
  if (whence == GMIME_STREAM_SEEK_CUR) position += stream->position;
  if (whence == GMIME_STREAM_SEEK_END) {
    position += static_cast<gint64>(Follow(stream)->progress->WaitForEnd());
  }
  if (position < 0) return -1;
  stream->position = position;
  return position;
}

gint64 Tell(GMimeStream* stream) { return stream->position; }

gint64 Length(GMimeStream* stream) {
  return static_cast<gint64>(Follow(stream)->progress->WaitForEnd());
}

GMimeStream* Substream(GMimeStream* stream, gint64 start, gint64 end) {
  // The file's own kind of substream; g_mime_stream_substream then makes it
  // hold this stream, which holds the file.
  GMimeStream* file = Follow(stream)->file;
  return GMIME_STREAM_GET_CLASS(file)->substream(file, start, end);
}

void Finalize(GObject* object) {
  GetmailFollowStream* follow = reinterpret_cast<GetmailFollowStream*>(object);
  if (follow->file != nullptr) g_object_unref(follow->file);
  g_free(follow->buffer);
  G_OBJECT_CLASS(getmail_follow_stream_parent_class)->finalize(object);
}

}  // namespace

static void getmail_follow_stream_init(GetmailFollowStream* follow) {
  follow->file = nullptr;
  follow->progress = nullptr;
  follow->buffer = static_cast<char*>(g_malloc(kBufferBytes));
  follow->bufferStart = 0;
  follow->bufferLength = 0;
}

static void getmail_follow_stream_class_init(GetmailFollowStreamClass* type) {
  G_OBJECT_CLASS(type)->finalize = Finalize;
  GMimeStreamClass* stream = GMIME_STREAM_CLASS(type);
  stream->read = Read;
  stream->eos = Eos;
  stream->reset = Reset;
  stream->seek = Seek;
  stream->tell = Tell;
  stream->length = Length;
  stream->substream = Substream;
}

GMimeStream* NewFollowStream(GMimeStream* file, WriteProgress& progress) {
  GMimeStream* stream = GMIME_STREAM(g_object_new(getmail_follow_stream_get_type(), nullptr));
  g_mime_stream_construct(stream, 0, -1);
  Follow(stream)->file = file;
  Follow(stream)->progress = &progress;
  return stream;
}

}  // namespace getmail
