// The assembled engine leaves nothing of the core's calls empty: every
// subsystem the core runs is registered by InstallEngineServices(), and each
// registered record fills every hook the core calls of it, its reactions to
// the graphics events among them. An empty hook would quietly do nothing
// where it is called, so a forgotten one must fail here instead.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/core/engine_subsystem.h"
#include "engine/graphics/graphics_host.h"
#include "engine/runtime/engine_runtime.h"

namespace {

using Lines = std::vector<std::string>;

class SubsystemRecordsTest : public ::testing::Test {
 protected:
  void TearDown() override {
    ResetEngineSubsystems();
    SetGraphicsHost(nullptr);
    SetGraphMovieSource(nullptr);
  }
};

TEST_F(SubsystemRecordsTest, TheAssembledEngineLeavesNoHookEmpty) {
  InstallEngineServices();
  EXPECT_EQ(MissingEngineHooks(), Lines{});
}

TEST_F(SubsystemRecordsTest, AnEmptyHookIsReported) {
  InstallEngineServices();
  ReplaceEngineHook(SubsystemId::Sound, &EngineSubsystem::pump, nullptr);
  ReplaceEngineHook(SubsystemId::Graphics, &EngineSubsystem::present_screen, nullptr);
  ReplaceEngineHook(SubsystemId::Window, &EngineSubsystem::force_foreground, nullptr);
  ReplaceEngineHook(SubsystemId::Fonts, &EngineSubsystem::graphs_refilled, nullptr);
  ReplaceEngineHook(SubsystemId::Input, &EngineSubsystem::device_lost, nullptr);
  ReplaceEngineHook(SubsystemId::Movies, &EngineSubsystem::device_releasing, nullptr);
  ReplaceEngineHook(SubsystemId::Movies, &EngineSubsystem::device_restored, nullptr);
  EXPECT_EQ(MissingEngineHooks(),
            (Lines{"window: force_foreground is empty", "graphics: present_screen is empty",
                   "fonts: graphs_refilled is empty", "input: device_lost is empty", "sound: pump is empty",
                   "movies: device_releasing is empty", "movies: device_restored is empty"}));
}

// The core alone: its own subsystems are there, every other one is missing.
TEST_F(SubsystemRecordsTest, ASubsystemNotRegisteredIsReported) {
  ResetEngineSubsystems();
  EXPECT_EQ(MissingEngineHooks(),
            (Lines{"graphics is not registered", "model runtime is not registered", "fonts is not registered",
                   "soft images is not registered", "input is not registered", "text input is not registered",
                   "sound is not registered", "music is not registered", "movies is not registered",
                   "sockets is not registered"}));
}

}  // namespace
