// Scenes driven headless: the engine started with SDL's dummy drivers, a
// temporary run folder with the effects and music the scenes play (long
// silent waves, so a sound started in a frame still plays when the test
// looks), and scripted buttons fed frame by frame.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "engine/sound/sound.h"
#include "game/buttons.h"
#include "game/caches.h"
#include "game/scene.h"
#include "game/settings.h"
#include "tests/game/headless_engine.h"
#include "tests/support/temp_dir.h"

// A WAVE file of silence: 16-bit mono at 8000 Hz.
inline std::string SilentWave(int seconds) {
  const uint32_t data = 8000u * 2u * (uint32_t)seconds;
  std::string w = "RIFF";
  auto put32 = [&w](uint32_t v) {
    for (int i = 0; i < 4; ++i) w.push_back(char(v >> (8 * i)));
  };
  auto put16 = [&w](uint16_t v) {
    w.push_back(char(v));
    w.push_back(char(v >> 8));
  };
  put32(36 + data);
  w += "WAVEfmt ";
  put32(16);
  put16(1);
  put16(1);
  put32(8000);
  put32(16000);
  put16(2);
  put16(16);
  w += "data";
  put32(data);
  w.append(data, '\0');
  return w;
}

class SceneTest : public TempDirTest {
 protected:
  static constexpr const char* kEffects[] = {"rotate", "pause", "buzzer", "break", "321", "levelup", "gameover",
                                             "set", "slide", "jama"};

  void SetUp() override {
    TempDirTest::SetUp();
    ASSERT_TRUE(StartHeadlessEngine());
    const std::string wave = SilentWave(10);
    for (const char* name : kEffects) WriteFile(std::string("sounds/") + name + ".wav", wave);
    WriteFile("sounds/title.wav", wave);
    WriteFile("sounds/select.wav", wave);
    // The caches keep what an earlier test loaded; nothing plays yet.
    for (const char* name : kEffects) HaltSoundHandle(load_se(Effect(name).c_str()));
    HaltSoundHandle(load_bgm("sounds\\title"));
    HaltSoundHandle(load_bgm("sounds\\select"));
    read_settings();  // the defaults: no settings file here
    Feed(0);
    Feed(0);
    reset_input();
  }
  void TearDown() override {
    delete scene_;
    scene_ = nullptr;
    read_settings();
    TempDirTest::TearDown();
  }

  static std::string Effect(const char* name) { return std::string("sounds\\") + name + ".wav"; }
  static void Feed(int keyboard, const uint8_t* keys = nullptr) {
    int bits[5] = {keyboard, 0, 0, 0, 0};
    feed_input(bits, keys);
  }
  // One frame with the keyboard-as-pad bits held; the scene's result.
  bool Frame(int held = 0) {
    Feed(held);
    return scene_->update();
  }
  // Frames until the scene ends or the count runs out; the frames run.
  int Run(int frames, int held = 0) {
    for (int i = 0; i < frames; ++i)
      if (!Frame(held)) return i + 1;
    return frames;
  }
  // A press: held for one frame, then let go for another.
  bool Tap(int mask) {
    bool keep = Frame(mask);
    return Frame(0) && keep;
  }
  static bool Playing(int handle) { return QuerySoundHandlePlaying(handle) == 1; }
  // Whether an effect has been started since it was last halted; halts it.
  static bool Played(const char* name) {
    int handle = load_se(Effect(name).c_str());
    bool playing = Playing(handle);
    HaltSoundHandle(handle);
    return playing;
  }

  Scene* scene_ = nullptr;
};
