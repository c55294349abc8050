// Replay files: the section layout, naming, whole-or-nothing writing, and
// damaged files refused or cut without a crash or a hang.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>

#include "game/buttons.h"
#include "game/field_replay.h"
#include "game/settings.h"
#include "tests/game/board_fixture.h"
#include "tests/support/temp_dir.h"

namespace {

std::vector<replay_command> Commands(int n) {
  std::vector<replay_command> out;
  for (int i = 0; i < n; ++i) out.push_back({(uint32_t)(i * 3), (uint16_t)(1 << (i % 7)), 0});
  return out;
}

TEST(ReplayStream, EmptyAndLongStreamsRoundTrip) {
  std::vector<uint8_t> bytes;
  EXPECT_EQ(deflate_commands({}, &bytes), 8);
  EXPECT_EQ(bytes, (std::vector<uint8_t>{0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01}));
  for (int n : {0, 1, 512, 1000, 5000}) {
    std::vector<uint8_t> z;
    long length = deflate_commands(Commands(n), &z);
    ASSERT_EQ(length, (long)z.size());
    std::vector<replay_command> back;
    EXPECT_TRUE(inflate_commands(z.data(), z.size(), &back));
    ASSERT_EQ(back.size(), (size_t)n);
    for (int i = 0; i < n; ++i) {
      EXPECT_EQ(back[i].frame, (uint32_t)(i * 3));
      EXPECT_EQ(back[i].bits, (uint16_t)(1 << (i % 7)));
    }
  }
}

class ReplayFileTest : public TempDirTest {
 protected:
  // A one-field replay of a short match.
  std::vector<uint8_t> OneField(int mode = 0, int commands = 40) {
    side_settings s;
    s.mode = mode;
    s.colours = mode == 3 ? 5 : 3;
    auto field = MakeField(s);
    field->input.commands = Commands(commands);
    Field* fields[1] = {field.get()};
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(build_replay_file(fields, 1, &bytes));
    return bytes;
  }
  int Open(const std::vector<uint8_t>& bytes, Field_Replay* fields[2]) {
    WriteFile("r.vrs", std::string(bytes.begin(), bytes.end()));
    side_settings sides[2];
    const int origins[2] = {24, 420};
    return open_replay_fields("r.vrs", sides, origins, fields);
  }
};

TEST_F(ReplayFileTest, SectionLayout) {
  side_settings s;
  s.mode = 2;
  s.level_target = 16012;
  s.clear_score = 250;
  s.garbage_score = 0;
  s.colours = 4;
  s.clear_count = 12;
  s.seed = 0x01020304;
  auto field = MakeField(s);
  Field* fields[1] = {field.get()};
  std::vector<uint8_t> b;
  ASSERT_TRUE(build_replay_file(fields, 1, &b));
  ASSERT_EQ(b.size(), 5u + 14 + 8);  // no command: the empty stream
  EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "VDRP");
  EXPECT_EQ(b[4], 1);
  EXPECT_EQ(b[5], 2);
  EXPECT_EQ(b[6] | b[7] << 8, 16012);
  EXPECT_EQ(b[8], 250);
  EXPECT_EQ(b[9], 0);
  EXPECT_EQ(b[10], 4 * 16 + 12);
  EXPECT_EQ(b[11], 4);
  EXPECT_EQ(b[14], 1);
  EXPECT_EQ(b[15], 8);  // L
  EXPECT_TRUE(field->input.commands.empty());
}

TEST_F(ReplayFileTest, NamesAreTheFirstFreeNumberAndTheFolderIsMade) {
  std::vector<uint8_t> bytes = OneField();
  EXPECT_EQ(store_replay_file(bytes), 0);  // "replay" did not exist
  EXPECT_EQ(store_replay_file(bytes), 1);
  EXPECT_EQ(store_replay_file(bytes), 2);
  std::filesystem::remove(Path("replay/play0.vrs"));
  EXPECT_EQ(store_replay_file(bytes), 0);
  EXPECT_EQ(ReadFile("replay/play1.vrs"), std::string(bytes.begin(), bytes.end()));
  // Nothing but the replays is left behind.
  int files = 0;
  for (auto& e : std::filesystem::directory_iterator(Path("replay"))) files += e.path().extension() == ".vrs" ? 1 : 100;
  EXPECT_EQ(files, 3);
}

TEST_F(ReplayFileTest, AnExistingFileIsNeverOverwritten) {
  std::filesystem::create_directory(Path("replay"));
  WriteFile("replay/play0.vrs", "another program's replay");
  // The name test and the publishing race: a file appearing between them is
  // kept as well, since publishing fails on an existing name.
  EXPECT_EQ(store_replay_file(OneField()), 1);
  EXPECT_EQ(ReadFile("replay/play0.vrs"), "another program's replay");
}

TEST_F(ReplayFileTest, AFailedWriteLeavesNoFileAndIsReported) {
  std::vector<uint8_t> big = OneField(0, 200000);
  ASSERT_GT(big.size(), 4096u);
  WriteFile("replay/play0.vrs", "older");
  signal(SIGXFSZ, SIG_IGN);
  rlimit saved;
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit small = saved;
  small.rlim_cur = 1024;  // the file system takes only the first kilobyte
  setrlimit(RLIMIT_FSIZE, &small);
  int number = store_replay_file(big);
  setrlimit(RLIMIT_FSIZE, &saved);
  EXPECT_EQ(number, -1);
  // The failure names the file it was writing, as the player finds it.
  EXPECT_EQ(failed_replay_file(), "replay/play1.vrs");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Path("replay")), {}), 1);
  // A "replay" that is a file: nothing saved either.
  std::filesystem::remove_all(Path("replay"));
  WriteFile("replay", "x");
  EXPECT_EQ(store_replay_file(big), -1);
  EXPECT_EQ(failed_replay_file(), "replay/play0.vrs");
  // Once a save succeeds, no failed file is left to name.
  std::filesystem::remove(Path("replay"));
  ASSERT_EQ(store_replay_file(big), 0);
  EXPECT_EQ(failed_replay_file(), kReplayFiles);
}

TEST_F(ReplayFileTest, UnreadableFilesMakeNoField) {
  side_settings sides[2];
  const int origins[2] = {24, 420};
  Field_Replay* fields[2] = {};
  EXPECT_EQ(open_replay_fields("replay\\missing.vrs", sides, origins, fields), 0);
  EXPECT_EQ(fields[0], nullptr);
  std::vector<uint8_t> wrong_magic = OneField();
  wrong_magic[0] = 'X';
  EXPECT_EQ(Open(wrong_magic, fields), 0);
}

TEST_F(ReplayFileTest, OutOfRangeSectionsAreRefused) {
  struct Case {
    const char* name;
    size_t offset;  // in the file
    uint8_t value;
  };
  const Case cases[] = {
      {"mode 4", 5, 4},
      {"battle with no colour", 10, 0 * 16 + 4},
      {"battle with one colour", 10, 1 * 16 + 4},
      {"battle with seven colours", 10, 7 * 16 + 4},
      {"clear count 0", 10, 5 * 16 + 0},
      {"clear count 13", 10, 5 * 16 + 13},
      {"clear score 5", 8, 5},
      {"garbage score 255", 9, 255},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = OneField(3);
    bytes[c.offset] = c.value;
    Field_Replay* fields[2] = {};
    EXPECT_EQ(Open(bytes, fields), 0) << c.name;
  }
  std::vector<uint8_t> good = OneField(3);
  Field_Replay* fields[2] = {};
  ASSERT_EQ(Open(good, fields), 1);
  EXPECT_EQ(fields[0]->settings.colours, 5);
  EXPECT_EQ(fields[0]->input.commands.size(), 40u);
  delete fields[0];
}

TEST_F(ReplayFileTest, DamagedStreamsAreCutAndEveryTruncationEnds) {
  std::vector<uint8_t> good = OneField(0, 3000);
  Field_Replay* fields[2] = {};
  // Every truncation: refused or read, never a hang.
  for (size_t n = 0; n < good.size(); n += 7) {
    std::vector<uint8_t> cut(good.begin(), good.begin() + n);
    if (Open(cut, fields)) delete fields[0];
  }
  // A length running past the file: refused.
  std::vector<uint8_t> long_length = good;
  long_length[15] = 0xFF;
  long_length[16] = 0xFF;
  EXPECT_EQ(Open(long_length, fields), 0);
  // The stream ends before its length: junk after it is never waited for.
  std::vector<uint8_t> padded = good;
  uint32_t length = padded[15] | padded[16] << 8 | padded[17] << 16 | (uint32_t)padded[18] << 24;
  padded.insert(padded.end(), 5000, 0xAB);
  length += 5000;
  for (int i = 0; i < 4; ++i) padded[15 + i] = (uint8_t)(length >> (8 * i));
  ASSERT_EQ(Open(padded, fields), 1);
  EXPECT_EQ(fields[0]->input.commands.size(), 3000u);
  delete fields[0];
  // A stream that asks for a preset dictionary ends the read at once.
  std::vector<uint8_t> dictionary = good;
  dictionary[19] = 0x78;
  dictionary[20] = 0xBB;  // a valid header with the dictionary flag
  if (Open(dictionary, fields)) {
    EXPECT_TRUE(fields[0]->input.commands.empty());
    delete fields[0];
  }
  // Damage in the middle: the commands before it are kept.
  std::vector<uint8_t> broken = good;
  for (size_t i = 19 + length / 4; i < 19 + length / 4 + 40 && i < broken.size(); ++i) broken[i] ^= 0x5A;
  if (Open(broken, fields)) {
    EXPECT_LT(fields[0]->input.commands.size(), 3000u);
    delete fields[0];
  }
}

// Held by a plain field pointer, a replayed field still plays its recorded
// commands: the viewer's buttons on its device neither move the pair nor
// are recorded.
TEST_F(ReplayFileTest, AReplayedFieldPlaysItsCommandsThroughAnyPointer) {
  std::vector<uint8_t> bytes = OneField(0, 0);
  Field_Replay* fields[2] = {};
  ASSERT_EQ(Open(bytes, fields), 1);
  std::unique_ptr<Field> field(fields[0]);
  field->draw_countdown(1);
  const int left_held[5] = {kPadLeft, 0, 0, 0, 0};
  for (int frame = 0; frame < 30; ++frame) {
    feed_input(left_held, nullptr);
    EXPECT_EQ(field->update(), kFieldPlaying);
  }
  EXPECT_TRUE(field->input.commands.empty());
  EXPECT_EQ(field->pair.piece->column, 2);
}

TEST_F(ReplayFileTest, FastPlaybackStopsAtAPauseRequest) {
  std::vector<uint8_t> bytes = OneField();
  Field_Replay* fields[2] = {};
  ASSERT_EQ(Open(bytes, fields), 1);
  fields[0]->draw_countdown(1);
  START_Custom = 0x10;
  int none[5] = {0, 0, 0, 0, 0}, start[5] = {0x10, 0, 0, 0, 0};
  feed_input(none, nullptr);
  int left, right;
  play_replay_frame(fields[0], nullptr, 16, &left, &right);
  EXPECT_EQ(left, kFieldPlaying);
  EXPECT_EQ(fields[0]->counters.time, 16);
  feed_input(start, nullptr);
  play_replay_frame(fields[0], nullptr, 16, &left, &right);
  EXPECT_EQ(left, kFieldPaused);
  EXPECT_EQ(fields[0]->counters.time, 17);  // no pass after the one that saw START
  START_Custom = 0;
  delete fields[0];
}

}  // namespace
