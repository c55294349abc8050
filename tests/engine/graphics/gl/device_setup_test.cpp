// Device set-up against scripted answers of the Direct3D object: the format
// slots and their log lines, the vertex-processing retry, the shader pack,
// and every fallback to the software renderer.
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>

#include "engine/graphics/device/device_internal.h"
#include "tests/engine/graphics/gl/gl_fixture.h"

// The device driver's own functions are under test here.
using namespace device;

namespace {

using DeviceSetupTest = GLGraphicsTest;

bool Logged(const std::string& log, const char* line) { return log.find(line) != std::string::npos; }

// A script that refuses `formats` in one of its lists.
template <size_t N>
D3D9CapabilityScript Refusing(D3DFORMAT (D3D9CapabilityScript::*list)[N], std::initializer_list<D3DFORMAT> formats) {
  D3D9CapabilityScript s{};
  size_t i = 0;
  for (D3DFORMAT f : formats) (s.*list)[i++] = f;
  return s;
}

const D3D9CapabilityScript kNoCompressedFormats = Refusing(
    &D3D9CapabilityScript::refused_textures, {D3DFMT_DXT1, D3DFMT_DXT2, D3DFMT_DXT3, D3DFMT_DXT4, D3DFMT_DXT5});

TEST_F(DeviceSetupTest, OpenGLGivesEverySlotAFormat) {
  Start(true);
  const DeviceObjects& d = g_device;
  EXPECT_EQ(d.depth_format, D3DFMT_D16);
  EXPECT_EQ(d.texture16, D3DFMT_R5G6B5);
  EXPECT_EQ(d.texture32, D3DFMT_X8R8G8B8);
  EXPECT_EQ(d.alpha16, D3DFMT_A4R4G4B4);
  EXPECT_EQ(d.alpha32, D3DFMT_A8R8G8B8);
  EXPECT_EQ(d.alpha_test16, D3DFMT_A1R5G5B5);
  EXPECT_EQ(d.alpha_test32, D3DFMT_A8R8G8B8);
  EXPECT_EQ(d.render_target32, D3DFMT_X8R8G8B8);
  EXPECT_EQ(d.alpha_render_target32, D3DFMT_A8R8G8B8);
  EXPECT_NE(d.render_target16, 0u);
  // A window takes the desktop's format: 32 bits here, whatever was asked.
  EXPECT_EQ(GetScreenBitDepth(), 32);
  EXPECT_EQ(d.screen_render_target, d.render_target32);
  EXPECT_EQ(d.blend_op, 1);
  EXPECT_GE(d.max_texture_size, 2048u);
  EXPECT_EQ(d.depth_width, 1024u);
  EXPECT_EQ(d.depth_height, 512u);
  std::string log = Log();
  for (const char* line : {"ハードウエア頂点演算を使用します", "画面のフォーマットは D3DFMT_X8R8G8B8 です",
                           "Ｚバッファのフォーマットは D3DFMT_D16 です", "16bit カラーフォーマットは D_D3DFMT_R5G6B5 です",
                           "アルファテスト用 16bit カラーフォーマットは D_D3DFMT_A1R5G5B5 です",
                           "プログラマブルシェーダーを使用します"})
    EXPECT_TRUE(Logged(log, line)) << line;
}

TEST_F(DeviceSetupTest, ScriptedAnswersDecideSlotsAndFallbacks) {
  struct Case {
    const char* name;
    D3D9CapabilityScript script;
    uint32_t failures;
    int hardware;
    const char* log_line;
  };
  auto script = [](auto fill) {
    D3D9CapabilityScript s{};
    fill(s);
    return s;
  };
  const Case cases[] = {
      {"no render-target format: slots 0, the device stays",
       Refusing(&D3D9CapabilityScript::refused_render_targets,
                {D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, D3DFMT_A4R4G4B4}),
       0, 1, "使用できる描画用 16bit カラーフォーマットがありませんでした"},
      {"no compressed formats: the fallbacks", kNoCompressedFormats, 0, 1, "ＤＸＴ１テクスチャフォーマットは使えません"},
      {"no format with one bit of alpha: software",
       Refusing(&D3D9CapabilityScript::refused_textures, {D3DFMT_A1R5G5B5, D3DFMT_A8R8G8B8, D3DFMT_A4R4G4B4}), 0, 0,
       "使用できるアルファ付き 16bit カラーフォーマットが見つかりませんでした"},
      {"no depth format: software",
       Refusing(&D3D9CapabilityScript::refused_depths, {D3DFMT_D16, D3DFMT_D24X8, D3DFMT_D32}), 0, 0,
       "使用できる Zバッファフォーマットが見つかりませんでした"},
      {"mixed vertex processing refused: the software retry", {}, D3D9_FAIL_DEVICE_MIXED, 1,
       "ソフトウエア頂点演算を使用します"},
      {"no device at all: software", {}, D3D9_FAIL_DEVICE_ALL, 0, "Direct3DDevice9 の作成に失敗しました"},
      {"no depth buffer: software", {}, D3D9_FAIL_DEPTH_SURFACE, 0, "Ｚバッファの作成に失敗しました"},
      {"pixel shaders below 2.0: fixed function only",
       script([](D3D9CapabilityScript& s) { s.pixel_shader_version = D3DPS_VERSION(1, 4); }), 0, 1,
       "プログラマブルシェーダーを使用しません"},
      {"shader objects refused: fixed function only", {}, D3D9_FAIL_SHADER, 1,
       "プログラマブルシェーダーを使用しません"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // A machine whose OpenGL is a graphics device: the device is offered, and
    // not required, so a failing step falls back to software.
    ScopedHardwareSetting offered(nullptr);
    D3D9CapabilityScript on_a_graphics_device = c.script;
    std::strcpy(on_a_graphics_device.gl_renderer, "a graphics device");
    D3D9SetCapabilityScript(&on_a_graphics_device);
    D3D9SetFailures(c.failures);
    EndGraphics();
    WriteFile("Log.txt", "");
    SetUseHardwareRenderer(1);
    ASSERT_EQ(RequestScreenMode(kWidth, kHeight, 16, 60), 0);
    ASSERT_EQ(StartGraphics(), 0);  // the software renderer always stands behind
    EXPECT_EQ(IsHardwareRendererInUse(), c.hardware);
    EXPECT_TRUE(Logged(Log(), c.log_line)) << Log();
    if (!c.hardware) {
      EXPECT_EQ(GetScreenBitDepth(), 16);  // no device: the depth asked for
    }
    // Drawing works on whichever path was chosen.
    SelectDrawScreen(DRAW_SCREEN_BACK);
    int graph = SolidGraph(8, 8, {255, 0, 0, 255});
    EXPECT_EQ(PaintGraph(4, 4, graph, 0), 0);
    EXPECT_EQ(Shown()[(size_t)6 * kWidth + 6], 0xFF0000u);
    D3D9SetFailures(0);
    D3D9SetCapabilityScript(nullptr);
  }
  EndGraphics();
  // The compressed slots took their fallbacks in that run.
  D3D9SetCapabilityScript(&kNoCompressedFormats);
  Start(true);
  EXPECT_EQ(g_device.dxt[0], g_device.alpha_test16);
  for (int i = 1; i < 5; i++) EXPECT_EQ(g_device.dxt[i], g_device.alpha32);
}

TEST_F(DeviceSetupTest, ADesktopOfSixteenBitsGivesASixteenBitScreen) {
  D3D9CapabilityScript script{};
  script.desktop_format = D3DFMT_R5G6B5;
  D3D9SetCapabilityScript(&script);
  Start(true, 32);
  EXPECT_EQ(GetScreenBitDepth(), 16);
  EXPECT_EQ(g_device.back_buffer_format, D3DFMT_R5G6B5);
  EXPECT_EQ(g_device.render_target16, D3DFMT_R5G6B5);  // the back buffer's own format first
  EXPECT_EQ(g_device.screen_render_target, g_device.render_target16);
  EXPECT_TRUE(Logged(Log(), "描画用 16bit カラーフォーマットは D3DFMT_R5G6B5 です"));
  // A texture size the caps leave at 0 is taken as 256.
  script.max_texture_width = ~0u;
  D3D9SetCapabilityScript(&script);
  Start(true);
  EXPECT_EQ(g_device.max_texture_size, 256u);
}

TEST_F(DeviceSetupTest, TheSoftwareRendererStillLoadsTheModuleAndDirectDraw) {
  Start(false);
  EXPECT_EQ(D3D9ModuleReferenceCount(), 1);
  EXPECT_EQ(DirectDrawObjectCount(), 1);
  EXPECT_EQ(g_device.direct3d, nullptr);
  EXPECT_EQ(g_device.device, nullptr);
  EXPECT_NE(GetDirectDrawObject(), nullptr);
  EndGraphics();
  EXPECT_EQ(D3D9ModuleReferenceCount(), 0);
  EXPECT_EQ(DirectDrawObjectCount(), 0);
  // Switched off by the environment: what a machine without acceleration does.
  ScopedHardwareSetting off("0");
  SetUseHardwareRenderer(1);
  ASSERT_EQ(StartGraphics(), 0);
  EXPECT_EQ(IsHardwareRendererInUse(), 0);
}

TEST_F(DeviceSetupTest, HardwareCanBeRequiredAndThenThereIsNoSoftware) {
  ScopedHardwareSetting required("1");
  Start(true);  // OpenGL is there: the device
  EndGraphics();
  D3D9SetFailures(D3D9_FAIL_DEVICE_ALL);
  EXPECT_EQ(StartGraphics(), -1);  // no device: no start
  EXPECT_TRUE(Logged(Log(), "VOX_HARDWARE=1"));
  EXPECT_EQ(D3D9ModuleReferenceCount(), 0);
  EXPECT_EQ(DirectDrawObjectCount(), 0);
  // A program that asks for software still has it.
  SetUseHardwareRenderer(0);
  EXPECT_EQ(StartGraphics(), 0);
  EXPECT_EQ(IsHardwareRendererInUse(), 0);
}

TEST_F(DeviceSetupTest, TheDepthBufferCoversTheScreenInPowersOfTwo) {
  EndGraphics();
  SetUseHardwareRenderer(1);
  ASSERT_EQ(RequestScreenMode(800, 600, 32, 60), 0);
  ASSERT_EQ(StartGraphics(), 0);
  ASSERT_EQ(IsHardwareRendererInUse(), 1);
  EXPECT_EQ(g_device.depth_width, 1024u);
  EXPECT_EQ(g_device.depth_height, 1024u);
}

TEST_F(DeviceSetupTest, TheShaderPackIsUnpackedOnceAndItsWalkStaysInside) {
  Start(true);
  ASSERT_EQ(ProgrammableShadersInUse(), 1);
  uint32_t vs_size = 0, ps_size = 0;
  const uint8_t* vs = ShaderBlob(0, SHADER_DEFAULT_VERTEX, &vs_size);
  const uint8_t* ps = ShaderBlob(1, SHADER_DEFAULT_PIXEL, &ps_size);
  ASSERT_NE(vs, nullptr);
  ASSERT_NE(ps, nullptr);
  // The blobs follow the size tables, vertex shaders first.
  EXPECT_EQ(ps, vs + vs_size);
  EXPECT_EQ(vs[3], 0xFF);  // the version token of a vertex shader: FFFE0200
  EXPECT_EQ(vs[2], 0xFE);
  EXPECT_EQ(ps[2], 0xFF);
  EXPECT_EQ(ShaderBlob(0, 0, nullptr), nullptr);
  ASSERT_NE(VertexDeclaration(1, 2, 8), nullptr);
  // A new device does not unpack the pack again.
  RestoreGraphicsDevice();
  EXPECT_EQ(ShaderBlob(0, SHADER_DEFAULT_VERTEX, nullptr), vs);
  EndGraphics();
  EXPECT_EQ(ShaderBlob(0, SHADER_DEFAULT_VERTEX, nullptr), nullptr);  // the graphics end frees it

  // Size tables that claim more bytes than the pack holds make it unusable.
  std::vector<uint8_t> pack(SHADER_PACK_TABLES + 16, 0);
  const uint8_t* vertex[SHADER_VERTEX_SLOTS];
  const uint8_t* pixel[SHADER_PIXEL_SLOTS];
  pack[10 * 2] = 12;  // vertex 10: 12 bytes
  pack[(SHADER_VERTEX_SLOTS + 3) * 2] = 4;  // pixel 3: 4 bytes
  EXPECT_TRUE(BuildShaderBlobTables(pack.data(), (uint32_t)pack.size(), vertex, pixel));
  EXPECT_EQ(vertex[10], pack.data() + SHADER_PACK_TABLES);
  EXPECT_EQ(pixel[3], pack.data() + SHADER_PACK_TABLES + 12);
  EXPECT_EQ(vertex[11], nullptr);
  pack[(SHADER_VERTEX_SLOTS + 3) * 2] = 5;  // one byte past the end
  EXPECT_FALSE(BuildShaderBlobTables(pack.data(), (uint32_t)pack.size(), vertex, pixel));
  EXPECT_FALSE(BuildShaderBlobTables(pack.data(), SHADER_PACK_TABLES - 1, vertex, pixel));
  // All sizes 0: empty tables, so shader creation cannot succeed.
  std::vector<uint8_t> empty(SHADER_PACK_TABLES, 0);
  EXPECT_TRUE(BuildShaderBlobTables(empty.data(), (uint32_t)empty.size(), vertex, pixel));
  EXPECT_EQ(vertex[SHADER_DEFAULT_VERTEX], nullptr);
}

}  // namespace
