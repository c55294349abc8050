// Replay command streams and replay files.
#include "game/replay.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/byte_order.h"
#include "game/caches.h"
#include "game/game_files.h"
#include "platform/win32/save_file.h"
#include "platform/win32/win32.h"

namespace {

constexpr size_t kChunk = 4096;
constexpr size_t kCommandsPerChunk = kChunk / sizeof(replay_command);

// What failed_replay_file reports; empty when the last store succeeded.
thread_local std::string failed_replay;

void encode(const replay_command& c, uint8_t* p) {
  WriteLe32(p, c.frame);
  WriteLe16(p + 4, c.bits);
  p[6] = p[7] = 0;
}

replay_command decode(const uint8_t* p) { return replay_command{ReadLe32(p), ReadLe16(p + 4), 0}; }

}  // namespace

bool ReplayReader::read_u8(uint8_t* v) {
  const uint8_t* p = take(1);
  if (p) *v = p[0];
  return p != nullptr;
}
bool ReplayReader::read_u16(uint16_t* v) {
  const uint8_t* p = take(2);
  if (p) *v = ReadLe16(p);
  return p != nullptr;
}
bool ReplayReader::read_u32(uint32_t* v) {
  const uint8_t* p = take(4);
  if (p) *v = ReadLe32(p);
  return p != nullptr;
}
const uint8_t* ReplayReader::take(size_t n) {
  if (n > remaining()) {
    pos_ = size_;
    return nullptr;
  }
  const uint8_t* p = data_ + pos_;
  pos_ += n;
  return p;
}

void put_u16(std::vector<uint8_t>* out, uint16_t v) {
  uint8_t bytes[2];
  WriteLe16(bytes, v);
  out->insert(out->end(), bytes, bytes + 2);
}
void put_u32(std::vector<uint8_t>* out, uint32_t v) {
  uint8_t bytes[4];
  WriteLe32(bytes, v);
  out->insert(out->end(), bytes, bytes + 4);
}
void patch_u32(std::vector<uint8_t>* out, size_t at, uint32_t v) { WriteLe32(out->data() + at, v); }

long deflate_commands(const std::vector<replay_command>& commands, std::vector<uint8_t>* out) {
  z_stream z{};
  if (deflateInit(&z, Z_DEFAULT_COMPRESSION) != Z_OK) return -1;
  uint8_t in[kChunk], buffer[kChunk];
  size_t next = 0, start = out->size();
  int flush = Z_SYNC_FLUSH;
  int result;
  do {
    if (z.avail_in == 0 && flush != Z_FINISH) {
      // Whole commands from the front; a fill that finds the list exhausted
      // before the buffer is full finishes the stream.
      size_t n = std::min(kCommandsPerChunk, commands.size() - next);
      for (size_t i = 0; i < n; ++i) encode(commands[next + i], in + 8 * i);
      next += n;
      if (n < kCommandsPerChunk) flush = Z_FINISH;
      z.next_in = in;
      z.avail_in = (uInt)(8 * n);
    }
    z.next_out = buffer;
    z.avail_out = kChunk;
    result = deflate(&z, flush);
    if (result == Z_STREAM_ERROR) {
      deflateEnd(&z);
      out->resize(start);
      return -1;
    }
    out->insert(out->end(), buffer, buffer + (kChunk - z.avail_out));
  } while (result != Z_STREAM_END);
  if (deflateEnd(&z) != Z_OK) {
    out->resize(start);
    return -1;
  }
  return (long)(out->size() - start);
}

bool inflate_commands(const uint8_t* stream, size_t length, std::vector<replay_command>* commands) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return false;
  uint8_t buffer[kChunk];
  size_t due = length;
  bool ended = false;
  z.next_out = buffer;
  z.avail_out = kChunk;
  for (;;) {
    if (z.avail_in == 0 && due > 0) {
      size_t n = std::min(kChunk, due);
      z.next_in = const_cast<Bytef*>(stream + (length - due));
      z.avail_in = (uInt)n;
      due -= n;
    }
    int result = inflate(&z, Z_SYNC_FLUSH);
    ended = result == Z_STREAM_END;
    // Anything but progress ends the read: the end, an error, a stream that
    // asks for a dictionary, or no input left to make progress with.
    bool going = result == Z_OK || (result == Z_BUF_ERROR && (z.avail_in > 0 || due > 0));
    if (z.avail_out == 0 || !going) {
      size_t produced = kChunk - z.avail_out;
      for (size_t i = 0; i + 8 <= produced && commands->size() < kReplayCommandLimit; i += 8)
        commands->push_back(decode(buffer + i));
      z.next_out = buffer;
      z.avail_out = kChunk;
    }
    if (!going || commands->size() >= kReplayCommandLimit) break;
  }
  inflateEnd(&z);
  return ended;
}

bool read_replay_file(const char* path, std::vector<uint8_t>* bytes) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD high = 0;
  DWORD size = GetFileSize(file, &high);
  bool ok = size != INVALID_FILE_SIZE && high == 0 && size >= 5 && size <= kReplayFileLimit;
  if (ok) {
    bytes->resize(size);
    DWORD done = 0;
    while (ok && done < size) {
      DWORD got = 0;
      ok = ReadFile(file, bytes->data() + done, size - done, &got, nullptr) && got > 0;
      done += got;
    }
  }
  CloseHandle(file);
  return ok && std::memcmp(bytes->data(), kReplayMagic, 4) == 0;
}

namespace {

// The replay file of a number: "replay" and the name joined by the separator.
std::string replay_name(int n, char separator) {
  char name[64];
  std::snprintf(name, sizeof name, "%s%c%s%d.vrs", kReplayFolder, separator, kReplayStem, n);
  return name;
}

// store_replay_file; `tried` receives the number of the name the save took
// or was to take, -1 when none was free.
int store_in_replay_folder(const std::vector<uint8_t>& bytes, int* tried) {
  // Without its folder, the save is to take the first name.
  *tried = 0;
  DWORD folder = GetFileAttributesA(kReplayFolder);
  if (folder == INVALID_FILE_ATTRIBUTES) {
    if (!CreateDirectoryA(kReplayFolder, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return -1;
  } else if (!(folder & FILE_ATTRIBUTE_DIRECTORY)) {
    SetLastError(ERROR_DIRECTORY);
    return -1;
  }
  std::string host;
  if (!host_path(kReplayFolder, &host)) return -1;
  return vox_win32::SaveUnderNewName(
      host, kReplayStem, bytes.data(), bytes.size(),
      [](int n) {
        const std::string name = replay_name(n, '\\');
        std::string to;
        // A name the folder holds in another letter case is taken, as on
        // Windows.
        if (GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES || !host_path(name.c_str(), &to))
          return std::string();
        return to;
      },
      kReplayNumberLimit, tried);
}

}  // namespace

int store_replay_file(const std::vector<uint8_t>& bytes) {
  int tried;
  const int number = store_in_replay_folder(bytes, &tried);
  failed_replay = number >= 0 ? std::string() : tried >= 0 ? replay_name(tried, '/') : std::string(kReplayFiles);
  return number;
}

std::string failed_replay_file() { return failed_replay.empty() ? kReplayFiles : failed_replay; }
