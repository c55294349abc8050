// File streams: the stream table over the file layer, kept apart from the
// memory streams so code that reads only memory does not pull in the layer.
#include "engine/core/file.h"
#include "engine/core/stream.h"

static const StreamOps kFileStreamOps = {FsTell, FsSeek, FsRead, FsEof, FsIsIdle, FsClose};

const StreamOps* GetFileStreamOps() { return &kFileStreamOps; }

// Both tables are constant data, complete before any code runs, so start-up
// has nothing left to fill; the call stays for the start-up sequence.
void InitStreamTables() {}

int OpenFileStream(StreamData* out, const char* path) {
  intptr_t file = FsOpen(path, 0, 1, 0);
  if (!file) return -1;
  out->ops = kFileStreamOps;
  out->data = file;
  return 0;
}
