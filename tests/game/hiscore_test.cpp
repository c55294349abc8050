// High-score tables: the file's bytes, ranking, insertion, and files that are
// missing, foreign, longer, short or cannot be written.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "game/hiscore.h"
#include "platform/win32/save_file.h"
#include "platform/win32/win32.h"
#include "tests/support/temp_dir.h"

namespace {

// A file image whose records each carry their index: name "N<i>", score
// 1000 - 10 i, erased 300 + i, chain i.
std::string Numbered() {
  std::string b = "VDSC";
  for (int i = 0; i < kHiscoreEntries; ++i) {
    char name[4] = {'N', char('a' + i), 0, 0};
    b.append(name, 4);
    int score = 1000 - 10 * i;
    for (int k = 0; k < 4; ++k) b.push_back(char(score >> (8 * k)));
    b.push_back(char((300 + i) & 0xFF));
    b.push_back(char((300 + i) >> 8));
    b.push_back(char(i));
  }
  return b;
}

hiscore_table Decode(const std::string& bytes) {
  hiscore_table t = default_hiscores();
  EXPECT_TRUE(decode_hiscores(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &t));
  return t;
}

std::string Encode(const hiscore_table& t) {
  auto bytes = encode_hiscores(t);
  return std::string(bytes.begin(), bytes.end());
}

TEST(Hiscore, FileImageRoundTripsByteForByte) {
  std::string file = Numbered();
  ASSERT_EQ(file.size(), kHiscoreFileSize);
  hiscore_table t = Decode(file);
  EXPECT_STREQ(t[6].name, "Ng");
  EXPECT_EQ(t[6].score, 940);
  EXPECT_EQ(t[6].erased, 306);
  EXPECT_EQ(t[6].chain, 6);
  EXPECT_EQ(Encode(t), file);
  // Negative scores and the widest counts survive.
  t[0].score = -5;
  t[0].erased = 65535;
  t[0].chain = 255;
  hiscore_table back = Decode(Encode(t));
  EXPECT_EQ(back[0].score, -5);
  EXPECT_EQ(back[0].erased, 65535);
  EXPECT_EQ(back[0].chain, 255);
}

TEST(Hiscore, RankPutsATieAboveTheStoredEntry) {
  hiscore_table t = Decode(Numbered());  // time trial (mode 1): 950, 940, 930, 920, 910
  struct Case {
    int mode, score, rank;
  };
  const Case cases[] = {
      {1, 2000, 0}, {1, 950, 0}, {1, 949, 1}, {1, 930, 2}, {1, 910, 4}, {1, 909, -1}, {0, 960, 4}, {2, 0, -1},
  };
  for (const Case& c : cases) EXPECT_EQ(hiscore_rank(t, c.mode, c.score), c.rank) << c.mode << " " << c.score;
  // An empty table takes any score of 0 or more at the top.
  EXPECT_EQ(hiscore_rank(default_hiscores(), 2, 0), 0);
  EXPECT_EQ(hiscore_rank(default_hiscores(), 2, -1), -1);
  EXPECT_EQ(hiscore_rank(t, 3, 5000), -1);
}

TEST(Hiscore, InsertionShiftsItsModeOnlyAndDropsTheFifth) {
  const std::string before = Numbered();
  hiscore_table t = Decode(before);
  // A new score equal to place 3's takes place 3.
  ASSERT_EQ(hiscore_rank(t, 1, 930), 2);
  insert_hiscore(&t, 1, 2, "AB", 930, 70000, 300);
  const char* names[] = {"Nf", "Ng", "AB", "Nh", "Ni"};
  for (int r = 0; r < 5; ++r) EXPECT_STREQ(t[5 + r].name, names[r]) << r;
  EXPECT_EQ(t[7].erased, 70000 & 0xFFFF);
  EXPECT_EQ(t[7].chain, 300 & 0xFF);
  std::string after = Encode(t);
  EXPECT_EQ(after.substr(0, 4 + 5 * 11), before.substr(0, 4 + 5 * 11));  // endless unchanged
  EXPECT_EQ(after.substr(4 + 10 * 11), before.substr(4 + 10 * 11));      // break trial unchanged
  // A two-letter name: two bytes, a NUL and a zero; only 4 bytes of a longer one.
  const char* rec = after.data() + 4 + 7 * 11;
  EXPECT_EQ(std::string(rec, 4), std::string("AB\0\0", 4));
  insert_hiscore(&t, 0, 0, "LONGER", 1, 0, 0);
  EXPECT_STREQ(t[0].name, "LONG");
}

class HiscoreFileTest : public TempDirTest {};

TEST_F(HiscoreFileTest, WrittenWholeAndReadBack) {
  hiscore_table t = Decode(Numbered());
  ASSERT_TRUE(write_hiscore_file(t));
  EXPECT_EQ(ReadFile("score.vsd"), Numbered());
  hiscore_table back = read_hiscore_file();
  EXPECT_EQ(Encode(back), Numbered());
  // Only the file itself is left in the folder.
  int entries = 0;
  for (auto& e : std::filesystem::directory_iterator(dir())) (void)e, ++entries;
  EXPECT_EQ(entries, 1);
}

// Files of another kind, longer or shorter than a table: each record the
// file holds whole is read (the magic is not looked at), the others are the
// default; a new entry then keeps the old file beside the new one, byte for
// byte, and the new file holds the records read and the entry.
TEST_F(HiscoreFileTest, EveryRecordAFileHoldsIsReadAndTheFileKeptBeforeAWrite) {
  const std::string good = Numbered();
  std::string foreign = good;
  foreign.replace(0, 4, "XYZW");
  struct Case {
    const char* what;
    std::string bytes;
    int records;  // read from the file; the rest are the default
  };
  const Case cases[] = {
      {"another magic", foreign, 15},
      {"a few extra bytes", good + "\n\x01xyz", 15},
      {"one byte short", good.substr(0, kHiscoreFileSize - 1), 14},
      {"five records and a piece", good.substr(0, 4 + 5 * 11 + 7), 5},
      {"the magic alone", "VDSC", 0},
      {"two bytes", "VD", 0},
      {"empty", "", 0},
  };
  const hiscore_table numbered = Decode(good), blank = default_hiscores();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(Path("score.vsd.kept1"));
    WriteFile("score.vsd", c.bytes);
    hiscore_table t = read_hiscore_file();
    for (int i = 0; i < kHiscoreEntries; ++i) {
      const hiscore_entry& want = i < c.records ? numbered[i] : blank[i];
      EXPECT_STREQ(t[i].name, want.name) << i;
      EXPECT_EQ(t[i].score, want.score) << i;
      EXPECT_EQ(t[i].erased, want.erased) << i;
      EXPECT_EQ(t[i].chain, want.chain) << i;
    }
    insert_hiscore(&t, 2, 0, "NEW", 5000, 1, 2);
    ASSERT_TRUE(write_hiscore_file(t));
    EXPECT_EQ(ReadFile("score.vsd.kept1"), c.bytes);
    EXPECT_EQ(ReadFile("score.vsd"), Encode(t));
    EXPECT_STREQ(read_hiscore_file()[10].name, "NEW");
  }
  // A file the game wrote itself is replaced without a copy; a missing or
  // unreadable one reads as the default.
  std::filesystem::remove(Path("score.vsd.kept1"));
  ASSERT_TRUE(write_hiscore_file(numbered));
  ASSERT_TRUE(write_hiscore_file(blank));
  EXPECT_FALSE(std::filesystem::exists(Path("score.vsd.kept1")));
  std::filesystem::remove(Path("score.vsd"));
  EXPECT_EQ(Encode(read_hiscore_file()), Encode(blank));
  std::filesystem::create_directory(Path("score.vsd"));
  EXPECT_EQ(Encode(read_hiscore_file()), Encode(blank));
}

TEST_F(HiscoreFileTest, KeptFilesTakeTheNextFreeNumber) {
  WriteFile("score.vsd", "first");
  WriteFile("score.vsd.kept1", "a player's");
  ASSERT_TRUE(write_hiscore_file(default_hiscores()));
  WriteFile("score.vsd", "second");
  ASSERT_TRUE(write_hiscore_file(default_hiscores()));
  EXPECT_EQ(ReadFile("score.vsd.kept1"), "a player's");
  EXPECT_EQ(ReadFile("score.vsd.kept2"), "first");
  EXPECT_EQ(ReadFile("score.vsd.kept3"), "second");
}

// The number of files this process holds open.
int OpenFiles() { return (int)std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); }

TEST_F(HiscoreFileTest, ReadingClosesTheFileWhateverItHolds) {
  const std::string good = Numbered();
  for (const std::string& bytes : {good, good.substr(0, 50), std::string(), good + "more"}) {
    WriteFile("score.vsd", bytes);
    const int before = OpenFiles();
    for (int i = 0; i < 50; ++i) read_hiscore_file();
    EXPECT_EQ(OpenFiles(), before) << bytes.size();
  }
}

TEST_F(HiscoreFileTest, AFailedWriteLeavesNothingBehind) {
  // The name is taken by a folder: it can be neither kept nor replaced, it
  // stays, and no temporary file remains.
  std::filesystem::create_directory(Path("score.vsd"));
  WriteFile("score.vsd/keep", "x");
  EXPECT_FALSE(write_hiscore_file(default_hiscores()));
  EXPECT_EQ(GetLastError(), ERROR_DIRECTORY_NOT_SUPPORTED);
  EXPECT_EQ(ReadFile("score.vsd/keep"), "x");
  int entries = 0;
  for (auto& e : std::filesystem::directory_iterator(dir())) (void)e, ++entries;
  EXPECT_EQ(entries, 1);
  // A folder that does not exist cannot take the file.
  EXPECT_FALSE(write_hiscore_file(default_hiscores(), "missing\\score.vsd"));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  // A full disk: the table written before stays whole.
  std::filesystem::remove_all(Path("score.vsd"));
  ASSERT_TRUE(write_hiscore_file(Decode(Numbered())));
  vox_win32::SetSaveStepHook([](vox_win32::SaveStep step) { return step == vox_win32::SaveStep::kWrite ? ENOSPC : 0; });
  EXPECT_FALSE(write_hiscore_file(default_hiscores()));
  vox_win32::SetSaveStepHook(nullptr);
  EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
  EXPECT_EQ(ReadFile("score.vsd"), Numbered());
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir()), {}), 1);
  // A read-only file, the game's own or another kind: neither replaced nor
  // kept beside.
  for (const std::string& bytes : {Numbered(), std::string("a player's")}) {
    WriteFile("score.vsd", bytes);
    ASSERT_EQ(chmod(Path("score.vsd").c_str(), 0444), 0);
    EXPECT_FALSE(write_hiscore_file(default_hiscores()));
    EXPECT_EQ(GetLastError(), ERROR_FILE_READ_ONLY);
    struct stat st;
    ASSERT_EQ(stat(Path("score.vsd").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
    EXPECT_EQ(st.st_nlink, 1u);
    EXPECT_EQ(ReadFile("score.vsd"), bytes);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir()), {}), 1);
    chmod(Path("score.vsd").c_str(), 0644);
  }
}

}  // namespace
