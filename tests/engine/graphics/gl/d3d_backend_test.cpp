// The rules of the Direct3D back end on the real stand-in: the vertex batch
// and when it is drawn, the render-state cache, the blend pipeline's stage
// sets, textures and their pieces, the primitives, and the model runtime.
#include <cmath>
#include <functional>

#include "engine/graphics/device/device_internal.h"
#include "engine/image/image_load.h"
#include "tests/engine/graphics/gl/gl_fixture.h"
#include "tests/support/png_file.h"

// The device driver's own functions are under test here.
using namespace device;

namespace {

using BackEndTest = GLGraphicsTest;

long Calls() { return D3D9GetDrawCounts().calls; }
long Vertices() { return D3D9GetDrawCounts().vertices; }

TEST_F(BackEndTest, TheBatchDrawsWhenItIsFullOrTheTypeChanges) {
  Start(true);
  int graph = SolidGraph(8, 8, {10, 20, 30, 255});
  PaintGraph(0, 0, graph, 0);
  FlushVertexBatch();
  long calls = Calls(), vertices = Vertices();
  EXPECT_EQ(FlushVertexBatch(), 0);  // nothing pending: nothing drawn
  EXPECT_EQ(Calls(), calls);
  // 389 quads fill a batch of the textured format; the 390th draws them first.
  for (int i = 0; i < 389; i++) PaintGraph(i % 600, i % 400, graph, 0);
  EXPECT_EQ(Calls(), calls);
  PaintGraph(0, 0, graph, 0);
  EXPECT_EQ(Calls(), calls + 1);
  EXPECT_EQ(Vertices(), vertices + 389 * 6);
  FlushVertexBatch();
  EXPECT_EQ(Calls(), calls + 2);
  // A line after triangles draws the triangles first.
  PaintGraph(0, 0, graph, 0);
  PaintLine(0, 0, 10, 10, PackScreenColor(255, 255, 255));
  EXPECT_EQ(Calls(), calls + 3);
  FlushVertexBatch();
  // Many draws with one state make one call.
  calls = Calls();
  for (int i = 0; i < 50; i++) PaintGraph(i * 8, 0, graph, 0);
  FlushVertexBatch();
  EXPECT_EQ(Calls(), calls + 1);
  // A changed state draws what was queued under the old one.
  PaintGraph(0, 0, graph, 0);
  SetPaintFilterMode(1);
  EXPECT_EQ(Calls(), calls + 2);
  SetPaintFilterMode(0);
}

TEST_F(BackEndTest, ACrossfadeThatShowsNothingDrawsNothingEvenWhenTheBatchOverflows) {
  Start(true);
  SetGraphCreateBlendImage(1);
  int blend = SolidGraph(64, 64, {255, 255, 255, 255});
  SetGraphCreateBlendImage(0);
  int graph = SolidGraph(8, 8, {255, 0, 0, 255});
  FlushVertexBatch();
  long calls = Calls();
  SelectBlendMode(1, 255);
  ASSERT_EQ(SetCrossfadeGraph(blend, 255, 100), 0);
  for (int i = 0; i < 400; i++) PaintGraph(i % 600, 100, graph, 0);  // past the capacity of the crossfade format
  FlushVertexBatch();
  EXPECT_EQ(Calls(), calls);
  SetCrossfadeGraph(-1, 0, 0);
  Frame shown = Shown();
  EXPECT_EQ(shown[(size_t)104 * kWidth + 4], 0u);
  // A blend mode beyond the table draws nothing and breaks nothing.
  SelectBlendMode(40, 255);
  EXPECT_EQ(PaintGraph(0, 0, graph, 0), 0);
  EXPECT_EQ(PaintFilledBox(0, 0, 10, 10, PackScreenColor(255, 255, 255)), 0);
  FlushVertexBatch();
  EXPECT_EQ(Calls(), calls);
  SelectBlendMode(0, 0);
  EXPECT_EQ(PaintGraph(0, 0, graph, 0), 0);
  FlushVertexBatch();
  EXPECT_EQ(Calls(), calls + 1);
}

// The mask's textures leave every stage and the cache when the mask screen
// goes: a texture made later at the same address would pass for bound and
// never reach the device.
TEST_F(BackEndTest, ReleasingTheMaskScreenLeavesNoStageWithItsTextures) {
  Start(true);
  int graph = SolidGraph(16, 16, {200, 100, 50, 255});
  IDirect3DTexture9* graph_texture = GetGraphRecord(graph)->image->textures[0].texture;
  ASSERT_EQ(CreateMaskScreen(1), 0);
  ASSERT_EQ(EnableMaskScreen(1), 0);
  PaintGraph(10, 10, graph, 0);
  EnableMaskScreen(0);
  FlushVertexBatch();
  bool mask_bound = false;
  for (const StageRecord& st : g_rs.stages) mask_bound |= st.texture && st.texture != graph_texture;
  ASSERT_TRUE(mask_bound) << "the masked draw binds the mask's textures";
  ReleaseMaskScreen();
  for (const StageRecord& st : g_rs.stages) EXPECT_TRUE(!st.texture || st.texture == graph_texture);
}

TEST_F(BackEndTest, TheBlendPipelineChoosesItsStageSets) {
  Start(true);
  int opaque = SolidGraph(8, 8, {10, 20, 30, 255});
  BASEIMAGE with_alpha = MakeImage(8, 8, [](int, int) { return Rgba{10, 20, 30, 128}; });
  int alpha = CreateGraphFromImage(&with_alpha, nullptr, 0, 0, 0);
  DisposeBaseImage(&with_alpha);
  auto stage = [](int s, int word) { return g_rs.stages[s].words[word]; };

  // Mode 1, opaque graph: one stage, colour from the texture, alpha the
  // parameter (diffuse), blended by source alpha.
  SelectBlendMode(1, 100);
  PaintGraph(0, 0, opaque, 0);
  EXPECT_EQ(g_rs.stages_in_use, 1);
  EXPECT_EQ(stage(0, SW_COLOUR_OP), D3DTOP_SELECTARG1);
  EXPECT_EQ(stage(0, SW_COLOUR_ARG1), D3DTA_TEXTURE);
  EXPECT_EQ(stage(0, SW_ALPHA_OP), D3DTOP_SELECTARG1);
  EXPECT_EQ(stage(0, SW_ALPHA_ARG1), D3DTA_DIFFUSE);
  EXPECT_EQ(stage(1, SW_COLOUR_OP), D3DTOP_DISABLE);
  EXPECT_EQ(g_rs.alpha_blend_enable, 1);
  EXPECT_EQ(g_rs.src_blend, (int)D3DBLEND_SRCALPHA);
  EXPECT_EQ(g_rs.dest_blend, (int)D3DBLEND_INVSRCALPHA);

  // Mode 0, alpha channel: blended by its alpha; no alpha test while Z is off.
  SelectBlendMode(0, 0);
  PaintGraph(0, 0, alpha, 1);
  EXPECT_EQ(g_rs.alpha_blend_enable, 1);
  EXPECT_EQ(g_rs.src_blend, (int)D3DBLEND_SRCALPHA);
  EXPECT_EQ(g_rs.alpha_test_enable, 0);
  EXPECT_EQ(stage(0, SW_ALPHA_ARG1), D3DTA_TEXTURE);

  // A crossfade graph with border range 1 and parameter 128: alpha test
  // GREATEREQUAL 128, no blending; at 255 nothing is drawn.
  SetGraphCreateBlendImage(1);
  int blend = SolidGraph(8, 8, {200, 200, 200, 255});
  SetGraphCreateBlendImage(0);
  ASSERT_EQ(SetCrossfadeGraph(blend, 128, 1), 0);
  PaintGraph(0, 0, opaque, 0);
  EXPECT_EQ(g_rs.alpha_test_enable, 1);
  EXPECT_EQ(g_rs.alpha_ref, 128);
  EXPECT_EQ(g_rs.alpha_func, (int)D3DCMP_GREATEREQUAL);
  EXPECT_EQ(g_rs.alpha_blend_enable, 0);
  EXPECT_EQ(g_batch.format, 2);
  EXPECT_EQ(g_batch.skip, 0);
  ASSERT_EQ(SetCrossfadeGraph(blend, 255, 1), 0);
  PaintGraph(0, 0, opaque, 0);
  EXPECT_EQ(g_batch.skip, 1);
  // A soft border scales the crossfade's alpha: range 100 doubles it.
  ASSERT_EQ(SetCrossfadeGraph(blend, 128, 100), 0);
  PaintGraph(0, 0, opaque, 0);
  EXPECT_EQ(stage(1, SW_ALPHA_OP), D3DTOP_MODULATE2X);
  EXPECT_EQ(g_rs.alpha_blend_enable, 1);
  SetCrossfadeGraph(-1, 0, 0);

  // An untextured box in subtract mode has its own single stage.
  SelectBlendMode(3, 255);
  PaintFilledBox(0, 0, 4, 4, PackScreenColor(1, 2, 3));
  EXPECT_EQ(g_batch.format, 0);
  EXPECT_EQ(stage(0, SW_COLOUR_ARG1), D3DTA_DIFFUSE);
  EXPECT_EQ(stage(0, SW_ALPHA_ARG1), D3DTA_DIFFUSE);
  EXPECT_EQ(g_rs.blend_op, (int)D3DBLENDOP_REVSUBTRACT);
  SelectBlendMode(0, 0);
}

// In copy mode the blend parameter weighs nothing, with a crossfade graph or
// without: a hard-edged crossfade shows the graph where the crossfade byte
// reaches the border whatever parameter copy mode was selected with.
TEST_F(BackEndTest, ACrossfadeInCopyModeIgnoresTheBlendParameter) {
  auto draw = [](int param) {
    return [param] {
      WipeDrawScreen();
      int graph = SolidGraph(8, 8, {250, 200, 40, 255});
      SetGraphCreateBlendImage(1);
      int above = SolidGraph(8, 8, {200, 200, 200, 255}), below = SolidGraph(8, 8, {100, 100, 100, 255});
      SetGraphCreateBlendImage(0);
      SelectBlendMode(0, param);
      ASSERT_EQ(SetCrossfadeGraph(above, 128, 0), 0);
      PaintGraph(0, 0, graph, 0);
      ASSERT_EQ(SetCrossfadeGraph(below, 128, 0), 0);
      PaintGraph(10, 0, graph, 0);
      SetCrossfadeGraph(-1, 0, 0);
    };
  };
  for (int param : {0, 255}) {
    Frame frame = DrawOn(true, 32, draw(param));
    EXPECT_EQ(frame[(size_t)4 * kWidth + 4], 0xFAC828u) << "parameter " << param;
    EXPECT_EQ(frame[(size_t)4 * kWidth + 14], 0u) << "parameter " << param;
  }
}

// A crossfade graph weighs each pixel by one byte: a grey image's value, or
// the red of a colour image, however the graph was made. A hard edge shows
// the drawn graph where that byte passes the parameter (no byte here equals
// one: the paths differ at equality; the software renderer's full weight is
// 254 of 255).
TEST_F(BackEndTest, ColourAndGreyCrossfadeGraphsWeighByTheirRedOnBothPaths) {
  constexpr int kSize = 64;  // the weight of column x is 4x + 2
  std::vector<uint32_t> ramp((size_t)kSize * kSize);
  for (int y = 0; y < kSize; y++)
    for (int x = 0; x < kSize; x++) ramp[(size_t)y * kSize + x] = (uint32_t)(x * 4 + 2) << 16 | (uint32_t)((63 - x) * 4);
  ASSERT_TRUE(WriteRgbPng(Path("ramp.png"), ramp, kSize, kSize));
  const std::function<int()> kinds[] = {
      [&] { return MakeGraph(kSize, kSize, [](int x, int) { return Rgba{x * 4 + 2, 9, (63 - x) * 4, 255}; }); },
      [&] { return LoadGraphFromFile(Path("ramp.png").c_str()); },
      [&] {
        PIXELFORMAT grey;
        InitGreyPixelFormat(&grey);
        BASEIMAGE wipe{};
        MakeBaseImageOfFormat(kSize, kSize, &grey, &wipe);
        for (int y = 0; y < kSize; y++)
          for (int x = 0; x < kSize; x++) wipe.pixels[(size_t)y * wipe.pitch + x] = (uint8_t)(x * 4 + 2);
        int graph = CreateGraphFromImage(&wipe, nullptr, 0, 0, 0);
        DisposeBaseImage(&wipe);
        return graph;
      }};
  const char* const kKindName[] = {"colour image", "RGB PNG file", "grey image"};
  for (bool hardware : {false, true})
    for (int kind = 0; kind < 3; kind++)
      for (int param : {0, 64, 128, 200}) {
        Frame frame = DrawOn(hardware, 32, [&] {
          WipeDrawScreen();
          SetGraphCreateBlendImage(1);
          const int fade = kinds[kind]();
          SetGraphCreateBlendImage(0);
          ASSERT_NE(fade, -1);
          const int white = SolidGraph(kSize, kSize, {255, 255, 255, 255});
          ASSERT_EQ(SetCrossfadeGraph(fade, param, 0), 0);
          PaintGraph(0, 0, white, 0);
          SetCrossfadeGraph(-1, 0, 0);
        });
        int shown = 0;
        for (int y = 0; y < kSize; y++)
          for (int x = 0; x < kSize; x++) shown += (frame[(size_t)y * kWidth + x] >> 16) >= 0x80;  // white or nearly
        const int columns = kSize - (param + 3) / 4;  // the columns whose weight reaches the parameter
        EXPECT_EQ(shown, columns * kSize) << (hardware ? "device, " : "software, ") << kKindName[kind]
                                          << ", parameter " << param;
      }
}

TEST_F(BackEndTest, TheStateCacheSendsOnlyChangesAndKeepsOneFilterTable) {
  Start(true);
  // The filter setter and the device's first state use one table: the mip
  // filter of mode 2 is linear (never anisotropic).
  SetPaintFilterMode(2);
  EXPECT_EQ(g_rs.min_filter[0], D3DTEXF_ANISOTROPIC);
  EXPECT_EQ(g_rs.mip_filter[0], D3DTEXF_LINEAR);
  EndGraphics();
  SetUseHardwareRenderer(1);
  ASSERT_EQ(StartGraphics(), 0);
  // The draw state starts at nearest, and the first draw brings the device there.
  SelectDrawScreen(DRAW_SCREEN_BACK);
  int graph = SolidGraph(8, 8, {1, 2, 3, 255});
  PaintGraph(0, 0, graph, 0);
  EXPECT_EQ(g_rs.filter_mode, 0);
  EXPECT_EQ(g_rs.mip_filter[0], D3DTEXF_NONE);
  EXPECT_EQ(g_rs.min_filter[0], D3DTEXF_POINT);
  // Unchanged values draw nothing queued; a change draws it first.
  long calls = Calls();
  SetZEnable(g_rs.z_enable);
  SetCullMode(g_rs.cull);
  EXPECT_EQ(Calls(), calls);
  SetZEnable(g_rs.z_enable ? 0 : 1);
  EXPECT_EQ(Calls(), calls + 1);
  // A viewport the device refuses keeps the cache, so it is tried again.
  D3DVIEWPORT9 kept = g_rs.viewport;
  D3DVIEWPORT9 bad{600, 0, 200, 10, 0.0f, 1.0f};
  EXPECT_EQ(SetViewportCached(&bad), -1);
  EXPECT_EQ(g_rs.viewport.X, kept.X);
  EXPECT_EQ(g_rs.viewport.Width, kept.Width);
  // A vertex grid: 2 x 2 is one strip of 4 indices; one column is refused.
  uint8_t grid[4][28] = {};
  long vertices = Vertices();
  EXPECT_EQ(DrawVertexGrid(grid, 2, 2), 0);
  EXPECT_EQ(Vertices(), vertices + 4);
  EXPECT_EQ(DrawVertexGrid(grid, 1, 4), -1);
}

TEST_F(BackEndTest, GraphsAreCutIntoTexturesAndPieces) {
  Start(true);
  int sizes[8];
  struct Case {
    int size, count, first, second;
  } cases[] = {{640, 2, 512, 128}, {480, 1, 512, 0}, {600, 1, 1024, 0}, {9, 1, 16, 0}, {8, 1, 8, 0}};
  for (const Case& c : cases) {
    ASSERT_EQ(ChooseTextureSize(c.size, sizes, 0), c.count) << c.size;
    EXPECT_EQ(sizes[0], c.first) << c.size;
    if (c.count > 1) {
      EXPECT_EQ(sizes[1], c.second) << c.size;
    }
  }
  SetUserMaxTextureSize(256);
  ASSERT_EQ(ChooseTextureSize(640, sizes, 0), 3);
  EXPECT_EQ(sizes[0] + sizes[1] + sizes[2], 640);
  SetUserMaxTextureSize(0);

  int wide = CreateBlankGraph(640, 100, 0);
  GraphRecord* r = GetGraphRecord(wide);
  ASSERT_EQ(r->image->texture_count, 2);
  ASSERT_EQ(r->piece_count, 2);
  EXPECT_EQ(r->pieces[0].right, 512.0f);
  EXPECT_EQ(r->pieces[1].left, 512.0f);
  EXPECT_EQ(r->pieces[1].u2, 1.0f);  // 128 of 128
  // A part inside one texture has one piece; across the seam, two.
  int inside = CreatePartGraph(10, 10, 100, 50, wide);
  EXPECT_EQ(GetGraphRecord(inside)->piece_count, 1);
  EXPECT_FLOAT_EQ(GetGraphRecord(inside)->pieces[0].u1, 10.0f / 512.0f);
  int across = CreatePartGraph(500, 0, 40, 20, wide);
  ASSERT_EQ(GetGraphRecord(across)->piece_count, 2);
  EXPECT_EQ(GetGraphRecord(across)->pieces[1].left, 12.0f);
  // 9 x 9 takes one 16 x 16 texture.
  int small = CreateBlankGraph(9, 9, 0);
  EXPECT_EQ(GetGraphRecord(small)->image->textures[0].width, 16);
  // A full mip chain of 100 x 30 has 7 levels.
  SetMipMapSetting(-1);
  int mipped = CreateBlankGraph(100, 30, 0);
  SetMipMapSetting(0);
  EXPECT_EQ(GetGraphRecord(mipped)->image->mip_level_count, 7);
  EXPECT_EQ(GetGraphRecord(mipped)->image->textures[0].texture->GetLevelCount(), 7u);
  // A device that takes only square textures gets 512 x 128 as four squares.
  D3D9CapabilityScript square{};
  square.square_only = TRUE;
  D3D9SetCapabilityScript(&square);
  Start(true);
  int strip = CreateBlankGraph(512, 128, 0);
  GraphImageData* data = GetGraphRecord(strip)->image;
  ASSERT_EQ(data->texture_count, 4);
  for (int k = 0; k < 4; k++) EXPECT_EQ(data->textures[k].width, 128);
  EXPECT_EQ(GetGraphRecord(strip)->piece_count, 4);
}

TEST_F(BackEndTest, PrimitivesCoverTheirPixels) {
  Start(true);
  uint32_t white = PackScreenColor(255, 255, 255);
  WipeDrawScreen();
  // A box outline with its corners reversed is the same outline.
  PaintBoxOutline(10, 10, 20, 16, white);
  Frame in_order = Shown();
  WipeDrawScreen();
  EXPECT_EQ(G_D3D_DrawBoxFrame(20, 16, 10, 10, white), 0);
  Frame reversed = Shown();
  EXPECT_EQ(in_order, reversed);
  EXPECT_EQ(in_order[(size_t)10 * kWidth + 10], 0xFFFFFFu);
  EXPECT_EQ(in_order[(size_t)15 * kWidth + 19], 0xFFFFFFu);
  EXPECT_EQ(in_order[(size_t)16 * kWidth + 19], 0u);
  EXPECT_EQ(in_order[(size_t)12 * kWidth + 12], 0u);
  // Circles: radius 0 is the centre; a filled one stops above the clip's bottom.
  WipeDrawScreen();
  G_D3D_DrawCircle(50, 50, 0, white, 0);
  SetPaintClipRect(0, 0, 640, 105);
  G_D3D_DrawCircle(100, 100, 20, white, 1);
  SetPaintClipRect(0, 0, 640, 480);
  Frame circles = Shown();
  EXPECT_EQ(circles[(size_t)50 * kWidth + 50], 0xFFFFFFu);
  EXPECT_EQ(circles[(size_t)50 * kWidth + 51], 0u);
  EXPECT_EQ(circles[(size_t)104 * kWidth + 100], 0xFFFFFFu);
  EXPECT_EQ(circles[(size_t)105 * kWidth + 100], 0u);
  EXPECT_EQ(circles[(size_t)81 * kWidth + 100], 0xFFFFFFu);
  // A line list of 1001 lines is drawn as 500, 500 and 1.
  std::vector<LineListEntry> lines(1001, LineListEntry{0, 0, 10, 0, white, 255});
  FlushVertexBatch();
  long calls = Calls();
  G_D3D_DrawLineList(lines.data(), 1001);
  EXPECT_EQ(Calls(), calls + 3);
  // A triangle list of 7 vertices draws 2 triangles.
  struct ScreenVertex {
    float x, y, z, rhw;
    uint32_t colour;
    float u, v;
  } v[7] = {};
  long vertices = Vertices();
  G_D3D_DrawVertexList2D(v, 7, D3DPT_TRIANGLELIST, -5, 0);
  EXPECT_EQ(Vertices(), vertices + 6);
}

TEST_F(BackEndTest, TheModelRuntimeStartsOnlyWithTheDevice) {
  Start(false);
  EXPECT_EQ(IsModelSystemStarted(), 0);
  EXPECT_EQ(EndModelSystem(), 0);  // never started: nothing to do
  Start(true);
  ASSERT_EQ(IsModelSystemStarted(), 1);
  EXPECT_EQ(StartModelSystem(), 0);  // a second start changes nothing
  EXPECT_EQ(ModelSineTable(0), 0.0f);
  EXPECT_NEAR(ModelSineTable(16384), 1.0f, 1e-6f);
  for (int handle : {-1, 0x10000000 | 0x10000, 0x10000000 | 5, 0x08000000 | 3, 0x20000000})
    EXPECT_EQ(DeleteModel(handle), -1) << handle;
  EXPECT_EQ(DeleteModelBase(0x08000000), -1);
  // The built-in default texture is 8 x 8 opaque white.
  EXPECT_EQ(ReloadModelTextures(), 0);
  int size = 0;
  const uint8_t* tga = ModelDefaultTextureImage(&size);
  BASEIMAGE image{}, alpha{};
  ASSERT_GE(LoadImageAndAlphaImage(nullptr, tga, size, 1, nullptr, 0, 0, &image, &alpha, 0), 0);
  EXPECT_EQ(image.width, 8);
  EXPECT_EQ(image.height, 8);
  uint32_t r, g, b, a;
  PeekBaseImagePixel(&image, 7, 7, &r, &g, &b, &a);
  EXPECT_EQ(r + g + b + a, 4u * 255u);
  DisposeBaseImage(&image);
  // The engine's own start and end of the runtime (its services).
  EXPECT_EQ(EndModelRuntime(), 0);
  EXPECT_EQ(IsModelSystemStarted(), 0);
  EXPECT_EQ(StartModelRuntime(), 0);
  EXPECT_EQ(IsModelSystemStarted(), 1);
  EndGraphics();
  EXPECT_EQ(IsModelSystemStarted(), 0);
  EXPECT_EQ(StartModelRuntime(), 0);  // no device: not started
  EXPECT_EQ(IsModelSystemStarted(), 0);
}

// On the device every new graph's image names the device driver; an image
// the software driver takes over (as a restore that falls back does) gets
// a memory image and its pixels there, while the others go on drawing
// through the device.
TEST_F(BackEndTest, EachImageNamesTheDriverThatHoldsItsPixels) {
  Start(true);
  EXPECT_EQ(&ScreenDriver(), DeviceDriver());
  int red = SolidGraph(16, 16, {200, 10, 10, 255});
  int other = SolidGraph(16, 16, {10, 200, 10, 255});
  EXPECT_EQ(GetGraphRecord(red)->image->driver, DeviceDriver());
  EXPECT_EQ(GetGraphMemImage(red), nullptr);
  GraphRecord* moved = GetGraphRecord(other);
  ASSERT_EQ(ConvertImageToSoftware(moved->image), 0);
  ASSERT_EQ(ImageDriver(moved->image).attach_graph(moved), 0);
  EXPECT_EQ(moved->image->driver, SoftwareDriver());
  EXPECT_EQ(moved->piece_count, 0);
  BASEIMAGE blue = MakeImage(16, 16, [](int, int) { return Rgba{0, 0, 255, 255}; });
  EXPECT_EQ(ReloadGraphFromImage(&blue, nullptr, other, 0, 0, 0), 0);
  DisposeBaseImage(&blue);
  ASSERT_NE(GetGraphMemImage(other), nullptr);
  EXPECT_EQ(MemImgPixel(GetGraphMemImage(other), 3, 3), (Rgba{0, 0, 255, 255}));
  EXPECT_EQ(FillGraphSolid(other, 1, 2, 3, 255), 0);
  EXPECT_EQ(MemImgPixel(GetGraphMemImage(other), 3, 3), (Rgba{1, 2, 3, 255}));
  WipeDrawScreen();
  EXPECT_EQ(PaintGraph(0, 0, red, 0), 0);
  Frame shown = Shown();
  EXPECT_EQ(shown[(size_t)5 * kWidth + 5], 0xC80A0Au);
  EXPECT_EQ(ReleaseGraph(other), 0);
}

}  // namespace

namespace {

long UploadBytes() { return D3D9GetDrawCounts().upload_bytes; }

// A small rectangle written into a large graph (a glyph into a font cache
// sheet) uploads that rectangle, not the texture level, and lands where it
// was written; in a mip chain each level uploads its part.
TEST_F(BackEndTest, ATransferUploadsOnlyTheRectangleItWrites) {
  Start(true);
  int sheet = CreateBlankGraph(1024, 512, 0);
  ASSERT_GE(sheet, 0);
  BASEIMAGE glyph = MakeImage(16, 16, [](int x, int y) { return Rgba{200, x * 16, y * 16, 255}; });
  long before = UploadBytes();
  ASSERT_EQ(TransferImageToGraph(nullptr, &glyph, nullptr, nullptr, 300, 100, sheet, 0), 0);
  long used = UploadBytes() - before;
  EXPECT_GT(used, 0);
  EXPECT_LE(used, 16 * 16 * 4);
  SetMipMapSetting(-1);
  int mipped = CreateBlankGraph(256, 256, 0);
  SetMipMapSetting(0);
  ASSERT_EQ(GetGraphRecord(mipped)->image->mip_level_count, 9);
  before = UploadBytes();
  ASSERT_EQ(TransferImageToGraph(nullptr, &glyph, nullptr, nullptr, 64, 32, mipped, 0), 0);
  used = UploadBytes() - before;
  EXPECT_GT(used, 16 * 16 * 2);
  EXPECT_LE(used, 4 * (16 * 16 + 8 * 8 + 4 * 4 + 2 * 2 + 5));
  DisposeBaseImage(&glyph);
  WipeDrawScreen();
  PaintGraph(-280, -90, sheet, 0);
  PaintGraph(100, 200, mipped, 0);
  Frame f = Shown();
  EXPECT_EQ(f[(size_t)(10 + 5) * kWidth + 20 + 3], 0xC83050u);  // glyph pixel (3, 5)
  EXPECT_EQ(f[(size_t)(10 + 5) * kWidth + 20 - 1], 0u);
  EXPECT_EQ(f[(size_t)(232 + 15) * kWidth + 164 + 15], 0xC8F0F0u);  // pixel (15, 15) of the mip chain's first level
  EXPECT_EQ(f[(size_t)(232 + 16) * kWidth + 164 + 15], 0u);
}

// 2-D drawing never writes depth: the wipes of frames of it clear no depth
// buffer. A draw that writes depth (as the 3-D model runtime's do) makes the
// next wipe clear it, once.
TEST_F(BackEndTest, AWipeClearsTheDepthBufferOnlyAfterADrawThatWroteDepth) {
  Start(true);
  auto depth_clears = [] { return D3D9GetDrawCounts().depth_clears; };
  int graph = SolidGraph(8, 8, {10, 20, 30, 255});
  long before = depth_clears();
  for (int i = 0; i < 3; i++) {
    WipeDrawScreen();
    PaintGraph(10, 10, graph, 0);
    PaintFilledBox(40, 40, 80, 80, PackScreenColor(200, 0, 0));
    PaintLine(0, 100, 300, 120, PackScreenColor(0, 200, 0));
    Shown();
  }
  EXPECT_EQ(depth_clears() - before, 0);
  SetZEnable(1);
  SetZWrite(1);
  struct GridVertex {
    float x, y, z, rhw;
    uint32_t colour;
    float u, v;
  } grid[4] = {{0, 0, 0.5f, 1, 0xFFFFFFFFu, 0, 0}, {20, 0, 0.5f, 1, 0xFFFFFFFFu, 1, 0},
               {0, 20, 0.5f, 1, 0xFFFFFFFFu, 0, 1}, {20, 20, 0.5f, 1, 0xFFFFFFFFu, 1, 1}};
  EXPECT_EQ(DrawVertexGrid(grid, 2, 2), 0);
  SetZWrite(0);
  before = depth_clears();
  WipeDrawScreen();
  WipeDrawScreen();
  EXPECT_EQ(depth_clears() - before, 1);
}

}  // namespace
