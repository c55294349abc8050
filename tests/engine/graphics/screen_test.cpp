// The screen: start and end over the d3d9 stand-in, mode requests and their
// fallbacks, the software present hook, the display-mode list and the
// vertical-blank wait.
#include <gtest/gtest.h>

#include <vector>

#include "engine/core/engine_subsystem.h"
#include "engine/core/log.h"
#include "engine/core/util.h"
#include <cstring>
#include "engine/graphics/graphics.h"
#include "engine/graphics/graphics_host.h"
#include "engine/softrender/memimg.h"
#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/d3d9_control.h"
#include "tests/engine/graphics/graphics_fixtures.h"

namespace {

class ScreenTest : public GraphicsTest {
 protected:
  void TearDown() override {
    D3D9SetFailures(D3D9_FAIL_NONE);
    GraphicsTest::TearDown();
    EXPECT_EQ(D3D9ModuleReferenceCount(), 0);
    EXPECT_EQ(DirectDrawObjectCount(), 0);
  }
};

// What the hook saw; the frame's pointers are valid only during the call.
std::vector<SoftPresentFrame> g_frames;
std::vector<uint8_t> g_first_pixels;
BITMAPINFOHEADER g_header;
uint32_t g_masks[3];
int RecordFrame(const SoftPresentFrame* f) {
  g_frames.push_back(*f);
  g_header = f->info->bmiHeader;
  std::memcpy(g_masks, DibColorTable(f->info), sizeof g_masks);
  const uint8_t* p = static_cast<const uint8_t*>(f->pixels);
  g_first_pixels.assign(p, p + 4);
  return 0;
}

TEST_F(ScreenTest, StartKeepsTheModuleAndDirectDrawAndFallsBackToSoftware) {
  EXPECT_EQ(IsGraphicsStarted(), 1);
  EXPECT_EQ(IsHardwareRendererInUse(), 0);
  EXPECT_EQ(D3D9ModuleReferenceCount(), 1);
  EXPECT_NE(GetDirectDrawObject(), nullptr);
  ASSERT_NE(GetScreenMemImage(), nullptr);
  EXPECT_EQ(GetScreenMemImage()->width, 640);
  EXPECT_EQ(GetScreenPixelFormat()->bits_per_pixel, 32);
  EXPECT_NE(ReadFile("Log.txt").find("Direct3DDevice9 の作成に失敗しました"), std::string::npos);
  EXPECT_EQ(CurrentDrawScreen(), DRAW_SCREEN_BACK);
  EndGraphics();
  EXPECT_EQ(D3D9ModuleReferenceCount(), 0);
  EXPECT_EQ(GetScreenMemImage(), nullptr);
  EXPECT_EQ(EndGraphics(), 0);  // a second end is harmless
}

TEST_F(ScreenTest, ASoftwareOnlyStartMakesNoDirect3DObjectButStillLoadsTheModule) {
  EndGraphics();
  ASSERT_EQ(SetUseHardwareRenderer(0), 0);
  EXPECT_EQ(GetUseHardwareRenderer(), 0);
  StartLogFile();
  ASSERT_EQ(StartGraphics(), 0);
  std::string log = ReadFile("Log.txt");
  EXPECT_EQ(log.find("IDirect3D9"), std::string::npos);
  EXPECT_NE(log.find("DirectDraw"), std::string::npos);
  EXPECT_EQ(D3D9ModuleReferenceCount(), 1);
  // Once the engine runs the choice is fixed.
  EXPECT_EQ(SetUseHardwareRenderer(1), -1);
}

TEST_F(ScreenTest, StartFailsCleanlyWithoutTheModuleOrDirectDraw) {
  struct Case {
    uint32_t failure;
    const char* log;
  } cases[] = {{D3D9_FAIL_LOAD_MODULE, "d3d9.dll の読み込みに失敗しました"},
               {D3D9_FAIL_CREATE_DIRECTDRAW, "オブジェクトの取得に失敗しました"},
               {D3D9_FAIL_INIT_DIRECTDRAW, "DirectDrawオブジェクトの初期化に失敗しました"}};
  for (const Case& c : cases) {
    EndGraphics();
    StartLogFile();
    D3D9SetFailures(c.failure);
    EXPECT_EQ(StartGraphics(), -1);
    EXPECT_EQ(IsGraphicsStarted(), 0);
    EXPECT_EQ(D3D9ModuleReferenceCount(), 0);
    EXPECT_EQ(DirectDrawObjectCount(), 0);
    EXPECT_NE(ReadFile("Log.txt").find(c.log), std::string::npos) << c.log;
    EXPECT_EQ(CreateBlankGraph(4, 4, 0), -1);
  }
  D3D9SetFailures(D3D9_FAIL_CREATE_DIRECT3D);
  EXPECT_EQ(StartGraphics(), 0);  // no Direct3D object: software
}

TEST_F(ScreenTest, ModeRequestsAreCheckedStoredBeforeStartAndAppliedAfter) {
  EXPECT_EQ(RequestScreenMode(640, 480, 24, 60), -1);
  EXPECT_EQ(RequestScreenMode(0, 480, 16, 60), -1);
  int w, h, d;
  GetScreenModeInfo(&w, &h, &d);
  EXPECT_EQ(d, 32);
  int g = CreateBlankGraph(4, 4, 0);
  ASSERT_EQ(RequestScreenMode(320, 240, 16, 60), 0);
  GetScreenModeInfo(&w, &h, &d);
  EXPECT_EQ(w, 320);
  EXPECT_EQ(d, 16);
  EXPECT_EQ(GetScreenMemImage()->width, 320);
  EXPECT_EQ(GetScreenPixelFormat()->bits_per_pixel, 16);
  EXPECT_EQ(IsGraphHandleValid(g), 0);  // a mode change deletes every graph
  EXPECT_EQ(PackScreenColor(255, 255, 255), 0xFFFFu);
  EndGraphics();
  EXPECT_EQ(RequestScreenMode(800, 600, 32, 0), 0);  // stored only
  GetScreenModeInfo(&w, &h, &d);
  EXPECT_EQ(w, 800);
  EXPECT_EQ(IsGraphicsStarted(), 0);
}

// A full screen whose display refuses everything but 640 x 480.
int OnlyVga(const DisplayModeInfo* mode, uint32_t) {
  return !mode || (mode->width == 640 && mode->height == 480) ? DISP_CHANGE_SUCCESSFUL : DISP_CHANGE_FAILED;
}
int Never(const DisplayModeInfo* mode, uint32_t) { return mode ? DISP_CHANGE_FAILED : DISP_CHANGE_SUCCESSFUL; }
int Windowed() { return 0; }

TEST_F(ScreenTest, FullScreen320IsShownDoubledWhenTheDisplayRefusesIt) {
  GraphicsHost host{};
  host.is_window_mode = Windowed;
  host.change_display_mode = OnlyVga;
  host.present_soft_frame = RecordFrame;
  SetGraphicsHost(&host);
  Restart(320, 240, 16);
  int w, h;
  GetScreenSizeOrDefault(&w, &h);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 480);
  EXPECT_EQ(GetHalfScreenDoubling(), 1);
  EXPECT_EQ(IsFullScreenMode(), 1);
  g_frames.clear();
  ASSERT_EQ(PresentScreen(), 0);
  ASSERT_EQ(g_frames.size(), 1u);
  EXPECT_EQ(g_frames[0].src_width, 320);
  EXPECT_EQ(g_frames[0].src_height, 240);
  EXPECT_EQ(g_frames[0].dst_width, 640);
  EXPECT_EQ(g_frames[0].dst_height, 480);
  // A display that refuses every mode: the start fails, and a request falls
  // back to what was running before.
  host.change_display_mode = Never;
  SetGraphicsHost(&host);
  EndGraphics();
  SetHalfScreenDoubling(0);
  EXPECT_EQ(RequestScreenMode(640, 480, 32, 0), 0);
  EXPECT_EQ(StartGraphics(), -1);
  EXPECT_NE(ReadFile("Log.txt").find("画面モードの変更に失敗しました"), std::string::npos);
}

TEST_F(ScreenTest, AFailedModeChangeReportsTheModeThatCameBack) {
  GraphicsHost host{};
  host.is_window_mode = Windowed;
  host.change_display_mode = OnlyVga;
  SetGraphicsHost(&host);
  Restart(640, 480, 32);
  // 800 x 600 is refused; the previous mode comes back.
  EXPECT_EQ(RequestScreenMode(800, 600, 32, 0), -1);
  int w, h, d;
  GetScreenModeInfo(&w, &h, &d);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(d, 32);
  EXPECT_EQ(IsGraphicsStarted(), 1);
  std::string log = ReadFile("Log.txt");
  EXPECT_NE(log.find("画面モード変更処理は正常に終了しました"), std::string::npos);
  EXPECT_EQ(GetLogIndent(), 0);
  // A full-screen depth the software renderer cannot show fails the start
  // and leaves the log's indentation as it found it.
  EndGraphics();
  ASSERT_EQ(RequestScreenMode(640, 480, 8, 0), 0);
  EXPECT_EQ(StartGraphics(), -1);
  EXPECT_EQ(GetLogIndent(), 0);
  EXPECT_EQ(D3D9ModuleReferenceCount(), 0);
}

TEST_F(ScreenTest, PresentHandsTheScreenImageToTheWindowLayer) {
  EXPECT_EQ(PresentScreen(), 0);  // headless: nothing to show, no failure
  GraphicsHost host{};
  host.present_soft_frame = RecordFrame;
  host.window_scale = [] { return 1.5; };
  SetGraphicsHost(&host);
  PaintFilledBox(0, 0, 1, 1, PackScreenColor(255, 0, 0));
  g_frames.clear();
  ASSERT_EQ(PresentScreen(), 0);
  ASSERT_EQ(g_frames.size(), 1u);
  const SoftPresentFrame& f = g_frames[0];
  EXPECT_EQ(g_header.biSize, 40u);
  EXPECT_EQ(g_header.biWidth, 640);
  EXPECT_EQ(g_header.biHeight, -480);  // rows top-down
  EXPECT_EQ(g_header.biPlanes, 1);
  EXPECT_EQ(g_header.biBitCount, 32);
  EXPECT_EQ(g_header.biCompression, BI_BITFIELDS);
  EXPECT_EQ(g_masks[0], 0xFF0000u);
  EXPECT_EQ(g_masks[1], 0xFF00u);
  EXPECT_EQ(g_masks[2], 0xFFu);
  EXPECT_EQ(f.src_width, 640);
  EXPECT_EQ(f.dst_width, 960);
  EXPECT_EQ(f.dst_height, 720);
  EXPECT_EQ(g_first_pixels[2], 0xFF);  // red of the top-left pixel
  host.is_window_closed = [] { return 1; };
  SetGraphicsHost(&host);
  EXPECT_EQ(PresentScreen(), -1);
  EndGraphics();
  EXPECT_EQ(PresentScreen(), -1);
}

// The frame loop paces itself; the stand-in's blank is always "now", so a
// present never waits for one (the pacing itself is measured in bench/).
TEST_F(ScreenTest, TheVerticalBlankWaitAddsNoWaitOfItsOwn) {
  for (int i = 0; i < 50; i++) ASSERT_EQ(PresentScreen(), 0);
  BOOL in_blank = FALSE;
  EXPECT_EQ(GetDirectDrawObject()->GetVerticalBlankStatus(&in_blank), DD_OK);
  EXPECT_EQ(in_blank, TRUE);
}

// Enumeration that reports more modes the second time round.
int g_enumerations = 0;
int GrowingList(int index, DisplayModeInfo* out) {
  if (index == 0) g_enumerations++;
  int count = g_enumerations == 1 ? 3 : 40;
  if (index >= count) return 0;
  *out = {640 + index, 480, index == 1 ? 8 : 32, 60};
  return 1;
}

TEST_F(ScreenTest, DisplayModeListKeepsDeepModesAndNeverOutgrowsItsFirstCount) {
  EXPECT_EQ(GetDisplayModeCount(), 2);  // headless: 640 x 480 in 16 and 32 bits
  DisplayModeEntry first = GetDisplayModeEntry(0);
  EXPECT_EQ(first.width, 640);
  EXPECT_EQ(first.depth, 16);
  GraphicsHost host{};
  host.enum_display_mode = GrowingList;
  SetGraphicsHost(&host);
  Restart(640, 480, 32);  // the list is built again after a restart
  g_enumerations = 0;
  EXPECT_EQ(GetDisplayModeCount(), 2);  // three modes, one of 8 bits
  EXPECT_EQ(GetDisplayModeEntry(1).width, 642);  // the second walk's first two deep modes
  for (int bad : {-1, 2, 1000}) {
    DisplayModeEntry e = GetDisplayModeEntry(bad);
    EXPECT_EQ(e.width, -1);
    EXPECT_EQ(e.height, -1);
    EXPECT_EQ(e.depth, -1);
    EXPECT_EQ(e.refresh, -1);
  }
}

// The movie surface copy hands over a 380-byte record: all of it is
// cleared, and nothing beyond it.
TEST_F(ScreenTest, ZeroBlitRecordClearsExactlyItsRecord) {
  uint8_t record[381];
  std::memset(record, 0xAB, sizeof record);
  EXPECT_EQ(ZeroBlitRecord(record), record);
  for (int i = 0; i < 380; i++) ASSERT_EQ(record[i], 0) << i;
  EXPECT_EQ(record[380], 0xAB);
  EXPECT_EQ(ZeroBlitRecord(nullptr), nullptr);
}

TEST_F(ScreenTest, RestoringTheDeviceKeepsSoftwareGraphsAndReopensInput) {
  static int closed, reopened;
  closed = reopened = 0;
  ReplaceEngineHook(SubsystemId::Input, &EngineSubsystem::device_lost, [] { return closed++, 0; });
  ReplaceEngineHook(SubsystemId::Input, &EngineSubsystem::device_remade, [] { return reopened++, 0; });
  int g = SolidGraph(4, 4, Rgba{0, 255, 0, 255});
  ASSERT_EQ(RestoreGraphicsDevice(), 0);
  EXPECT_EQ(closed, 1);
  EXPECT_EQ(reopened, 1);
  EXPECT_NE(GetDirectDrawObject(), nullptr);
  EXPECT_EQ(D3D9ModuleReferenceCount(), 1);
  PaintGraph(0, 0, g, 0);
  EXPECT_EQ(ScreenPixel(1, 1), (Rgba{0, 255, 0, 255}));
}

}  // namespace
