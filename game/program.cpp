// Start-up, the frame loop and shutdown.
#include "game/program.h"

#include <time.h>

#include <cstdio>
#include <string>

#include "engine/core/engine_start.h"
#include "engine/core/log.h"
#include "engine/core/util.h"
#include "engine/core/window.h"
#include "engine/graphics/graphics.h"
#include "engine/font/font.h"
#include "engine/runtime/engine_runtime.h"
#include "engine/sound/sound.h"
#include "game/buttons.h"
#include "game/game_files.h"
#include "game/globals.h"
#include "game/hiscore.h"
#include "game/midi.h"
#include "game/replay.h"
#include "game/scene.h"
#include "game/settings.h"
#include "game/test_script.h"

int64_t frame_base = 0;

namespace {

const char* failed_step = nullptr;
FrameHook* frame_hook = nullptr;

bool fail(const char* step) {
  failed_step = step;
  return false;
}

}  // namespace

const char* failed_startup_step() { return failed_step; }

void set_frame_hook(FrameHook* hook) { frame_hook = hook; }

bool init_screen() {
  InstallEngineServices();
  SetRunWhileInactive(1);
  SetAllowDoubleStart(1);
  FullScreen = read_setting("FullScreen", 0) != 0;
  if (!FullScreen) ChangeWindowMode(1);
  SetWindowIconResource(127);
  RequestScreenMode(640, 480, 16, 60);
  WideScreen = read_setting("WideScreen", 0) != 0;
  if (WideScreen) SetWindowScale(1.5);
  SetWindowTitle("Voxaldrift");
  SetLogOutput(0);
  if (InitEngine() == -1) return fail("the engine did not start (window, input or graphics)");
  if (SelectDrawScreen(DRAW_SCREEN_BACK) == -1) return fail("the back screen could not be selected for drawing");
  create_fonts();
  create_colors();
  return true;
}

void clear_unfinished_saves() {
  remove_unfinished_saves(kSettingsFile);
  remove_unfinished_saves(kHiscoreFile);
  remove_unfinished_saves((std::string(kReplayFolder) + "\\" + kReplayStem).c_str());
}

bool init_game() {
  failed_step = nullptr;
  clear_unfinished_saves();
  if (!init_screen()) return false;
  reset_input();
  read_settings();
  if (!load_midi_player()) return fail("the MIDI library \"Tunehall.dll\" could not be loaded");
  return true;
}

bool run_frame() {
  WipeDrawScreen();
  if (frame_hook) frame_hook->before_input();
  poll_input();
  if (ProcessEngineMessages() == -1) return false;
  bool keep = run_scene();
  PresentScreen();
  if (frame_hook) {
    frame_hook->after_present();
    if (frame_hook->unpaced) {
      frame_base = GetMicrosecondCount(0);
      return keep;
    }
  }
  wait_for_frame_end(
      &frame_base, [] { return GetMicrosecondCount(0); },
      [](int64_t us) {
        timespec t{(time_t)(us / 1000000), (long)(us % 1000000) * 1000};
        nanosleep(&t, nullptr);
      });
  return keep;
}

bool end_game() {
  // The scene goes before anything it may hold: fields and their thinking
  // threads, plug-in modules, graphs and sounds.
  delete_scene();
  ReleaseAllGraphs();
  DisposeAllSoundHandles();
  ResetFontHandles();
  for (int& font : font_table) font = -1;
  unload_midi_player();
  return EndEngine() != -1;
}

int run_program() {
  install_test_script_from_environment();
  if (!init_game()) {
    end_game();
    std::fprintf(stderr, "voxaldrift: start-up failed: %s\n", failed_startup_step());
    return 1;
  }
  SceneValues first;  // cursor 0, first start
  requested_scene = kSceneTitle;
  current_scene_number = kSceneTitle;
  current_scene = build_scene(kSceneTitle, first);
  test_script_started();
  frame_base = GetMicrosecondCount(0);
  int exit_code = 0;
  while (run_frame())
    if (frame_hook && frame_hook->finished(&exit_code)) break;
  end_game();
  return exit_code;
}
