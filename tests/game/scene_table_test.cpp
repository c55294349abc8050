// The scene machine: the constructor arguments of every request from every
// ending scene, the class each number builds, and the machine's handling of
// a request it cannot serve.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <typeinfo>
#include <vector>

#include "game/scene.h"
#include "game/scene_hiscore.h"
#include "game/scene_option.h"
#include "game/scene_replay_single.h"
#include "game/scene_select_mode.h"
#include "game/scene_select_single.h"
#include "game/scene_single.h"
#include "game/scene_title.h"
#include "tests/game/scene_fixture.h"

namespace {

constexpr int kAny = -2;  // every ending scene without a row of its own

// What the new scene takes of the ending scene's records and names.
enum Take {
  kNone,          // no records, no names
  kFreshSingle,   // a fresh record, com_level -1; empty names
  kFreshVsCom,    // fresh records, com_level -1 and 0; empty names
  kFreshTwo,      // fresh records, com_level -1 and -1; empty names
  kSide1,         // its side-1 record and its names
  kBoth,          // its two records and its names
  kPath,          // the replay path, its side-1 record and its names
  kConnection,    // its connection, seed and input delay
  kBothAndLink,   // its two records, names and connection
};

struct Row {
  int requested, ending;
  int cursor, entry, mode, two_players, kind;
  Take take;
};

// The ending scene's values: mode 1 (its cursor in the mode menu), a side-1
// record of mode 2, a computer on side 2, a two-person kind.
SceneValues Its() {
  SceneValues v;
  v.mode = 1;
  v.two_players = 1;
  v.kind = 2;
  v.sides[0].mode = 2;
  v.sides[0].seed = 11;
  v.sides[0].chara_image = 5;
  v.sides[0].level_target = 16012;
  v.sides[1].seed = 22;
  v.sides[1].module = reinterpret_cast<HMODULE>(0x1234);
  v.sides[1].com_level = 1;
  copy_media_name(v.background, "bgimages\\b.png");
  copy_media_name(v.music, "musics\\m.mid");
  v.replay_path = "replay\\play3.vrs";
  v.connection = reinterpret_cast<socket_set*>(0x5678);
  v.seed = 99;
  v.input_delay = 4;
  return v;
}

// The table as the game defines it, rows in its order; -1 in a column the
// new scene does not take.
const Row kTable[] = {
    {0, 1, 0, 1, -1, -1, -1, kNone},
    {0, 2, 0, 1, -1, -1, -1, kNone},  // the settings of a single mode never go to the title
    {0, 3, 1, 1, -1, -1, -1, kNone},
    {0, 8, 3, 1, -1, -1, -1, kNone},
    {0, 9, 4, 1, -1, -1, -1, kNone},
    {0, kAny, 0, 1, -1, -1, -1, kNone},
    {1, 0, 0, 0, -1, -1, -1, kNone},
    {1, 11, 4, 1, -1, -1, -1, kNone},
    {1, 2, 1, 1, -1, -1, -1, kNone},  // cursor = its mode
    {1, kAny, 3, 1, -1, -1, -1, kNone},
    {2, 0, -1, 0, 3, -1, -1, kFreshSingle},
    {2, 1, -1, 0, 1, -1, -1, kFreshSingle},  // mode = its chosen mode
    {2, 4, -1, 1, 2, -1, -1, kSide1},       // mode = its record's mode
    {2, 6, -1, 1, 3, -1, -1, kSide1},
    {2, 7, -1, 1, 3, -1, -1, kSide1},
    {2, 10, -1, 2, 2, -1, -1, kSide1},
    {3, 5, -1, 1, -1, 0, -1, kBoth},  // side 2 has a module: not two people
    {3, 10, -1, 2, -1, 1, -1, kBoth},  // its kind is 2
    {3, 1, -1, 0, -1, 0, -1, kFreshVsCom},
    {3, kAny, -1, 0, -1, 1, -1, kFreshTwo},
    {4, 10, -1, -1, -1, -1, -1, kSide1},
    {5, 10, -1, -1, -1, -1, -1, kBoth},
    {6, 2, -1, -1, -1, -1, -1, kPath},
    {7, 2, -1, -1, -1, -1, -1, kPath},
    {8, kAny, -1, -1, -1, -1, -1, kNone},
    {9, kAny, -1, -1, -1, -1, -1, kNone},
    {10, 3, -1, -1, -1, -1, 2, kBoth},  // its two-players flag is set
    {10, 2, -1, -1, -1, -1, 0, kSide1},
    {11, 1, -1, 0, -1, -1, -1, kNone},
    {11, kAny, -1, 1, -1, -1, -1, kNone},
    {12, 11, -1, -1, -1, -1, -1, kConnection},
    {13, 12, -1, -1, -1, -1, -1, kBothAndLink},
};

const Row* FindRow(int requested, int ending) {
  const Row* any = nullptr;
  for (const Row& r : kTable) {
    if (r.requested != requested) continue;
    if (r.ending == ending) return &r;
    if (r.ending == kAny) any = &r;
  }
  return any;
}

auto Fields(const side_settings& s) {
  return std::make_tuple(s.chara_image, s.colours, s.clear_score, s.garbage_score, s.clear_count, s.level_target,
                         s.mode, s.frame_offset, s.seed, s.module, s.com_level);
}
bool SameSettings(const side_settings& a, const side_settings& b) { return Fields(a) == Fields(b); }

side_settings Fresh(int com_level) {
  side_settings s;
  s.com_level = com_level;
  return s;
}

void ExpectArguments(const Row& row, const SceneValues& its, const SceneValues& got) {
  if (row.cursor >= 0) {
    EXPECT_EQ(got.cursor, row.cursor);
  }
  if (row.entry >= 0) {
    EXPECT_EQ(got.entry, row.entry);
  }
  if (row.mode >= 0) {
    EXPECT_EQ(got.mode, row.mode);
  }
  if (row.two_players >= 0) {
    EXPECT_EQ(got.two_players, row.two_players);
  }
  if (row.kind >= 0) {
    EXPECT_EQ(got.kind, row.kind);
  }
  bool names = row.take == kSide1 || row.take == kBoth || row.take == kPath || row.take == kBothAndLink;
  EXPECT_STREQ(got.background, names ? its.background : "");
  EXPECT_STREQ(got.music, names ? its.music : "");
  EXPECT_EQ(got.replay_path, row.take == kPath ? its.replay_path : "");
  bool link = row.take == kConnection || row.take == kBothAndLink;
  EXPECT_EQ(got.connection, link ? its.connection : nullptr);
  EXPECT_EQ(got.seed, row.take == kConnection ? its.seed : 0);
  EXPECT_EQ(got.input_delay, row.take == kConnection ? its.input_delay : 0);
  switch (row.take) {
    case kFreshSingle:
      EXPECT_TRUE(SameSettings(got.sides[0], Fresh(-1)));
      break;
    case kFreshVsCom:
    case kFreshTwo:
      EXPECT_TRUE(SameSettings(got.sides[0], Fresh(-1)));
      EXPECT_TRUE(SameSettings(got.sides[1], Fresh(row.take == kFreshVsCom ? 0 : -1)));
      break;
    case kSide1:
    case kPath:
      EXPECT_TRUE(SameSettings(got.sides[0], its.sides[0]));
      break;
    case kBoth:
    case kBothAndLink:
      EXPECT_TRUE(SameSettings(got.sides[0], its.sides[0]));
      EXPECT_TRUE(SameSettings(got.sides[1], its.sides[1]));
      break;
    default:
      break;
  }
}

TEST(SceneTable, EveryRequestFromEveryScene) {
  const SceneValues its = Its();
  for (int requested = 0; requested < kSceneCount; ++requested) {
    for (int ending = 0; ending < kSceneCount; ++ending) {
      SCOPED_TRACE(testing::Message() << "requested " << requested << " from " << ending);
      SceneValues got;
      const Row* row = FindRow(requested, ending);
      ASSERT_EQ(scene_arguments(requested, ending, its, &got), row != nullptr);
      if (row) ExpectArguments(*row, its, got);
    }
  }
  SceneValues got;
  EXPECT_FALSE(scene_arguments(kSceneQuit, kSceneTitle, its, &got));
  EXPECT_FALSE(scene_arguments(kSceneCount, kSceneTitle, its, &got));
}

TEST(SceneTable, ValuesThatChooseTheRow) {
  struct Case {
    const char* why;
    void (*change)(SceneValues&);
    int requested, ending;
    int (*read)(const SceneValues&);
    int expected;
  };
  const Case cases[] = {
      {"the replay list goes back to the title's replay entry", [](SceneValues& v) { v.mode = 3; }, kSceneTitle,
       kSceneSelectSingle, [](const SceneValues& v) { return v.cursor; }, 2},
      {"break trial starts at level 0 with a target of 100 blocks", [](SceneValues& v) { v.mode = 2; },
       kSceneSelectSingle, kSceneSelectMode, [](const SceneValues& v) { return v.sides[0].level_target; }, 320},
      {"endless starts at level 0", [](SceneValues& v) { v.mode = 0; }, kSceneSelectSingle, kSceneSelectMode,
       [](const SceneValues& v) { return v.sides[0].level_target; }, 0},
      {"back from a battle against a person", [](SceneValues& v) { v.sides[1].module = nullptr; },
       kSceneSelectDouble, kSceneDouble, [](const SceneValues& v) { return v.two_players; }, 1},
      {"back from a character screen of one person", [](SceneValues& v) { v.kind = 1; }, kSceneSelectDouble,
       kSceneSelectChara, [](const SceneValues& v) { return v.two_players; }, 0},
      {"the character screen of one person", [](SceneValues& v) { v.two_players = 0; }, kSceneSelectChara,
       kSceneSelectDouble, [](const SceneValues& v) { return v.kind; }, 1},
  };
  for (const Case& c : cases) {
    SceneValues its = Its(), got;
    c.change(its);
    ASSERT_TRUE(scene_arguments(c.requested, c.ending, its, &got)) << c.why;
    EXPECT_EQ(c.read(got), c.expected) << c.why;
  }
}

// Names are cut to 63 bytes, never inside a two-byte character.
TEST(SceneTable, MediaNamesAreCutToTheirFields) {
  char name[kMediaNameSize];
  std::string long_name(80, 'a');
  copy_media_name(name, long_name.c_str());
  EXPECT_EQ(std::strlen(name), 63u);
  std::string wide = std::string(62, 'a') + "背景";
  copy_media_name(name, wide.c_str());
  EXPECT_EQ(std::string(name), std::string(62, 'a'));
}

// Scenes that record their own end, for the machine's tests.
struct Probe : Scene {
  explicit Probe(int request, std::vector<int>* deaths, int id) : request_(request), deaths_(deaths), id_(id) {}
  ~Probe() override { deaths_->push_back(id_); }
  bool update() override {
    if (request_ == kSceneTitle - 100) return true;  // keeps running
    requested_scene = request_;
    return false;
  }
  int request_;
  std::vector<int>* deaths_;
  int id_;
};

class SceneMachineTest : public SceneTest {
 protected:
  void TearDown() override {
    delete_scene();
    SceneTest::TearDown();
  }
  void Install(int number, int request) {
    current_scene = new Probe(request, &deaths_, number);
    current_scene_number = number;
    requested_scene = number;
  }
  std::vector<int> deaths_;
};

TEST_F(SceneMachineTest, EachNumberBuildsItsClass) {
  SceneValues args;
  args.mode = 0;
  args.replay_path = "replay\\none.vrs";
  struct Case {
    int number;
    const std::type_info& type;
  };
  const Case cases[] = {
      {kSceneTitle, typeid(Scene_Title)},        {kSceneSelectMode, typeid(Scene_SelectMode)},
      {kSceneSelectSingle, typeid(Scene_SelectSingle)}, {kSceneSingle, typeid(Scene_Single)},
      {kSceneReplaySingle, typeid(Scene_ReplaySingle)}, {kSceneHiscore, typeid(Scene_Hiscore)},
      {kSceneOption, typeid(Scene_Option)},
  };
  for (const Case& c : cases) {
    Scene* s = build_scene(c.number, args);
    ASSERT_NE(s, nullptr) << c.number;
    EXPECT_EQ(typeid(*s), c.type) << c.number;
    delete s;
  }
  EXPECT_EQ(build_scene(kSceneQuit, args), nullptr);
  EXPECT_EQ(build_scene(kSceneCount, args), nullptr);
}

TEST_F(SceneMachineTest, ARequestBuildsTheNextSceneAfterTheOldOneEnds) {
  Install(kSceneOption, kSceneTitle);
  EXPECT_TRUE(run_scene());
  EXPECT_EQ(deaths_, std::vector<int>{kSceneOption});
  ASSERT_NE(dynamic_cast<Scene_Title*>(current_scene), nullptr);
  EXPECT_EQ(current_scene_number, kSceneTitle);
  EXPECT_EQ(static_cast<Scene_Title*>(current_scene)->cursor(), 4);
}

TEST_F(SceneMachineTest, RequestsThatCannotBeServedQuit) {
  // A quit, a number outside the table, a pair without a row (only the
  // character screen starts single play), a scene this build may lack.
  const int requests[][2] = {{kSceneTitle, kSceneQuit},
                             {kSceneTitle, 42},
                             {kSceneTitle, kSceneSingle},
                             {kSceneOption, kSceneReplaySingle},
                             {kSceneSelectMode, kSceneNetwork}};
  for (const auto& r : requests) {
    SCOPED_TRACE(testing::Message() << r[0] << " -> " << r[1]);
    deaths_.clear();
    Install(r[0], r[1]);
    EXPECT_FALSE(run_scene());
    EXPECT_EQ(deaths_, std::vector<int>{r[0]});
    EXPECT_EQ(current_scene, nullptr);
  }
  // A number outside the table stands in the request while a scene runs.
  deaths_.clear();
  Install(kSceneHiscore, kSceneTitle - 100);
  requested_scene = 99;
  EXPECT_FALSE(run_scene());
  EXPECT_EQ(deaths_, std::vector<int>{kSceneHiscore});
  EXPECT_EQ(requested_scene, kSceneQuit);
}

TEST_F(SceneMachineTest, ARunningSceneStays) {
  Install(kSceneHiscore, kSceneTitle - 100);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(run_scene());
  EXPECT_TRUE(deaths_.empty());
  EXPECT_EQ(current_scene_number, kSceneHiscore);
}

}  // namespace
