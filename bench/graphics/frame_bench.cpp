// A typical game frame at 16 and 32 bits: clear, a full-screen background,
// the 84 blocks of a 6 x 14 board drawn with the colour key, a stretched
// picture, a translucent panel, four lines of text in the game's fonts, and
// the present. Counted in frames per second.
//
// GameFrame draws in software headless (the present costs only its own
// bookkeeping). GameFrameInWindow draws the same frame into a window of
// SDL's offscreen driver, once in software (the present copies the frame
// into the window) and once on the Direct3D device over OpenGL (Mesa's
// software OpenGL when there is no graphics card).
#include <benchmark/benchmark.h>

#include "engine/core/engine_state.h"
#include "engine/core/engine_subsystem.h"
#include "engine/core/log.h"
#include "engine/font/font.h"
#include "engine/graphics/graphics.h"
#include "engine/image/base_image.h"
#include "tests/engine/graphics/gl/window_host.h"
#include "tests/support/gl_window.h"

namespace {

// The environment check of the engine's start-up, as the game runs it: the
// software renderer's rows then run at the level it finds (AVX2 where the
// processor has it), as in the game.
const int kEnvironmentChecked = (SetLogOutput(0), CheckEnvironment());

int MakeGraph(int w, int h, uint32_t (*colour)(int x, int y)) {
  BASEIMAGE image{};
  MakeXrgbBaseImage(w, h, &image);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      uint32_t c = colour(x, y);
      PutBaseImagePixel(&image, x, y, (c >> 16) & 255, (c >> 8) & 255, c & 255, 255);
    }
  int graph = CreateGraphFromImage(&image, nullptr, 0, 0, 0);
  DisposeBaseImage(&image);
  return graph;
}

// Draws the frame for as long as the benchmark asks; graphics must have
// been requested already.
void DrawFrames(benchmark::State& state) {
  if (StartGraphics() < 0) {
    state.SkipWithError("graphics did not start");
    return;
  }
  SelectDrawScreen(DRAW_SCREEN_BACK);
  int background = MakeGraph(640, 480, [](int x, int y) { return (uint32_t)((x / 3) << 16 | (y / 2) << 8 | 90); });
  int blocks[4];
  static const uint32_t kColours[4] = {0xE62828, 0x28C83C, 0x3250E6, 0xF0DC28};
  for (int i = 0; i < 4; i++) {
    static int which;
    which = i;
    blocks[i] = MakeGraph(32, 32, [](int x, int y) -> uint32_t {
      if (x < 3 && y < 3) return 0;  // keyed corner
      return x < 2 || y < 2 ? 0xFFFFFF : kColours[which];
    });
  }
  int picture = MakeGraph(128, 128, [](int x, int y) { return (uint32_t)((x * 2) << 16 | (y * 2) << 8 | 64); });
  uint32_t black = PackScreenColor(0, 0, 0), white = PackScreenColor(255, 255, 255);
  int fonts[4];
  const int sizes[4] = {32, 24, 14, 16};
  for (int i = 0; i < 4; i++) fonts[i] = CreateFontToHandle("ＭＳ 明朝", sizes[i], -1, 1, -1, -1, 0);
  for (auto _ : state) {
    WipeDrawScreen();
    SelectBlendMode(0, 0);
    PaintGraph(0, 0, background, 0);
    for (int row = 0; row < 14; row++)
      for (int col = 0; col < 6; col++) PaintGraph(40 + col * 32, 16 + row * 32, blocks[(row + col) % 4], 1);
    PaintGraphStretched(300, 40, 620, 300, picture, 0);
    SelectBlendMode(1, 128);
    PaintFilledBox(300, 320, 620, 460, black);
    SelectBlendMode(0, 0);
    DrawTextWithFont(440, 230, "れんさ 12", white, fonts[0], black, 0);
    DrawTextWithFont(440, 270, "スコア 004560", white, fonts[1], black, 0);
    DrawTextWithFont(320, 400, "つぎ：レベル 7", white, fonts[2], black, 0);
    DrawTextWithFont(320, 424, "タイム 01:23.45", white, fonts[3], black, 0);
    PresentScreen();
  }
  state.counters["fps"] = benchmark::Counter((double)state.iterations(), benchmark::Counter::kIsRate);
  state.SetLabel(IsHardwareRendererInUse() ? "device over OpenGL" : "software");
  EndGraphics();
}

void GameFrame(benchmark::State& state) {
  SetLogOutput(0);
  ReplaceEngineSubsystem(kFontsSubsystem);  // the fonts start with graphics
  SetUseHardwareRenderer(0);
  RequestScreenMode(640, 480, (int)state.range(0), 60);
  DrawFrames(state);
  ResetEngineSubsystems();
  SetUseHardwareRenderer(1);
}
BENCHMARK(GameFrame)->Arg(16)->Arg(32)->Unit(benchmark::kMillisecond);

// Arguments: depth, and 1 for the device over OpenGL or 0 for software.
void GameFrameInWindow(benchmark::State& state) {
  UseOffscreenGLVideo();
  SetLogOutput(0);
  HWND window = OpenGLWindow("VoxFrameBench", 640, 480);
  bool hardware = state.range(1) != 0;
  ScopedHardwareSetting device_on_any_gl(hardware ? "1" : nullptr);  // Mesa's OpenGL offers none by itself
  if (!window || (hardware && !IsWindowGLCapable(window))) {
    state.SkipWithError("no window with OpenGL");
  } else {
    InstallWindowGraphicsHost(window);
    SetUseHardwareRenderer(hardware ? 1 : 0);
    RequestScreenMode(640, 480, (int)state.range(0), 60);
    DrawFrames(state);
    InstallWindowGraphicsHost(nullptr);
    SetUseHardwareRenderer(1);
  }
  CloseGLWindow(window, "VoxFrameBench");
}
BENCHMARK(GameFrameInWindow)
    ->ArgNames({"bits", "device"})
    ->Args({16, 0})
    ->Args({16, 1})
    ->Args({32, 0})
    ->Args({32, 1})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
