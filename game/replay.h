// Replay commands and the replay file ".vrs": the magic "VDRP", the number of
// field sections (1 single play, 2 battle with the left field first), then
// per field its settings, its pair seed and its commands as a zlib stream.
// Numbers are little-endian. Files are written whole into "replay" under the
// first free name "replay\play%d.vrs", or not at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One change of a field's virtual buttons: presses in the low byte, releases
// in the high byte. The same record travels in net battles.
struct replay_command {
  uint32_t frame;
  uint16_t bits;
  uint16_t padding;
};
static_assert(sizeof(replay_command) == 8);

// Press bits; the release bit of each is the press bit << 8.
inline constexpr uint16_t kCommandLeft = 0x0001;   // virtual button 0
inline constexpr uint16_t kCommandRight = 0x0002;  // 1
inline constexpr uint16_t kCommandButton2 = 0x0004;
inline constexpr uint16_t kCommandDown = 0x0008;   // 3
inline constexpr uint16_t kCommandCcw = 0x0010;    // 6
inline constexpr uint16_t kCommandCw = 0x0020;     // 5
inline constexpr uint16_t kCommandButton4 = 0x0040;
// The virtual button each of the seven press bits drives.
inline constexpr int kCommandButton[7] = {0, 1, 2, 3, 6, 5, 4};

inline constexpr char kReplayMagic[4] = {'V', 'D', 'R', 'P'};
inline constexpr const char* kReplayFolder = "replay";
// Files are "replay\play%d.vrs"; the saves' temporary files are named after
// the stem (save_file.h).
inline constexpr const char* kReplayStem = "play";
// The replays as the player finds them in the run folder.
inline constexpr const char* kReplayFiles = "replay/play*.vrs";
// The numbers a replay's name is looked for among.
inline constexpr int kReplayNumberLimit = 1000000;
// Sections longer than this many commands are cut there: a match long
// enough to record more would run for days.
inline constexpr size_t kReplayCommandLimit = 4u << 20;
// Replay files larger than this are refused unread.
inline constexpr size_t kReplayFileLimit = 64u << 20;

// Bytes of a replay file on their way in.
class ReplayReader {
 public:
  ReplayReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  // False (and the reader failed) when fewer bytes are left.
  bool read_u8(uint8_t* v);
  bool read_u16(uint16_t* v);
  bool read_u32(uint32_t* v);
  const uint8_t* take(size_t n);  // null when fewer bytes are left
  size_t position() const { return pos_; }
  size_t remaining() const { return size_ - pos_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

// Appends the zlib stream of the commands, fed and flushed in chunks of 4096
// bytes (512 commands), and returns its length; -1 when compression fails.
long deflate_commands(const std::vector<replay_command>& commands, std::vector<uint8_t>* out);
// Reads a zlib stream of the given length into commands. The stream is read
// up to its end, its first error or the length, whichever comes first; every
// whole record before that is kept. False when the stream could not be read
// to its end (the commands read so far stay).
bool inflate_commands(const uint8_t* stream, size_t length, std::vector<replay_command>* commands);

void put_u16(std::vector<uint8_t>* out, uint16_t v);
void put_u32(std::vector<uint8_t>* out, uint32_t v);
void patch_u32(std::vector<uint8_t>* out, size_t at, uint32_t v);

// Reads a whole replay file; false when it cannot be opened or read, is
// larger than the limit, or does not start with the magic and a count byte.
bool read_replay_file(const char* path, std::vector<uint8_t>* bytes);

// Writes the file bytes under the first free "replay\play%d.vrs", creating
// the folder when it is missing, as every save is written (save_file.h): a
// synced temporary file, published under the name only when complete and
// never over an existing file (two running programs may save at once).
// Returns the number in the name, or -1 (the last error set) when nothing
// could be saved (then no file is left).
int store_replay_file(const std::vector<uint8_t>& bytes);
// The file the last store_replay_file of this thread that failed was
// writing, as the player finds it in the run folder ("replay/play3.vrs": the
// name it tried); kReplayFiles when it found no free name, or when no store
// has failed since the last one that succeeded.
std::string failed_replay_file();
