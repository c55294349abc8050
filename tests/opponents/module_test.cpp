// The built plug-ins as the game meets them: loaded with dlopen from the run
// folder's "characters", bound by name, resources read through the lookup,
// and think_set run on a thread of the game's.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "opponents/plugin_api.h"
#include "platform/win32/cp932.h"
#include "platform/win32/win32.h"
#include "tests/support/temp_dir.h"

namespace {

const char* const kModules[] = {"rival1", "rival2", "rival3", "rival4"};

std::string ModulePath(const std::string& name) { return std::string(VOX_CHARACTERS_DIR) + "/" + name + ".so"; }

const char* IntResource(uint16_t id) { return reinterpret_cast<const char*>(static_cast<uintptr_t>(id)); }

uint32_t BigEndian32(const uint8_t* p) { return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3]; }

struct PngFacts {
  uint32_t width = 0, height = 0;
  int bit_depth = 0, colour_type = -1;
  int palette_entries = 0;
  int transparent_entries = 0;  // tRNS entries with alpha below 255
  bool ended = false;
};

// Walks the chunks of a PNG file, each checked against the file's length.
bool ReadPng(const uint8_t* data, uint32_t size, PngFacts* facts) {
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (size < 8 || std::memcmp(data, kSignature, 8) != 0) return false;
  for (uint32_t at = 8; at + 12 <= size;) {
    const uint32_t length = BigEndian32(data + at);
    if (length > size - at - 12) return false;
    const uint8_t* type = data + at + 4;
    const uint8_t* body = data + at + 8;
    if (!std::memcmp(type, "IHDR", 4) && length == 13) {
      facts->width = BigEndian32(body);
      facts->height = BigEndian32(body + 4);
      facts->bit_depth = body[8];
      facts->colour_type = body[9];
    } else if (!std::memcmp(type, "PLTE", 4)) {
      facts->palette_entries = (int)length / 3;
    } else if (!std::memcmp(type, "tRNS", 4)) {
      for (uint32_t i = 0; i < length; ++i) facts->transparent_entries += body[i] < 255;
    } else if (!std::memcmp(type, "IEND", 4)) {
      facts->ended = true;
      return true;
    }
    at += 12 + length;
  }
  return false;
}

// Code page 932: every lead byte has a trail byte; no control bytes but CR LF.
bool IsCp932Text(const std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = (unsigned char)text[i];
    if (vox_win32::IsCp932LeadByte(c)) {
      if (++i >= text.size()) return false;
      const unsigned char t = (unsigned char)text[i];
      if (t < 0x40 || t == 0x7F || t > 0xFC) return false;
    } else if (c < 0x20 && c != '\r' && c != '\n') {
      return false;
    }
  }
  return true;
}

class OpponentModule : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    handle_ = dlopen(ModulePath(GetParam()).c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle_, nullptr) << dlerror();
  }
  void TearDown() override {
    if (handle_) dlclose(handle_);
  }
  template <typename Fn>
  Fn Bind(const char* name) {
    return reinterpret_cast<Fn>(dlsym(handle_, name));
  }
  std::string Resource(const char* name, uint16_t type) {
    auto lookup = Bind<VoxModuleResourceFn>(VOX_MODULE_RESOURCE_SYMBOL);
    uint32_t size = 12345;
    const void* bytes = lookup(name, IntResource(type), &size);
    if (!bytes) {
      EXPECT_EQ(size, 0u);
      return {};
    }
    return std::string(static_cast<const char*>(bytes), size);
  }
  void* handle_ = nullptr;
};

TEST_P(OpponentModule, ExportsEveryFunctionTheGameBinds) {
  for (const char* name : kOpponentExportNames) EXPECT_NE(dlsym(handle_, name), nullptr) << name;
  EXPECT_NE(dlsym(handle_, VOX_MODULE_RESOURCE_SYMBOL), nullptr);
  EXPECT_STREQ(Bind<OpponentResourceNameFn>(VOX_OPPONENT_GET_GRAPHIC_NAME)(), "IMAGE");
  EXPECT_STREQ(Bind<OpponentResourceNameFn>(VOX_OPPONENT_GET_FACE_NAME)(), "FACE");
  EXPECT_STREQ(Bind<OpponentResourceNameFn>(VOX_OPPONENT_GET_CHARA_NAME)(), "NAME");
  EXPECT_STREQ(Bind<OpponentResourceNameFn>(VOX_OPPONENT_GET_CHARA_DESCRIPT)(), "DESCRIPT");
}

TEST_P(OpponentModule, ExportsNothingElse) {
  const std::string command = std::string(VOX_NM) + " -D --defined-only " + ModulePath(GetParam());
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::set<std::string> names;
  char line[512];
  while (fgets(line, sizeof line, pipe)) {
    std::istringstream fields(line);
    std::string address, kind, name;
    if (!(fields >> address >> kind >> name)) continue;
    if (name[0] == '_') continue;  // linker and sanitizer runtime symbols
    names.insert(name);
  }
  ASSERT_EQ(pclose(pipe), 0) << command;
  std::set<std::string> expected(std::begin(kOpponentExportNames), std::end(kOpponentExportNames));
  expected.insert(VOX_MODULE_RESOURCE_SYMBOL);
  EXPECT_EQ(names, expected);
}

TEST_P(OpponentModule, CarriesItsPicturesInTheirSizesAndPalettes) {
  struct Picture {
    const char* name;
    uint32_t width, height;
  };
  for (const Picture& p : {Picture{"IMAGE", 192, 384}, Picture{"FACE", 48, 48}}) {
    const std::string png = Resource(p.name, kOpponentPictureType);
    ASSERT_FALSE(png.empty()) << p.name;
    PngFacts facts;
    ASSERT_TRUE(ReadPng(reinterpret_cast<const uint8_t*>(png.data()), (uint32_t)png.size(), &facts)) << p.name;
    EXPECT_EQ(facts.width, p.width) << p.name;
    EXPECT_EQ(facts.height, p.height) << p.name;
    EXPECT_EQ(facts.colour_type, 3) << p.name;  // palette
    if (!std::strcmp(p.name, "IMAGE")) {
      EXPECT_EQ(facts.bit_depth, 8);
      EXPECT_LE(facts.palette_entries, 256);
    } else {
      EXPECT_EQ(facts.bit_depth, 4);
      EXPECT_LE(facts.palette_entries, 16);
      EXPECT_GE(facts.transparent_entries, 1);
    }
  }
}

TEST_P(OpponentModule, CarriesItsTextsWithinTheirLimits) {
  const std::string name = Resource("NAME", kOpponentTextType);
  ASSERT_FALSE(name.empty());
  EXPECT_LT(name.size(), (size_t)kOpponentNameLimit);
  EXPECT_TRUE(IsCp932Text(name));
  EXPECT_EQ(name.find_first_of(std::string("\r\n\0", 3)), std::string::npos);

  const std::string text = Resource("DESCRIPT", kOpponentTextType);
  ASSERT_FALSE(text.empty());
  EXPECT_LT(text.size(), (size_t)kOpponentDescriptLimit);
  EXPECT_TRUE(IsCp932Text(text));
  // Two lines or more, each ended by CR LF but the last, none empty.
  EXPECT_EQ(text.find('\0'), std::string::npos);
  size_t lines = 0;
  for (size_t start = 0;; ++lines) {
    const size_t end = text.find("\r\n", start);
    const std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    EXPECT_FALSE(line.empty()) << "line " << lines;
    EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << "line " << lines;
    if (end == std::string::npos) break;
    start = end + 2;
  }
  EXPECT_GE(lines + 1, 2u);
}

TEST_P(OpponentModule, LooksResourcesUpAsTheWindowsLoaderWould) {
  auto lookup = Bind<VoxModuleResourceFn>(VOX_MODULE_RESOURCE_SYMBOL);
  uint32_t size = 0;
  const void* by_id = lookup("FACE", IntResource(25), &size);
  ASSERT_NE(by_id, nullptr);
  const uint32_t face_size = size;
  // "#25" names the integer type; names compare without regard to case.
  EXPECT_EQ(lookup("face", "#25", &size), by_id);
  EXPECT_EQ(size, face_size);
  // Wrong type, unknown name, a text type written as a name: not found.
  for (const auto& [name, type] : {std::pair<const char*, const char*>{"FACE", IntResource(27)},
                                   {"PORTRAIT", IntResource(25)},
                                   {"FACE", "25"},
                                   {"FACE", nullptr},
                                   {nullptr, IntResource(25)},
                                   {IntResource(1), IntResource(25)}}) {
    size = 99;
    EXPECT_EQ(lookup(name, type, &size), nullptr);
    EXPECT_EQ(size, 0u);
  }
  EXPECT_NE(lookup("NAME", IntResource(27), nullptr), nullptr);
}

TEST_P(OpponentModule, AnswersTheLevelTablesAndThinksOnAThread) {
  auto init = Bind<OpponentInitFn>(VOX_OPPONENT_INIT);
  auto think_set = Bind<OpponentThinkFn>(VOX_OPPONENT_THINK_SET);
  auto thinking_time = Bind<OpponentLevelValueFn>(VOX_OPPONENT_GET_THINKING_TIME);
  auto miss_percent = Bind<OpponentLevelValueFn>(VOX_OPPONENT_GET_MISS_PERCENT);

  // Before init: the level-0 entries, and a think answers 0 without a board.
  EXPECT_EQ(thinking_time(), 10);
  EXPECT_EQ(miss_percent(), 10);
  int32_t decision = 5;
  std::thread([&] { think_set(&decision); }).join();
  EXPECT_EQ(decision, 0);
  think_set(nullptr);

  BlockView views[kOpponentBoardCells] = {};
  const BlockView* board[kOpponentBoardCells] = {};
  int32_t queue[kOpponentQueuePairs][2] = {{0, 1}, {2, 2}, {3, 0}, {1, 1}, {0, 2}};
  uint8_t hold = 0;
  int32_t pending = 0;
  const int kTable[kOpponentComLevels] = {10, 5, 0};  // thinking time and miss percentage alike
  // Empty, half full and nearly full boards (a ragged stack, colours 0-3).
  for (int height : {0, 6, 11}) {
    for (int i = 0; i < kOpponentBoardCells; ++i) board[i] = nullptr;
    for (int c = 0; c < kOpponentBoardColumns; ++c) {
      const int h = c == 2 ? (height > 10 ? 10 : height) : height - (c % 2);
      for (int k = 0; k < h; ++k) {
        const int i = (13 - k) * kOpponentBoardColumns + c;
        views[i] = {k % 3, (c + k * 3 + k / 2) % 4, 0};
        board[i] = &views[i];
      }
    }
    for (int level = 0; level < kOpponentComLevels; ++level) {
      EXPECT_EQ(init(level, 4, board, queue, &hold, &pending), 1);
      EXPECT_EQ(thinking_time(), kTable[level]);
      EXPECT_EQ(miss_percent(), kTable[level]);
      decision = -1;
      // As the field runs it: a thread of the kernel's, polled without
      // waiting until it has ended by itself.
      HANDLE thread = CreateThread(nullptr, 0, think_set, &decision, 0, nullptr);
      ASSERT_NE(thread, nullptr);
      int polls = 0;
      while (WaitForSingleObject(thread, 0) == WAIT_TIMEOUT && polls < 10000) {
        Sleep(1);
        ++polls;
      }
      EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0) << "the think never ended";
      CloseHandle(thread);
      EXPECT_GE(decision, 0) << "height " << height << " level " << level;
      EXPECT_LT(decision, kOpponentPlacements) << "height " << height << " level " << level;
    }
  }
  // Out-of-range levels answer as the nearest level.
  init(9, 4, board, queue, &hold, &pending);
  EXPECT_EQ(thinking_time(), 0);
  init(-4, 4, board, queue, &hold, &pending);
  EXPECT_EQ(thinking_time(), 10);
}

INSTANTIATE_TEST_SUITE_P(Opponents, OpponentModule, ::testing::ValuesIn(kModules),
                         [](const auto& info) { return std::string(info.param); });

TEST(OpponentModules, EachKeepsItsOwnStateAndCharacter) {
  void* a = dlopen(ModulePath("rival1").c_str(), RTLD_NOW | RTLD_LOCAL);
  void* b = dlopen(ModulePath("rival4").c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  reinterpret_cast<OpponentInitFn>(dlsym(a, "init"))(2, 4, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(reinterpret_cast<OpponentLevelValueFn>(dlsym(a, "get_thinking_time"))(), 0);
  EXPECT_EQ(reinterpret_cast<OpponentLevelValueFn>(dlsym(b, "get_thinking_time"))(), 10);
  uint32_t size_a = 0, size_b = 0;
  const void* name_a = reinterpret_cast<VoxModuleResourceFn>(dlsym(a, VOX_MODULE_RESOURCE_SYMBOL))("NAME", IntResource(27), &size_a);
  const void* name_b = reinterpret_cast<VoxModuleResourceFn>(dlsym(b, VOX_MODULE_RESOURCE_SYMBOL))("NAME", IntResource(27), &size_b);
  ASSERT_TRUE(name_a && name_b);
  EXPECT_NE(std::string((const char*)name_a, size_a), std::string((const char*)name_b, size_b));
  dlclose(b);
  dlclose(a);
}

// The committed resources are what the asset generator draws today.
class OpponentResources : public TempDirTest {};

TEST_F(OpponentResources, MatchTheCommittedFiles) {
  for (const char* name : kModules) std::filesystem::create_directories(Path(std::string(name) + "/res"));
  const std::string command = std::string(VOX_ASSETGEN) + " opponents " + dir();
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  for (const char* name : kModules) {
    for (const char* file : {"image.png", "face.png", "name.txt", "descript.txt"}) {
      const std::string relative = std::string(name) + "/res/" + file;
      std::ifstream committed(std::string(VOX_OPPONENTS_SOURCE) + "/" + relative, std::ios::binary);
      std::stringstream expected;
      expected << committed.rdbuf();
      EXPECT_EQ(ReadFile(relative), expected.str()) << relative << " differs: run the assets_opponents target";
    }
  }
}

}  // namespace
