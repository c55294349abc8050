// What one frame of the game asks of the Direct3D device in steady state:
// the title, endless play at level 1 and a battle between two people, none
// of whom presses anything. The real game runs in a copy of its run folder
// under SDL's offscreen video driver on the device path (VOX_HARDWARE=1: the
// device on Mesa's OpenGL too), frames back to back. The stand-in's
// counters are read around the measured frames and reported per frame:
// draws, state calls and changes, texture uploads and their bytes,
// read-backs and their bytes, and full-screen passes (clears, fills and
// copies of the whole screen, the present's among them).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "engine/graphics/graphics.h"
#include "game/media_lists.h"
#include "game/program.h"
#include "game/scene.h"
#include "game/scene_double.h"
#include "game/scene_single.h"
#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/d3d9_control.h"
#include "tests/game/run_folder.h"
#include "tests/support/gl_window.h"

namespace fs = std::filesystem;

namespace {

struct Unpaced : FrameHook {
  Unpaced() { unpaced = true; }
};

// The game started on the device in a run folder of its own; ended, and
// the folder removed, with the scope.
class GameOnTheDevice {
 public:
  GameOnTheDevice()
      : device_path_("1"), folder_((fs::temp_directory_path() / ("voxbench-" + std::to_string(getpid()))).string()) {
    UseOffscreenGLVideo();
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    MakeRunFolder(folder_);
    saved_ = fs::current_path();
    fs::current_path(folder_);
    set_frame_hook(&unpaced_);
    started_ = init_game();
  }
  ~GameOnTheDevice() {
    end_game();
    set_frame_hook(nullptr);
    fs::current_path(saved_);
    fs::remove_all(folder_);
  }
  // Started, and drawing on the device.
  bool ready() const { return started_ && IsHardwareRendererInUse(); }
  // The first background of the run folder.
  const std::string& background() {
    if (media_.backgrounds.empty()) media_.list_media();
    static const std::string none;
    return media_.backgrounds.empty() ? none : media_.backgrounds[0];
  }

 private:
  ScopedHardwareSetting device_path_;
  std::string folder_;
  fs::path saved_;
  Unpaced unpaced_;
  MediaLists media_;
  bool started_ = false;
};

void Show(Scene* scene, int number) {
  delete_scene();
  current_scene = scene;
  requested_scene = current_scene_number = number;
}

// The scene `show` puts up, `warm` frames into it, then the measured frames.
template <class Show>
void CountFrames(benchmark::State& state, int warm, Show show) {
  GameOnTheDevice game;
  if (!game.ready()) {
    state.SkipWithError("the game did not start on the Direct3D device");
    return;
  }
  show(game);
  for (int i = 0; i < warm; i++) run_frame();
  const D3D9DrawCounts a = D3D9GetDrawCounts();
  for (auto _ : state) run_frame();
  const D3D9DrawCounts b = D3D9GetDrawCounts();
  const double frames = (double)state.iterations();
  auto per_frame = [&](const char* name, long D3D9DrawCounts::*field) {
    state.counters[name] = (double)(b.*field - a.*field) / frames;
  };
  per_frame("draws", &D3D9DrawCounts::calls);
  per_frame("vertices", &D3D9DrawCounts::vertices);
  per_frame("state_calls", &D3D9DrawCounts::state_calls);
  per_frame("state_changes", &D3D9DrawCounts::state_changes);
  per_frame("uploads", &D3D9DrawCounts::uploads);
  per_frame("upload_bytes", &D3D9DrawCounts::upload_bytes);
  per_frame("read_backs", &D3D9DrawCounts::read_backs);
  per_frame("read_back_bytes", &D3D9DrawCounts::read_back_bytes);
  per_frame("full_screen_passes", &D3D9DrawCounts::full_screen_passes);
  per_frame("depth_clears", &D3D9DrawCounts::depth_clears);
}

void TitleFrame(benchmark::State& state) {
  CountFrames(state, 150, [](GameOnTheDevice&) { Show(build_scene(kSceneTitle, SceneValues{}), kSceneTitle); });
}
BENCHMARK(TitleFrame)->Iterations(300)->Unit(benchmark::kMillisecond);

side_settings Side(int mode, int seed) {
  side_settings s;
  s.mode = mode;
  s.colours = 3;
  s.seed = seed;
  return s;
}

void EndlessFrame(benchmark::State& state) {
  CountFrames(state, 240, [](GameOnTheDevice& game) {
    Show(new Scene_Single(Side(0, 1234), game.background().c_str(), ""), kSceneSingle);
  });
}
BENCHMARK(EndlessFrame)->Iterations(300)->Unit(benchmark::kMillisecond);

void BattleFrame(benchmark::State& state) {
  CountFrames(state, 300, [](GameOnTheDevice& game) {
    Show(new Scene_Double(Side(3, 1234), Side(3, 4321), game.background().c_str(), ""), kSceneDouble);
  });
}
BENCHMARK(BattleFrame)->Iterations(300)->Unit(benchmark::kMillisecond);

}  // namespace
