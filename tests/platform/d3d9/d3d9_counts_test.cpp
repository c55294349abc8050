// What the adapter offers where OpenGL is drawn by the processor, and what
// the device's counters tell of the work it did: draws, states, uploads,
// read-backs and full-screen passes, the present's and the window reader's.
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tests/platform/d3d9/d3d9_fixture.h"
#include "tests/support/gl_window.h"

namespace {

// OpenGL drawn by the processor is no graphics device: the adapter offers
// no device there (as a machine without a display driver offers none), so the
// engine falls back to its software renderer, unless VOX_HARDWARE=1 asks for
// the device; VOX_HARDWARE=0 takes it away from any OpenGL.
TEST_F(D3D9DeviceTest, OpenGLDrawnByTheProcessorOffersNoDeviceUnlessAskedFor) {
  struct Case {
    const char* setting;  // VOX_HARDWARE, null: unset
    const char* renderer;
    bool device;
  };
  const Case cases[] = {
      {nullptr, "llvmpipe (LLVM 15.0.6, 256 bits)", false},
      {nullptr, "softpipe", false},
      {nullptr, "Mesa X11 SWRAST", false},
      {nullptr, "Software Rasterizer", false},
      {nullptr, "Mesa Intel(R) UHD Graphics 620 (KBL GT2)", true},
      {nullptr, "AMD Radeon RX 6600 (navi23, LLVM 15.0.6, DRM 3.49, 6.1.0)", true},
      {"yes", "llvmpipe (LLVM 15.0.6, 256 bits)", false},
      {"1", "llvmpipe (LLVM 15.0.6, 256 bits)", true},
      {"0", "Mesa Intel(R) UHD Graphics 620 (KBL GT2)", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.setting ? c.setting : "unset") + ", " + c.renderer);
    ScopedHardwareSetting setting(c.setting);
    D3D9CapabilityScript script{};
    std::strncpy(script.gl_renderer, c.renderer, sizeof script.gl_renderer - 1);
    D3D9SetCapabilityScript(&script);
    const HRESULT offered = c.device ? D3D_OK : D3DERR_NOTAVAILABLE;
    D3DCAPS9 caps;
    EXPECT_EQ(d3d_->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &caps), offered);
    EXPECT_EQ(d3d_->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE,
                                      D3DFMT_A8R8G8B8),
              offered);
    IDirect3DDevice9* device = MakeDevice(kWidth, kHeight, D3DFMT_X8R8G8B8);
    EXPECT_EQ(device != nullptr, c.device);
    if (device) {
      EXPECT_EQ(device->Release(), 0u);
    }
  }
  D3D9SetCapabilityScript(nullptr);
}

// The counters a benchmark reads for waste: each operation counts what it
// did, and nothing else.
TEST_F(D3D9DeviceTest, CountersTellDrawsStatesUploadsReadBacksAndFullScreenPasses) {
  struct Step {
    const char* what;
    std::function<void()> run;
    D3D9DrawCounts expected;  // calls, vertices, state calls, changes, uploads, bytes, read-backs, bytes, passes,
                              // depth clears
  };
  IDirect3DTexture9* texture = nullptr;
  IDirect3DSurface9* target = nullptr;
  ASSERT_EQ(device_->CreateRenderTarget(kWidth, kHeight, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &target,
                                        nullptr),
            D3D_OK);
  IDirect3DSurface9* back = nullptr;
  device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
  const long screen = kWidth * kHeight * 4;
  const Step steps[] = {
      {"a state set twice to one value", [&] { for (int i = 0; i < 2; i++) device_->SetRenderState(D3DRS_ALPHAREF, 7); },
       {0, 0, 2, 1, 0, 0, 0, 0, 0, 0}},
      // Made with its zero bytes, then filled.
      {"a texture filled through a lock",
       [&] { texture = MakeTexture(8, 4, D3DFMT_A8R8G8B8, std::vector<uint32_t>(32, 0xFF102030u)); },
       {0, 0, 0, 0, 2, 2 * 8 * 4 * 4, 0, 0, 0, 0}},
      {"a quad and its vertex format", [&] { Quad(0, 0, 8, 8, 0xFFFFFFFFu); }, {1, 6, 1, 1, 0, 0, 0, 0, 0, 0}},
      {"a clear of the whole target and of a part",
       [&] {
         RECT part{0, 0, 8, 8};
         device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
         device_->Clear(1, &part, D3DCLEAR_TARGET, 0, 1.0f, 0);
       },
       {0, 0, 0, 0, 0, 0, 0, 0, 1, 0}},
      {"a fill and a copy of the whole screen",
       [&] {
         device_->ColorFill(target, nullptr, 0xFF00FF00u);
         device_->StretchRect(target, nullptr, back, nullptr, D3DTEXF_NONE);
       },
       {0, 0, 0, 0, 0, 0, 0, 0, 2, 0}},
      // The back buffer keeps 16 bits a channel.
      {"a read-back of the back buffer", [&] { Read(); }, {0, 0, 0, 0, 0, 0, 1, 2 * screen, 0, 0}},
      {"a present", [&] { device_->Present(nullptr, nullptr, nullptr, nullptr); }, {0, 0, 0, 0, 0, 0, 0, 0, 1, 0}},
      {"the window read: the picture drawn for it and read",
       [&] {
         std::vector<uint32_t> shown(kWidth * kHeight);
         EXPECT_EQ(ReadWindowPixels(window_, shown.data(), kWidth, kHeight, kWidth * 4), 0);
       },
       {0, 0, 0, 0, 0, 0, 1, screen, 1, 0}},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    const D3D9DrawCounts a = D3D9GetDrawCounts();
    step.run();
    const D3D9DrawCounts b = D3D9GetDrawCounts();
    const D3D9DrawCounts& e = step.expected;
    EXPECT_EQ(b.calls - a.calls, e.calls);
    EXPECT_EQ(b.vertices - a.vertices, e.vertices);
    EXPECT_EQ(b.state_calls - a.state_calls, e.state_calls);
    EXPECT_EQ(b.state_changes - a.state_changes, e.state_changes);
    EXPECT_EQ(b.uploads - a.uploads, e.uploads);
    EXPECT_EQ(b.upload_bytes - a.upload_bytes, e.upload_bytes);
    EXPECT_EQ(b.read_backs - a.read_backs, e.read_backs);
    EXPECT_EQ(b.read_back_bytes - a.read_back_bytes, e.read_back_bytes);
    EXPECT_EQ(b.full_screen_passes - a.full_screen_passes, e.full_screen_passes);
    EXPECT_EQ(b.depth_clears - a.depth_clears, e.depth_clears);
  }
  back->Release();
  target->Release();
  if (texture) texture->Release();
}

// The window shows the last present's picture. A present draws it into the
// window in one pass and keeps no copy: a read right after it draws the
// picture again from the back buffer. A read that comes after the back
// buffer was drawn into again finds nothing the first time; from then on
// every picture is kept for it (one more pass a frame).
TEST_F(D3D9DeviceTest, TheWindowIsReadAsPresentedOnceALateReaderAskedForIt) {
  std::vector<uint32_t> shown(kWidth * kHeight);
  auto read = [&] { return ReadWindowPixels(window_, shown.data(), kWidth, kHeight, kWidth * 4); };
  auto passes = [] { return D3D9GetDrawCounts().full_screen_passes; };
  auto frame = [&](D3DCOLOR colour) {
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, colour, 1.0f, 0);
    ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  };
  frame(0xFFFF0000u);
  ASSERT_EQ(read(), 0);
  EXPECT_EQ(shown[5 * kWidth + 5], 0xFF0000u);
  long before = passes();
  frame(0xFF00FF00u);
  Quad(0, 0, kWidth, kHeight, 0xFFFFFFFFu);  // the next frame begins
  EXPECT_EQ(passes() - before, 2);          // the clear and the present: nothing kept
  EXPECT_EQ(read(), -1);
  for (D3DCOLOR colour : {0xFF0000FFu, 0xFF00FFFFu}) {
    frame(colour);
    Quad(0, 0, kWidth, kHeight, 0xFFFFFFFFu);
    ASSERT_EQ(read(), 0);
    EXPECT_EQ(shown[5 * kWidth + 5], colour & 0xFFFFFFu) << Hex(colour);
  }
}

}  // namespace
