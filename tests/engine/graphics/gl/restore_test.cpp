// Device loss and restore: the device is thrown away and made again, the
// cached state goes to the new device, and every graph shows its image
// again; a restore that falls back to the software renderer leaves no graph
// without an image; input works after the switch back.
#include <SDL.h>

#include <cstring>

#include "engine/core/engine_start.h"
#include "engine/core/log.h"
#include "engine/core/window.h"
#include "engine/font/font.h"
#include "engine/graphics/device/device_internal.h"
#include "engine/input/input.h"
#include "engine/runtime/engine_runtime.h"
#include "tests/engine/graphics/gl/gl_fixture.h"
#include "tests/support/key_press.h"

// The device driver's own functions are under test here.
using namespace device;

namespace {

// Writes a PNG of w x h whose colour depends on the position.
void WritePicture(const std::string& path, int w, int h, int seed) {
  std::vector<uint8_t> rgb;
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      rgb.push_back((uint8_t)(x * 7 + seed));
      rgb.push_back((uint8_t)(y * 5 + seed * 3));
      rgb.push_back((uint8_t)(128 + seed));
    }
  FILE* f = fopen(path.c_str(), "wb");
  std::string png = EncodePng(w, h, rgb, false);
  fwrite(png.data(), 1, png.size(), f);
  fclose(f);
}

struct Graphs {
  int a, b, part, target, font;
};

Graphs MakeGraphs() {
  Graphs g;
  g.a = LoadGraphFromFile("a.png");
  g.b = LoadGraphFromFile("b.png");
  g.part = CreatePartGraph(8, 8, 16, 16, g.b);
  SetGraphCreateDrawTarget(1);
  g.target = CreateBlankGraph(32, 32, 0);
  SetGraphCreateDrawTarget(0);
  SelectDrawScreen(g.target);
  PaintFilledBox(0, 0, 32, 32, PackScreenColor(0, 200, 0));
  SelectDrawScreen(DRAW_SCREEN_BACK);
  g.font = CreateFontToHandle("ＭＳ ゴシック", 16, 4, 0, -1, -1, 0);
  return g;
}

void DrawGraphs(const Graphs& g) {
  WipeDrawScreen();
  PaintGraph(10, 10, g.a, 0);
  PaintGraph(100, 10, g.b, 0);
  PaintGraph(200, 10, g.part, 0);
  PaintGraph(300, 10, g.target, 0);
  DrawTextWithFont(10, 100, "Voxaldrift", PackScreenColor(255, 255, 255), g.font, 0, 0);
}

class RestoreTest : public GLGraphicsTest {
 protected:
  // Starts on the device, makes the graphs and shows them.
  Frame StartAndDraw(Graphs* g);
};

Frame RestoreTest::StartAndDraw(Graphs* g) {
  WritePicture(Path("a.png"), 40, 30, 1);
  WritePicture(Path("b.png"), 48, 48, 9);
  Start(true);
  *g = MakeGraphs();
  DrawGraphs(*g);
  return Shown();
}

int Differing(const Frame& a, const Frame& b) {
  int n = 0;
  for (size_t i = 0; i < a.size(); i++) n += a[i] != b[i];
  return n;
}

TEST_F(RestoreTest, ANewDeviceShowsEveryGraphAndKeepsTheState) {
  Graphs g;
  Frame before = StartAndDraw(&g);
  // State set before the loss.
  SetFogColour(10, 20, 30);
  SetFogRange(5.0f, 50.0f);
  D3DLIGHT9 light{};
  light.Type = D3DLIGHT_POINT;
  light.Diffuse[0] = 0.5f;
  SetLightCached(3, &light);
  EnableLight(3, 1);
  D3DMATERIAL9 material = g_rs.material;
  material.Power = 7.0f;
  SetMaterialCached(&material);
  IDirect3DDevice9* old_device = g_device.device;
  old_device->AddRef();  // held, so the new device cannot reuse its address

  EXPECT_EQ(RestoreGraphicsDevice(), 0);
  ASSERT_EQ(IsHardwareRendererInUse(), 1);
  EXPECT_NE(g_device.device, old_device);
  old_device->Release();
  DWORD fog = 0;
  g_device.device->GetRenderState(D3DRS_FOGCOLOR, &fog);
  EXPECT_EQ(fog, 0xFF0A141Eu);
  EXPECT_EQ(g_rs.fog_end, 50.0f);
  EXPECT_EQ(g_rs.material.Power, 7.0f);
  EXPECT_EQ(g_rs.light_enabled[3], 1);
  EXPECT_EQ(g_rs.lights[3].Diffuse[0], 0.5f);

  DrawGraphs(g);
  Frame after = Shown();
  // The pictures loaded from files are back; the graph drawn into at run
  // time comes back cleared.
  for (int y = 10; y < 60; y++)
    for (int x = 10; x < 300; x++) EXPECT_EQ(after[(size_t)y * kWidth + x], before[(size_t)y * kWidth + x]) << x << "," << y;
  EXPECT_EQ(before[(size_t)20 * kWidth + 310], 0x00C800u);
  EXPECT_EQ(after[(size_t)20 * kWidth + 310], 0u);
  // The fonts were made again and draw.
  EXPECT_EQ(Differing(Frame(before.begin() + 95 * kWidth, before.begin() + 125 * kWidth),
                      Frame(after.begin() + 95 * kWidth, after.begin() + 125 * kWidth)),
            0);
  FreeFontHandle(g.font);
}

TEST_F(RestoreTest, ARestoreThatFallsBackToSoftwareKeepsEveryImage) {
  Graphs g;
  Frame before = StartAndDraw(&g);
  D3D9SetFailures(D3D9_FAIL_DEVICE_ALL);
  EXPECT_EQ(RestoreGraphicsDevice(), 0);
  D3D9SetFailures(0);
  ASSERT_EQ(IsHardwareRendererInUse(), 0);
  // Every graph is a memory image now, refilled from its file.
  for (int graph : {g.a, g.b, g.part, g.target}) EXPECT_NE(GetGraphMemImage(graph), nullptr);
  DrawGraphs(g);
  Frame after = Shown();
  for (int y = 10; y < 60; y++)
    for (int x = 10; x < 300; x++) EXPECT_EQ(after[(size_t)y * kWidth + x], before[(size_t)y * kWidth + x]) << x << "," << y;
  // Drawing goes on: a new graph, a box, text.
  int more = SolidGraph(8, 8, {0, 0, 255, 255});
  PaintGraph(500, 400, more, 0);
  PaintFilledBox(600, 400, 610, 410, PackScreenColor(255, 0, 0));
  Frame later = Shown();
  EXPECT_EQ(later[(size_t)404 * kWidth + 504], 0x0000FFu);
  EXPECT_EQ(later[(size_t)404 * kWidth + 604], 0xFF0000u);
  EXPECT_GT(Differing(Frame(later.begin() + 95 * kWidth, later.begin() + 125 * kWidth), Frame(30 * kWidth, 0)), 20);
  FreeFontHandle(g.font);
}

// The whole engine: the restore closes input and opens it again.
class RestoreEngineTest : public TempDirTest {
 protected:
  void TearDown() override {
    D3D9SetFailures(0);
    EndEngine();
    TempDirTest::TearDown();
  }
  // Starts the engine on the device, in a window or full screen, writing its log.
  void StartEngine(int window_mode) {
    InstallEngineServices();
    SetLogOutput(1);
    ChangeWindowMode(window_mode);
    SetAllowDoubleStart(1);
    SetRunWhileInactive(1);
    ASSERT_EQ(RequestScreenMode(640, 480, 32, 60), 0);
    ASSERT_EQ(InitEngine(), 0);
    ASSERT_EQ(IsHardwareRendererInUse(), 1);
  }
  // The devices made so far, as the log counts them.
  int DevicesMade() const {
    std::string log = ReadFile("Log.txt");
    int n = 0;
    for (size_t at = log.find("IDirect3DDevice9 "); at != std::string::npos; at = log.find("IDirect3DDevice9 ", at + 1))
      n++;
    return n;
  }
  // Draws on the back buffer, presents and reads what the main window shows.
  template <class Draw>
  Frame Shown(Draw draw) {
    SelectDrawScreen(DRAW_SCREEN_BACK);
    draw();
    PresentScreen();
    HWND window = GetMainWindow();
    int h = 0;
    GetWindowGLDrawableSize(window, &width_, &h);
    Frame f((size_t)width_ * h);
    EXPECT_EQ(ReadWindowPixels(window, f.data(), width_, h, width_ * 4), 0);
    return f;
  }
  int width_ = 0;  // of the frame last shown
  ScopedHardwareSetting device_path_{"1"};  // the device on Mesa's OpenGL too
};

TEST_F(RestoreEngineTest, InputWorksAfterTheDeviceIsMadeAgain) {
  InstallEngineServices();
  ChangeWindowMode(1);
  SetAllowDoubleStart(1);
  SetRunWhileInactive(1);
  ASSERT_EQ(InitEngine(), 0);
  ASSERT_EQ(IsHardwareRendererInUse(), 1);
  SelectDrawScreen(DRAW_SCREEN_BACK);
  int graph = SolidGraph(16, 16, {250, 10, 10, 255});
  EXPECT_EQ(RestoreGraphicsDevice(), 0);
  EXPECT_EQ(IsHardwareRendererInUse(), 1);
  WipeDrawScreen();
  EXPECT_EQ(PaintGraph(0, 0, graph, 0), 0);
  EXPECT_EQ(PresentScreen(), 0);
  PushKeyDown(GetSdlWindow(GetMainWindow()), SDL_SCANCODE_Z, SDLK_z);
  EXPECT_EQ(ProcessEngineMessages(), 0);
  EXPECT_EQ(IsKeyDown(0x2C), 1);  // Z by position
}

// Full screen on the device: switching away holds the program, coming back
// makes the device again, and the graph loaded from its file shows again.
// The window keeps the desktop's size and shows the screen letterboxed.
TEST_F(RestoreEngineTest, InFullScreenSwitchingAwayAndBackShowsTheGraphsAgain) {
  WritePicture(Path("a.png"), 40, 30, 1);
  StartEngine(0);
  HWND window = GetMainWindow();
  int graph = LoadGraphFromFile("a.png");
  ASSERT_GE(graph, 0);
  auto draw = [&] {
    WipeDrawScreen();
    PaintGraph(10, 10, graph, 0);
  };
  Frame before = Shown(draw);
  int devices = DevicesMade();
  SendMessageA(window, WM_ACTIVATE, WA_INACTIVE, 0);
  SendMessageA(window, WM_ACTIVATE, WA_ACTIVE, 0);
  EXPECT_GT(DevicesMade(), devices);
  ASSERT_EQ(IsHardwareRendererInUse(), 1);
  Frame after = Shown(draw);
  EXPECT_EQ(Differing(before, after), 0);
  EXPECT_GT(Differing(after, Frame(after.size(), 0)), 1000);  // the picture, not a black screen
}

// In a window the engine presents on activation, and a present that fails
// (the device was lost) makes the device again. Every graph shows its image
// afterwards: those loaded from files, the part graph, text, and the 3-D
// model runtime's default texture, which the graph-restore step reloads.
TEST_F(RestoreEngineTest, InAWindowAFailedPresentOnActivationShowsEveryGraphAgain) {
  WritePicture(Path("a.png"), 40, 30, 1);
  WritePicture(Path("b.png"), 48, 48, 9);
  StartEngine(1);
  Graphs g = MakeGraphs();
  EXPECT_EQ(ModelDefaultTexture(), -1);  // loaded by a restore only
  Frame before = Shown([&] { DrawGraphs(g); });
  int devices = DevicesMade();
  D3D9SetFailures(D3D9_FAIL_PRESENT);
  SendMessageA(GetMainWindow(), WM_ACTIVATE, WA_ACTIVE, 0);
  D3D9SetFailures(0);
  EXPECT_GT(DevicesMade(), devices);
  ASSERT_EQ(IsHardwareRendererInUse(), 1);
  int model_texture = ModelDefaultTexture();
  ASSERT_GE(model_texture, 0);
  Frame after = Shown([&] {
    DrawGraphs(g);
    PaintGraph(500, 10, model_texture, 0);
  });
  const size_t w = (size_t)width_;
  ASSERT_EQ(w, 640u);
  for (size_t y = 10; y < 60; y++)
    for (size_t x = 10; x < 300; x++) EXPECT_EQ(after[y * w + x], before[y * w + x]) << x << "," << y;
  EXPECT_EQ(Differing(Frame(before.begin() + 95 * w, before.begin() + 125 * w),
                      Frame(after.begin() + 95 * w, after.begin() + 125 * w)),
            0);
  for (size_t y = 10; y < 18; y++)
    for (size_t x = 500; x < 508; x++) EXPECT_EQ(after[y * w + x], 0xFFFFFFu) << x << "," << y;
  EXPECT_EQ(after[9 * w + 500], 0u);
  FreeFontHandle(g.font);
}

}  // namespace

namespace {

// The device failed at start, so the graphs were memory images drawn into
// the software screen; a later restore that makes a device moves them onto
// it with their pixels, and they show on the screen the window presents.
TEST_F(RestoreTest, ARestoreThatMakesADeviceMovesTheGraphsOntoIt) {
  WritePicture(Path("a.png"), 40, 30, 1);
  WritePicture(Path("b.png"), 48, 48, 9);
  Graphs g;
  {
    ScopedHardwareSetting no_device(nullptr);
    D3D9SetFailures(D3D9_FAIL_DEVICE_ALL);
    SetUseHardwareRenderer(1);
    ASSERT_EQ(RequestScreenMode(kWidth, kHeight, 32, 60), 0);
    ASSERT_EQ(StartGraphics(), 0);
    D3D9SetFailures(0);
    ASSERT_EQ(IsHardwareRendererInUse(), 0);
    SelectDrawScreen(DRAW_SCREEN_BACK);
    g = MakeGraphs();
  }
  int made = MakeGraph(24, 24, [](int x, int y) { return Rgba{x * 10, y * 10, 90, 255}; });
  int keyed = MakeGraph(16, 16, [](int x, int) { return x < 8 ? Rgba{0, 0, 0, 255} : Rgba{250, 250, 0, 255}; });
  auto draw = [&] {
    DrawGraphs(g);
    PaintGraph(400, 10, made, 0);
    PaintFilledBox(440, 10, 460, 30, PackScreenColor(0, 0, 255));
    PaintGraph(440, 10, keyed, 1);
  };
  draw();
  Frame before = Shown();
  ASSERT_NE(GetGraphMemImage(g.a), nullptr);

  EXPECT_EQ(RestoreGraphicsDevice(), 0);
  ASSERT_EQ(IsHardwareRendererInUse(), 1);
  for (int graph : {g.a, g.b, g.part, g.target, made, keyed}) {
    EXPECT_EQ(GetGraphMemImage(graph), nullptr) << graph;
    EXPECT_TRUE(IsDeviceImage(GetGraphRecord(graph)->image)) << graph;
  }
  draw();
  Frame after = Shown();
  // Every picture is back, the one made in memory and the draw target's too.
  for (int y = 10; y < 60; y++)
    for (int x = 10; x < 470; x++) EXPECT_EQ(after[(size_t)y * kWidth + x], before[(size_t)y * kWidth + x]) << x << "," << y;
  EXPECT_EQ(after[(size_t)20 * kWidth + 310], 0x00C800u);
  EXPECT_EQ(after[(size_t)20 * kWidth + 442], 0x0000FFu);  // keyed away
  EXPECT_EQ(after[(size_t)20 * kWidth + 450], 0xFAFA00u);
  EXPECT_EQ(Differing(Frame(before.begin() + 95 * kWidth, before.begin() + 125 * kWidth),
                      Frame(after.begin() + 95 * kWidth, after.begin() + 125 * kWidth)),
            0);
  FreeFontHandle(g.font);
}

}  // namespace
