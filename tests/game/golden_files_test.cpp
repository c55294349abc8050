// The game's files against golden files laid out by hand from their formats
// (tests/game/data/make_golden.py, which holds the same values as the tables
// here): each is read and every field checked, and the game writes the same
// content, whose bytes are compared. A slip made alike in a writer and its
// reader fails here. Beside them, replays the game recorded
// (tests/game/data/recorded) must still play to the same end.
#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "game/field_replay.h"
#include "game/hiscore.h"
#include "game/settings.h"
#include "platform/win32/win32.h"
#include "tests/game/harness/match_driver.h"
#include "tests/support/temp_dir.h"

namespace {

std::string DataFile(const std::string& name) {
  std::ifstream in(SourceDir() + "/tests/game/data/" + name, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// ---- replay files -------------------------------------------------------------

struct GoldenSection {
  int mode, level_target, clear_score, garbage_score, colours, clear_count;
  uint32_t seed;
  std::vector<replay_command> commands;
};

const GoldenSection kSingle[] = {
    {2, 9 + 32 * 15, 130, 70, 4, 5, 0x00A1B2C3u,
     {{0, 0x0008, 0}, {300, 0x0110, 0}, {70000, 0x2002, 0}, {0x01020304u, 0x0800, 0}}},
};
const GoldenSection kBattle[] = {
    {3, 12, 250, 0, 6, 2, 0x00FEDCBAu, {{5, 0x0001, 0}, {0x0001FF00u, 0x0020, 0}, {0x00ABCDEFu, 0x4000, 0}}},
    {3, 30, 10, 250, 3, 12, 0x00FEDCBAu, {}},
};

uint32_t Le32(const std::string& b, size_t at) {
  return (uint32_t)(uint8_t)b[at] | (uint32_t)(uint8_t)b[at + 1] << 8 | (uint32_t)(uint8_t)b[at + 2] << 16 |
         (uint32_t)(uint8_t)b[at + 3] << 24;
}

std::string Inflate(const std::string& stream) {
  z_stream z{};
  EXPECT_EQ(inflateInit(&z), Z_OK);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
  z.avail_in = (uInt)stream.size();
  std::string out;
  int result;
  do {
    char buffer[4096];
    z.next_out = reinterpret_cast<Bytef*>(buffer);
    z.avail_out = sizeof buffer;
    result = inflate(&z, Z_NO_FLUSH);
    out.append(buffer, sizeof buffer - z.avail_out);
  } while (result == Z_OK);
  EXPECT_EQ(result, Z_STREAM_END);
  inflateEnd(&z);
  return out;
}

// A replay file taken apart by its layout alone: everything but the
// compressed streams (the length words left out), and each stream's
// content. How zlib packs a stream is zlib's business; what it holds is ours.
struct ReplayParts {
  std::string frame;
  std::vector<std::string> streams;
  bool operator==(const ReplayParts&) const = default;
};

ReplayParts TakeApart(const std::string& file) {
  ReplayParts p;
  EXPECT_GE(file.size(), 5u);
  p.frame = file.substr(0, 5);
  size_t at = 5;
  for (int i = 0; i < (uint8_t)file[4]; ++i) {
    EXPECT_LE(at + 14, file.size());
    p.frame += file.substr(at, 10);
    const uint32_t length = Le32(file, at + 10);
    EXPECT_LE(at + 14 + length, file.size());
    p.streams.push_back(Inflate(file.substr(at + 14, length)));
    at += 14 + length;
  }
  EXPECT_EQ(at, file.size());
  return p;
}

// The commands as the file lays them out: frame, bits, two bytes of 0, all
// least significant byte first.
std::string CommandBytes(const std::vector<replay_command>& commands) {
  std::string b;
  for (const replay_command& c : commands) {
    for (int i = 0; i < 4; ++i) b.push_back((char)(c.frame >> (8 * i)));
    b.push_back((char)c.bits);
    b.push_back((char)(c.bits >> 8));
    b.append(2, '\0');
  }
  return b;
}

class GoldenReplay : public TempDirTest {
 protected:
  void Read(const std::string& name, const GoldenSection* golden, int count) {
    const std::string file = DataFile(name);
    const ReplayParts parts = TakeApart(file);
    ASSERT_EQ((int)parts.streams.size(), count);
    for (int i = 0; i < count; ++i) EXPECT_EQ(parts.streams[i], CommandBytes(golden[i].commands)) << i;

    WriteFile("golden.vrs", file);
    side_settings sides[2];
    const int origins[2] = {24, 420};
    Field_Replay* fields[2];
    ASSERT_EQ(open_replay_fields("golden.vrs", sides, origins, fields), count);
    for (int i = 0; i < count; ++i) {
      SCOPED_TRACE("field " + std::to_string(i));
      const Field& f = *fields[i];
      const GoldenSection& g = golden[i];
      EXPECT_EQ(f.mode, g.mode);
      EXPECT_EQ(f.settings.level_target, g.level_target);
      EXPECT_EQ(f.counters.level, g.level_target % 32);
      EXPECT_EQ(f.counters.break_target, g.mode == 2 ? g.level_target / 32 * 10 : 0);
      EXPECT_EQ(f.settings.clear_score, g.clear_score);
      EXPECT_EQ(f.settings.garbage_score, g.garbage_score);
      EXPECT_EQ(f.settings.colours, g.colours);
      EXPECT_EQ(f.settings.clear_count, g.clear_count);
      EXPECT_EQ(f.rng->seed(), g.seed);
      ASSERT_EQ(f.input.commands.size(), g.commands.size());
      for (size_t k = 0; k < g.commands.size(); ++k) {
        EXPECT_EQ(f.input.commands[k].frame, g.commands[k].frame) << k;
        EXPECT_EQ(f.input.commands[k].bits, g.commands[k].bits) << k;
      }
    }
    if (count == 2) {
      EXPECT_EQ(fields[0]->link.opponent, fields[1]);
      EXPECT_EQ(fields[1]->link.opponent, fields[0]);
    }
    for (int i = 0; i < count; ++i) delete fields[i];
  }

  void Write(const std::string& name, const GoldenSection* golden, int count) {
    std::vector<std::unique_ptr<Field>> fields;
    Field* list[2] = {};
    for (int i = 0; i < count; ++i) {
      const GoldenSection& g = golden[i];
      side_settings s;
      s.mode = g.mode;
      s.level_target = g.level_target;
      s.clear_score = g.clear_score;
      s.garbage_score = g.garbage_score;
      s.colours = g.colours;
      s.clear_count = g.clear_count;
      s.seed = (int)g.seed;
      fields.push_back(std::make_unique<Field>(s, i == 0 ? 24 : 420, 0));
      fields.back()->input.commands = g.commands;
      list[i] = fields.back().get();
    }
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(build_replay_file(list, count, &bytes));
    EXPECT_EQ(TakeApart(std::string(bytes.begin(), bytes.end())), TakeApart(DataFile(name)));
  }
};

TEST_F(GoldenReplay, ASinglePlayIsReadFieldByField) { Read("single.vrs", kSingle, 1); }
TEST_F(GoldenReplay, ABattleIsReadFieldByField) { Read("battle.vrs", kBattle, 2); }
TEST_F(GoldenReplay, ASinglePlayIsWrittenByteForByte) { Write("single.vrs", kSingle, 1); }
TEST_F(GoldenReplay, ABattleIsWrittenByteForByte) { Write("battle.vrs", kBattle, 2); }

// Replays the game recorded: scripted single plays of each mode, and battles
// between people and with computer sides (which play back without their
// plug-ins). They must play as they were recorded, to the same end.
struct RecordedMatch {
  const char* file;
  size_t frames;
  int results[2], scores[2], cleared[2], max_chain[2];
};

const RecordedMatch kRecorded[] = {
    {"endless", 14708, {5, 2}, {91760, 0}, {474, 0}, {7, 0}},
    {"time_trial", 7200, {4, 2}, {66640, 0}, {215, 0}, {7, 0}},
    {"break_trial", 1492, {4, 2}, {4040, 0}, {32, 0}, {3, 0}},
    {"battle_people", 3760, {2, 5}, {13670, 8710}, {162, 92}, {6, 5}},
    {"battle_rival3_vs_person", 1204, {2, 5}, {7450, 250}, {43, 19}, {3, 2}},
    {"battle_rival1_vs_rival4", 927, {2, 5}, {10750, 880}, {10, 26}, {3, 3}},
};

void PrintTo(const RecordedMatch& m, std::ostream* out) { *out << m.file; }

class RecordedReplay : public TempDirTest, public ::testing::WithParamInterface<RecordedMatch> {};

TEST_P(RecordedReplay, PlaysToTheEndItWasRecordedWith) {
  const RecordedMatch& m = GetParam();
  std::filesystem::create_directory(Path("replay"));
  WriteFile("replay/recorded.vrs", DataFile(std::string("recorded/") + m.file + ".vrs"));
  MatchRun run;
  ASSERT_TRUE(play_replay_file("replay\\recorded.vrs", 20000, &run));
  EXPECT_EQ(run.hashes.size(), m.frames);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(run.results[i], m.results[i]) << i;
    EXPECT_EQ(run.scores[i], m.scores[i]) << i;
    EXPECT_EQ(run.cleared[i], m.cleared[i]) << i;
    EXPECT_EQ(run.max_chain[i], m.max_chain[i]) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Files, RecordedReplay, ::testing::ValuesIn(kRecorded),
                         [](const ::testing::TestParamInfo<RecordedMatch>& info) { return info.param.file; });

// ---- the high-score file ----------------------------------------------------------

const hiscore_entry kHiscores[kHiscoreEntries] = {
    {"ABCD", 0x01020304, 0xFFEE, 0xFD}, {"AB", 70000, 513, 7},    {"    ", 5, 1, 1},
    {"", 0, 0, 0},                      {"Z", -10, 65535, 255},   {"TIME", 0x7FFFFFFF, 40000, 19},
    {"T", 123456, 300, 3},              {"tt  ", 99999, 299, 2},  {"t2", 1000, 10, 1},
    {"t3", 999, 9, 0},                  {"BRK!", 8000000, 150, 12}, {"br", 700000, 140, 6},
    {"b3", 60000, 130, 5},              {"b4", 5000, 120, 4},     {"b5", 400, 110, 2},
};

class GoldenHiscore : public TempDirTest {};

TEST_F(GoldenHiscore, EveryRecordIsReadAndTheTableWrittenByteForByte) {
  WriteFile("score.vsd", DataFile("score.vsd"));
  const hiscore_table table = read_hiscore_file("score.vsd");
  for (int i = 0; i < kHiscoreEntries; ++i) {
    EXPECT_STREQ(table[i].name, kHiscores[i].name) << i;
    EXPECT_EQ(table[i].score, kHiscores[i].score) << i;
    EXPECT_EQ(table[i].erased, kHiscores[i].erased) << i;
    EXPECT_EQ(table[i].chain, kHiscores[i].chain) << i;
  }
  hiscore_table written;
  std::copy(std::begin(kHiscores), std::end(kHiscores), written.begin());
  ASSERT_TRUE(write_hiscore_file(written, "written.vsd"));
  EXPECT_EQ(ReadFile("written.vsd"), DataFile("score.vsd"));
}

// ---- the settings file ------------------------------------------------------------

class GoldenSettings : public TempDirTest {
 protected:
  void TearDown() override {
    std::filesystem::remove(Path("Voxaldrift.ini"));
    read_settings();  // the defaults again for the next test
    TempDirTest::TearDown();
  }
};

TEST_F(GoldenSettings, EveryKeyIsReadAndTheSameValuesWrittenByteForByte) {
  WriteFile("Voxaldrift.ini", DataFile("Voxaldrift.ini"));
  read_settings();
  EXPECT_EQ(read_setting("FullScreen", 0), 1);
  EXPECT_EQ(read_setting("WideScreen", 0), 1);
  EXPECT_EQ(A_Custom, 128);
  EXPECT_EQ(B_Custom, 8192);
  EXPECT_EQ(C_Custom, 256);
  EXPECT_EQ(START_Custom, 16);
  EXPECT_EQ(BGM_Volume, 35);
  EXPECT_EQ(SE_Volume, 80);
  EXPECT_EQ(SoundData_Type, 2);
  char port[6] = {};
  GetPrivateProfileStringA(kSettingsSection, "DefaultPort", "04649", port, sizeof port, kSettingsFile);
  EXPECT_STREQ(port, "05000");

  std::filesystem::remove(Path("Voxaldrift.ini"));
  const struct {
    const char* key;
    int value;
  } values[] = {{"FullScreen", 1}, {"WideScreen", 1}, {"A_Custom", 128},  {"B_Custom", 8192},   {"C_Custom", 256},
                {"START_Custom", 16}, {"BGM_Volume", 35}, {"SE_Volume", 80}, {"SoundData_Type", 2}};
  for (const auto& v : values) ASSERT_TRUE(write_setting(v.key, v.value)) << v.key;
  ASSERT_TRUE(write_setting_text("DefaultPort", "05000"));
  EXPECT_EQ(ReadFile("Voxaldrift.ini"), DataFile("Voxaldrift.ini"));
}

}  // namespace
