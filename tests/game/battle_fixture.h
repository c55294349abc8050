// Battles driven headless: the scene fixture with a "characters" folder in
// the test's temporary folder holding the real plug-ins (linked from the run
// folder) and copies of the test plug-in that misbehaves on purpose (each
// copy a module of its own), and buttons fed on the keyboard and both pads.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "game/field.h"
#include "game/opponent_host.h"
#include "tests/game/harness/match_driver.h"
#include "tests/game/scene_fixture.h"

// The test plug-in loaded under a name of its own; its extra exports steer
// it (tests/game/test_opponent/test_opponent.cpp).
struct TestOpponent {
  enum Mode { kAnswer = 0, kWild = 1, kSilent = 2, kGated = 3 };
  HMODULE module = nullptr;

  template <typename Fn>
  Fn get(const char* name) const {
    return reinterpret_cast<Fn>(GetProcAddress(module, name));
  }
  void configure(Mode mode, int answer = 0, int thinking_time = 0) const {
    get<void (*)(int32_t, int32_t, int32_t)>("test_configure")(mode, answer, thinking_time);
  }
  void release() const { get<void (*)()>("test_release")(); }
  int started() const { return get<int32_t (*)()>("test_started")(); }
  int finished() const { return get<int32_t (*)()>("test_finished")(); }
  int inits() const { return get<int32_t (*)()>("test_inits")(); }
  // Waits until n searches have begun: a search's thread may not have run
  // at all yet on a busy machine. False only after a generous bound.
  bool await_started(int n) const {
    const DWORD begun = timeGetTime();
    while (started() < n) {
      if (timeGetTime() - begun > 60000) return false;
      Sleep(1);
    }
    return true;
  }
};

class BattleTest : public SceneTest {
 protected:
  void SetUp() override {
    SceneTest::SetUp();
    std::filesystem::create_directories(Path("characters"));
    for (int n = 1; n <= 4; ++n) LinkRival(n, "rival" + std::to_string(n) + ".so");
  }
  // The test's own references go; a plug-in given up on stays, as in the
  // game. (Modules are known by their relative path: a later test of the
  // same program would otherwise get this test's module under that name.)
  void TearDown() override {
    for (HMODULE m : test_opponents_)
      if (!opponent_module_stuck(m)) FreeLibrary(m);
    SceneTest::TearDown();
  }

  // The real plug-in n linked into "characters" under a file name.
  void LinkRival(int n, const std::string& file) const {
    std::filesystem::create_symlink(std::string(VOX_CHARACTERS_DIR) + "/rival" + std::to_string(n) + ".so",
                                    Path("characters/" + file));
  }
  // A copy of the test plug-in in "characters"; `partial` is the build that
  // lacks think_set.
  void CopyTestOpponent(const std::string& file, bool partial = false) const {
    std::filesystem::copy_file(std::string(VOX_TEST_OPPONENTS_DIR) + (partial ? "/partial.so" : "/scripted.so"),
                               Path("characters/" + file));
  }
  static HMODULE Load(const std::string& file) { return LoadLibraryA(("characters\\" + file).c_str()); }
  static bool Loaded(const std::string& file) {
    return GetModuleHandleA(("characters\\" + file).c_str()) != nullptr;
  }
  // A fresh copy of the test plug-in, loaded; the fixture releases it.
  TestOpponent LoadTestOpponent(const std::string& file, bool partial = false) {
    CopyTestOpponent(file, partial);
    TestOpponent op{Load(file)};
    EXPECT_NE(op.module, nullptr) << file;
    test_opponents_.push_back(op.module);
    if (!partial) {
      EXPECT_EQ(op.inits(), 0) << file << " was loaded before under that name";
    }
    return op;
  }
  std::vector<HMODULE> test_opponents_;

  // A computer side's settings: battle mode, a plug-in, a level.
  static side_settings Computer(HMODULE module, int level = 2, int seed = 1234) {
    side_settings s;
    s.mode = 3;
    s.seed = seed;
    s.module = module;
    s.com_level = level;
    return s;
  }
  static side_settings Person(int seed = 1234) {
    side_settings s;
    s.mode = 3;
    s.seed = seed;
    return s;
  }

  // One frame's buttons: the keyboard read as a pad, pad 1 and pad 2.
  static void Pads(int keyboard, int pad1 = 0, int pad2 = 0) {
    int bits[5] = {keyboard, pad1, pad2, 0, 0};
    feed_input(bits, nullptr);
  }
};
