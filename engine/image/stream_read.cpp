// Stream access shared by the decoders.
#include "engine/image/image_internal.h"

int64_t StreamBytesLeft(StreamData* stream) {
  int64_t here = stream->ops.tell(stream->data);
  if (here < 0 || stream->ops.seek(stream->data, 0, 2) != 0) return -1;
  int64_t end = stream->ops.tell(stream->data);
  if (stream->ops.seek(stream->data, (int32_t)here, 0) != 0 || end < here) return -1;
  return end - here;
}

bool StreamReadExact(StreamData* stream, void* buffer, size_t bytes) {
  if (bytes == 0) return true;
  return stream->ops.read(buffer, bytes, 1, stream->data) == 1;
}

bool StreamSeekTo(StreamData* stream, int64_t offset) {
  if (offset < 0 || offset > 0x7FFFFFFF) return false;
  return stream->ops.seek(stream->data, (int32_t)offset, 0) == 0;
}

int64_t ReadImageHeader(StreamData* stream, void* header, size_t bytes, int64_t min_size) {
  if (!StreamSeekTo(stream, 0)) return -1;
  const int64_t size = StreamBytesLeft(stream);
  if (size < 0 || size < min_size || !StreamReadExact(stream, header, bytes)) return -1;
  return size;
}

bool PeekImageSignature(StreamData* stream, void* signature, size_t bytes) {
  const int64_t start = stream->ops.tell(stream->data);
  return StreamReadExact(stream, signature, bytes) && StreamSeekTo(stream, start);
}

StreamSpan SpanFromHere(StreamData* stream) {
  StreamSpan span;
  span.stream = stream;
  span.start = stream->ops.tell(stream->data);
  span.size = StreamBytesLeft(stream);
  if (span.size < 0) span.size = 0;
  return span;
}
