// The Direct3D device over OpenGL: what the engine's pixel equality rests
// on (pixel centres, viewport clipping, first-vertex flat shading), the
// texture formats, the texture stages, alpha test and blending, targets and
// copies, present, what the object reports, and reference counting.
#include <algorithm>
#include <cmath>
#include <string>

#include "tests/platform/d3d9/d3d9_fixture.h"

namespace {

using Pixels = std::vector<uint32_t>;

TEST_F(D3D9DeviceTest, ClearsTheViewportAndHonoursRectanglesAndTheScissor) {
  ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF102030u, 1.0f, 0), D3D_OK);
  Pixels p = Read();
  EXPECT_EQ(At(p, 0, 0) & 0xFFFFFF, 0x102030u);
  EXPECT_EQ(At(p, 63, 47) & 0xFFFFFF, 0x102030u);
  RECT r{10, 5, 20, 8};
  device_->Clear(1, &r, D3DCLEAR_TARGET, 0xFFFF0000u, 1.0f, 0);
  device_->SetRenderState(D3DRS_SCISSORTESTENABLE, TRUE);
  RECT scissor{0, 0, 4, 4};
  device_->SetScissorRect(&scissor);
  device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00u, 1.0f, 0);
  p = Read();
  EXPECT_EQ(At(p, 3, 3) & 0xFFFFFF, 0x00FF00u);
  EXPECT_EQ(At(p, 4, 4) & 0xFFFFFF, 0x102030u);
  EXPECT_EQ(At(p, 10, 5) & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(At(p, 19, 7) & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(At(p, 20, 7) & 0xFFFFFF, 0x102030u);
  EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3DERR_INVALIDCALL);  // no depth buffer
}

TEST_F(D3D9DeviceTest, ADeviceOnANewWindowWorksAfterEveryWindowClosed) {
  // Once every OpenGL window has gone, the next device's first call must
  // still reach the driver (the library stays loaded).
  ASSERT_EQ(device_->Release(), 0u);
  device_ = nullptr;
  DestroyWindow(window_);
  window_ = CreateWindowExA(0, class_name_.c_str(), "again", WS_POPUP, 0, 0, kWidth, kHeight, nullptr, nullptr,
                            nullptr, nullptr);
  ASSERT_NE(window_, nullptr);
  device_ = MakeDevice(kWidth, kHeight, D3DFMT_X8R8G8B8);
  ASSERT_NE(device_, nullptr);
  ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF405060u, 1.0f, 0), D3D_OK);
  EXPECT_EQ(At(Read(), 5, 5) & 0xFFFFFF, 0x405060u);
}

TEST_F(D3D9DeviceTest, QuadsCoverExactlyTheirPixelsWithTheFirstVertexColour) {
  device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
  device_->BeginScene();
  Quad(2, 3, 6, 5, 0xFFC08040u);
  device_->EndScene();
  Pixels p = Read();
  for (int y = 0; y < 8; y++)
    for (int x = 0; x < 8; x++) {
      bool inside = x >= 2 && x < 6 && y >= 3 && y < 5;
      EXPECT_EQ(At(p, x, y) & 0xFFFFFF, inside ? 0xC08040u : 0u) << x << "," << y;
    }
}

TEST_F(D3D9DeviceTest, TheViewportClipsPreTransformedVertices) {
  device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
  D3DVIEWPORT9 vp{10, 8, 20, 16, 0.0f, 1.0f};
  ASSERT_EQ(device_->SetViewport(&vp), D3D_OK);
  Quad(0, 0, 64, 48, 0xFFFFFFFFu);
  Pixels p = Read();
  EXPECT_EQ(At(p, 9, 8) & 0xFFFFFF, 0u);
  EXPECT_EQ(At(p, 10, 8) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(At(p, 29, 23) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(At(p, 30, 23) & 0xFFFFFF, 0u);
  EXPECT_EQ(At(p, 29, 24) & 0xFFFFFF, 0u);
  D3DVIEWPORT9 too_big{40, 0, 40, 10, 0.0f, 1.0f};
  EXPECT_EQ(device_->SetViewport(&too_big), D3DERR_INVALIDCALL);
}

TEST_F(D3D9DeviceTest, PointsAndLinesLandOnPixelCentres) {
  device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
  ColourVertex point{3, 3, 0, 1, 0xFFFFFFFFu};
  device_->SetFVF(kColourFvf);
  device_->DrawPrimitiveUP(D3DPT_POINTLIST, 1, &point, sizeof point);
  ColourVertex line[2] = {{10, 6, 0, 1, 0xFF00FF00u}, {15, 6, 0, 1, 0xFF0000FFu}};
  device_->DrawPrimitiveUP(D3DPT_LINELIST, 1, line, sizeof(ColourVertex));
  Pixels p = Read();
  EXPECT_EQ(At(p, 3, 3) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(At(p, 2, 3) & 0xFFFFFF, 0u);
  EXPECT_EQ(At(p, 3, 4) & 0xFFFFFF, 0u);
  for (int x = 10; x < 15; x++) EXPECT_EQ(At(p, x, 6) & 0xFFFFFF, 0x00FF00u) << x;  // flat: the first vertex
  EXPECT_EQ(At(p, 15, 6) & 0xFFFFFF, 0u);  // the last pixel is left out
  EXPECT_EQ(At(p, 12, 5) & 0xFFFFFF, 0u);
}

// Every line draws its first pixel and leaves out its last, whichever way
// it runs, and covers one pixel per step of its longer axis, also where its
// ends' positions round onto the edge of a pixel's diamond.
TEST_F(D3D9DeviceTest, LinesDrawTheirFirstPixelAndLeaveOutTheirLastInEveryDirection) {
  device_->SetFVF(kColourFvf);
  const int ends[][2] = {{20, 7}, {7, 20}, {15, 15}, {19, 11}, {5, 21}, {21, 0}, {0, 21}};
  for (const auto& e : ends)
    for (int sx : {-1, 1})
      for (int sy : {-1, 1})
        for (int x1 : {31, 32}) {
          int y1 = 23, x2 = x1 + sx * e[0], y2 = y1 + sy * e[1];
          device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
          ColourVertex line[2] = {{(float)x1, (float)y1, 0, 1, 0xFFFFFFFFu}, {(float)x2, (float)y2, 0, 1, 0xFFFFFFFFu}};
          device_->DrawPrimitiveUP(D3DPT_LINELIST, 1, line, sizeof(ColourVertex));
          Pixels p = Read();
          int lit = 0;
          for (uint32_t c : p) lit += (c & 0xFFFFFF) != 0;
          std::string line_name = std::to_string(x1) + "," + std::to_string(y1) + " to " + std::to_string(x2) + "," +
                                  std::to_string(y2);
          EXPECT_NE(At(p, x1, y1) & 0xFFFFFF, 0u) << line_name;
          EXPECT_EQ(At(p, x2, y2) & 0xFFFFFF, 0u) << line_name;
          EXPECT_EQ(lit, std::max(e[0], e[1])) << line_name;
        }
}

TEST_F(D3D9DeviceTest, TexturesOfEveryFormatSampleTheirTexelsExactly) {
  Pixels texels = {0xFFFF0000u, 0x8000FF00u, 0x000000FFu, 0xFFFFFFFFu};
  struct Case {
    D3DFORMAT format;
    uint32_t expect[4];
  } cases[] = {
      {D3DFMT_A8R8G8B8, {0xFFFF0000u, 0x8000FF00u, 0x000000FFu, 0xFFFFFFFFu}},
      {D3DFMT_X8R8G8B8, {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu}},
      {D3DFMT_R5G6B5, {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu}},
      {D3DFMT_A1R5G5B5, {0xFFFF0000u, 0xFF00FF00u, 0x000000FFu, 0xFFFFFFFFu}},
      {D3DFMT_A4R4G4B4, {0xFFFF0000u, 0x8800FF00u, 0x000000FFu, 0xFFFFFFFFu}},
  };
  // The texel itself, alpha included, goes into an A8R8G8B8 target.
  IDirect3DTexture9* target = nullptr;
  ASSERT_EQ(device_->CreateTexture(2, 2, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &target, nullptr),
            D3D_OK);
  IDirect3DSurface9* surface = nullptr;
  target->GetSurfaceLevel(0, &surface);
  device_->SetRenderTarget(0, surface);
  Stage(0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
  for (const Case& c : cases) {
    IDirect3DTexture9* texture = MakeTexture(2, 2, c.format, texels);
    ASSERT_NE(texture, nullptr) << c.format;
    device_->SetTexture(0, texture);
    TexturedQuad(0, 0, 2, 2, 0xFFFFFFFFu);
    Pixels p = Read(surface);
    for (int i = 0; i < 4; i++)
      EXPECT_TRUE(Near(p[i], c.expect[i], 1)) << "format " << c.format << " texel " << i << ": " << Hex(p[i]);
    device_->SetTexture(0, nullptr);
    texture->Release();
  }
  surface->Release();
  target->Release();
}

TEST_F(D3D9DeviceTest, SixteenBitTexelsWidenToTheNearestEightBitValue) {
  // Red 12 of 31 is 98.7 of 255 and shows as 99 (as its bits repeated give
  // it), not cut to 98; green 11 of 63 is 44.5: 44 by its bits repeated (a
  // driver that keeps such texels at 8 bits), 45 rounded.
  auto widened = [](uint32_t p) {
    return (p >> 16 & 255) == 0x63 && ((p >> 8 & 255) == 0x2C || (p >> 8 & 255) == 0x2D);
  };
  Pixels texels = {0xFF602C00u};
  IDirect3DTexture9* texture = MakeTexture(1, 1, D3DFMT_R5G6B5, texels);
  ASSERT_NE(texture, nullptr);
  Stage(0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_DIFFUSE);
  device_->SetTexture(0, texture);
  TexturedQuad(0, 0, 4, 4, 0xFFFFFFFFu);
  uint32_t drawn = At(Read(), 1, 1);
  EXPECT_TRUE(widened(drawn)) << Hex(drawn);
  device_->SetTexture(0, nullptr);
  texture->Release();
  // A 16-bit back buffer is shown the same way.
  ASSERT_EQ(device_->Release(), 0u);
  device_ = MakeDevice(kWidth, kHeight, D3DFMT_R5G6B5);
  ASSERT_NE(device_, nullptr);
  device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF602C00u, 1.0f, 0);
  ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  Pixels shown((size_t)kWidth * kHeight);
  ASSERT_EQ(ReadWindowPixels(window_, shown.data(), kWidth, kHeight, kWidth * 4), 0);
  EXPECT_TRUE(widened(shown[0])) << Hex(shown[0]);
}

TEST_F(D3D9DeviceTest, TextureStagesCombineTheirArgumentsAsTheOperationsSay) {
  IDirect3DTexture9* target = nullptr;
  ASSERT_EQ(device_->CreateTexture(1, 1, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &target, nullptr),
            D3D_OK);
  IDirect3DSurface9* surface = nullptr;
  target->GetSurfaceLevel(0, &surface);
  device_->SetRenderTarget(0, surface);
  IDirect3DTexture9* texture = MakeTexture(1, 1, D3DFMT_A8R8G8B8, {0x80C04020u});
  device_->SetTexture(0, texture);
  device_->SetRenderState(D3DRS_TEXTUREFACTOR, 0x40FFFFFFu);
  const D3DCOLOR diffuse = 0xC0808080u;
  auto channel = [](uint32_t c, int s) { return (int)((c >> s) & 255); };
  auto each = [&](auto f) {
    uint32_t out = 0;
    for (int s = 0; s < 32; s += 8) {
      int v = f(s);
      out |= (uint32_t)(v < 0 ? 0 : v > 255 ? 255 : v) << s;
    }
    return out;
  };
  const uint32_t t = 0x80C04020u;
  struct Case {
    const char* name;
    DWORD op, arg1, arg2;
    uint32_t expect;
  } cases[] = {
      {"modulate", D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE,
       each([&](int s) { return (channel(t, s) * channel(diffuse, s) + 127) / 255; })},
      {"modulate 2x", D3DTOP_MODULATE2X, D3DTA_TEXTURE, D3DTA_DIFFUSE,
       each([&](int s) { return 2 * channel(t, s) * channel(diffuse, s) / 255; })},
      {"add", D3DTOP_ADD, D3DTA_TEXTURE, D3DTA_DIFFUSE, each([&](int s) { return channel(t, s) + channel(diffuse, s); })},
      {"subtract", D3DTOP_SUBTRACT, D3DTA_DIFFUSE, D3DTA_TEXTURE,
       each([&](int s) { return channel(diffuse, s) - channel(t, s); })},
      {"complement", D3DTOP_SELECTARG1, D3DTA_TEXTURE | D3DTA_COMPLEMENT, D3DTA_DIFFUSE,
       each([&](int s) { return 255 - channel(t, s); })},
      {"factor", D3DTOP_SELECTARG1, D3DTA_TFACTOR, D3DTA_DIFFUSE, 0x40FFFFFFu},
      {"blend diffuse alpha", D3DTOP_BLENDDIFFUSEALPHA, D3DTA_TEXTURE, D3DTA_TFACTOR,
       each([&](int s) { return (channel(t, s) * 0xC0 + channel(0x40FFFFFFu, s) * (255 - 0xC0) + 127) / 255; })},
  };
  for (const Case& c : cases) {
    Stage(0, c.op, c.arg1, c.arg2, c.op, c.arg1, c.arg2);
    TexturedQuad(0, 0, 1, 1, diffuse);
    uint32_t got = Read(surface)[0];
    EXPECT_TRUE(Near(got, c.expect, 1)) << c.name << ": " << Hex(got) << " against " << Hex(c.expect);
  }
  // A second stage works on the first one's result.
  Stage(0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
  Stage(1, D3DTOP_BLENDCURRENTALPHA, D3DTA_CURRENT, D3DTA_TFACTOR, D3DTOP_SELECTARG1, D3DTA_CURRENT, D3DTA_CURRENT);
  TexturedQuad(0, 0, 1, 1, diffuse);
  uint32_t expect = each([&](int s) {
    if (s == 24) return channel(t, 24);
    return (channel(t, s) * 0x80 + 255 * (255 - 0x80) + 127) / 255;
  });
  EXPECT_TRUE(Near(Read(surface)[0], expect, 1)) << Hex(Read(surface)[0]);
  device_->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
  texture->Release();
  surface->Release();
  target->Release();
}

TEST_F(D3D9DeviceTest, AlphaTestDropsPixelsAndBlendingMixesTheRest) {
  device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF404040u, 1.0f, 0);
  Stage(0, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_DIFFUSE);
  device_->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
  device_->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
  device_->SetRenderState(D3DRS_ALPHAREF, 16);
  Quad(0, 0, 4, 4, 0x10FFFFFFu);  // alpha 16: dropped
  Quad(4, 0, 8, 4, 0x11FFFFFFu);  // alpha 17: drawn
  device_->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
  device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  struct Case {
    DWORD src, dst, op;
    D3DCOLOR colour;
    uint32_t expect;
  } cases[] = {
      {D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, D3DBLENDOP_ADD, 0x80C0C0C0u, 0x808080u},
      {D3DBLEND_SRCALPHA, D3DBLEND_ONE, D3DBLENDOP_ADD, 0x80404040u, 0x606060u},
      {D3DBLEND_SRCALPHA, D3DBLEND_ONE, D3DBLENDOP_REVSUBTRACT, 0x80404040u, 0x202020u},
      {D3DBLEND_ZERO, D3DBLEND_SRCCOLOR, D3DBLENDOP_ADD, 0xFF808080u, 0x202020u},
      {D3DBLEND_INVDESTCOLOR, D3DBLEND_ZERO, D3DBLENDOP_ADD, 0xFFFFFFFFu, 0xBFBFBFu},
  };
  int x = 8;
  for (const Case& c : cases) {
    device_->SetRenderState(D3DRS_SRCBLEND, c.src);
    device_->SetRenderState(D3DRS_DESTBLEND, c.dst);
    device_->SetRenderState(D3DRS_BLENDOP, c.op);
    Quad((float)x, 0, (float)x + 4, 4, c.colour);
    x += 4;
  }
  Pixels p = Read();
  EXPECT_EQ(At(p, 1, 1) & 0xFFFFFF, 0x404040u);
  EXPECT_EQ(At(p, 5, 1) & 0xFFFFFF, 0xFFFFFFu);
  x = 8;
  for (const Case& c : cases) {
    EXPECT_TRUE(Near(At(p, x + 1, 1) & 0xFFFFFF, c.expect)) << "blend at " << x << ": " << Hex(At(p, x + 1, 1));
    x += 4;
  }
}

// The blend unit works as the engine's software renderer does: a weight of
// a byte is taken over 256 (255 being whole), and the term an add or a
// subtract brings is the colour times the alpha cut to whole units of the
// target with its lowest bit cleared. A 16-bit target counts in its own
// five and six bits.
TEST_F(D3D9DeviceTest, BlendingTakesTheSoftwareRenderersProductsAndCuts) {
  struct Case {
    DWORD dst, op;
    D3DCOLOR under, colour;
    uint32_t expect32;      // 0xRRGGBB on X8R8G8B8
    uint32_t expect16[3];   // red, green, blue units on R5G6B5
  } cases[] = {
      // 255 x 200 / 256 = 199.2 (a device dividing by 255 shows 200); in
      // units, 31 x 200 / 256 = 24.2 and 63 x 200 / 256 = 49.2.
      {D3DBLEND_INVSRCALPHA, D3DBLENDOP_ADD, 0xFF000000u, 0xC8FFFFFFu, 0xC7C7C7u, {24, 49, 24}},
      {D3DBLEND_INVSRCALPHA, D3DBLENDOP_ADD, 0xFF404040u, 0xFF102030u, 0x102030u, {2, 8, 6}},
      // 64 + (195 x 128 / 255 = 97.9, cut to 97, guard bit off: 96); in
      // units 8 + 14 (24 x 128 / 255 = 12.0: 12), 16 + 24 (48 x 128 / 255 = 24.1: 24).
      {D3DBLEND_ONE, D3DBLENDOP_ADD, 0xFF404040u, 0x80C3C3C3u, 0xA0A0A0u, {20, 40, 20}},
      {D3DBLEND_ONE, D3DBLENDOP_REVSUBTRACT, 0xFFC0C0C0u, 0x80C3C3C3u, 0x606060u, {12, 24, 12}},
      // Saturated both ways.
      {D3DBLEND_ONE, D3DBLENDOP_ADD, 0xFFF0F0F0u, 0xFFFFFFFFu, 0xFFFFFFu, {31, 63, 31}},
      {D3DBLEND_ONE, D3DBLENDOP_REVSUBTRACT, 0xFF101010u, 0xFFFFFFFFu, 0x000000u, {0, 0, 0}},
  };
  for (D3DFORMAT format : {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5}) {
    if (format == D3DFMT_R5G6B5) {
      ASSERT_EQ(device_->Release(), 0u);
      device_ = MakeDevice(kWidth, kHeight, format);
      ASSERT_NE(device_, nullptr);
      device_->SetRenderState(D3DRS_LIGHTING, FALSE);
      device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
      device_->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
    }
    Stage(0, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_DIFFUSE);
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    int x = 0;
    for (const Case& c : cases) {
      RECT cell{x, 0, x + 4, 4};
      device_->Clear(1, &cell, D3DCLEAR_TARGET, c.under, 1.0f, 0);
      device_->SetRenderState(D3DRS_DESTBLEND, c.dst);
      device_->SetRenderState(D3DRS_BLENDOP, c.op);
      Quad((float)x, 0, (float)x + 4, 4, c.colour);
      x += 4;
    }
    Pixels p = Read();
    x = 0;
    for (const Case& c : cases) {
      uint32_t expect = c.expect32;
      if (format == D3DFMT_R5G6B5)  // as the fixture widens what it reads
        expect = c.expect16[0] * 255 / 31 << 16 | c.expect16[1] * 255 / 63 << 8 | c.expect16[2] * 255 / 31;
      EXPECT_EQ(At(p, x + 1, 1) & 0xFFFFFF, expect) << Hex(At(p, x + 1, 1)) << " in cell " << x / 4 << " of "
                                                     << (format == D3DFMT_R5G6B5 ? "R5G6B5" : "X8R8G8B8");
      x += 4;
    }
  }
}

TEST_F(D3D9DeviceTest, RenderTargetTexturesAreDrawnIntoCopiedAndSampled) {
  IDirect3DTexture9* texture = nullptr;
  ASSERT_EQ(device_->CreateTexture(16, 16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &texture,
                                   nullptr),
            D3D_OK);
  D3DLOCKED_RECT locked;
  EXPECT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3DERR_INVALIDCALL);  // targets are not locked
  IDirect3DSurface9* level = nullptr, *back = nullptr;
  texture->GetSurfaceLevel(0, &level);
  device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
  ASSERT_EQ(device_->SetRenderTarget(0, level), D3D_OK);
  D3DVIEWPORT9 vp;
  device_->GetViewport(&vp);
  EXPECT_EQ(vp.Width, 16u);  // the new target's own viewport
  Quad(0, 0, 8, 16, 0xFF0000FFu);
  Quad(8, 0, 16, 16, 0xFFFFFF00u);
  device_->SetRenderTarget(0, back);
  device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
  // Copied half size, then drawn from as a texture.
  RECT from{0, 0, 16, 16}, to{40, 0, 48, 8};
  ASSERT_EQ(device_->StretchRect(level, &from, back, &to, D3DTEXF_NONE), D3D_OK);
  Stage(0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_DIFFUSE);
  device_->SetTexture(0, texture);
  TexturedQuad(0, 0, 16, 16, 0xFFFFFFFFu);
  Pixels p = Read();
  EXPECT_EQ(At(p, 7, 3) & 0xFFFFFF, 0x0000FFu);
  EXPECT_EQ(At(p, 8, 3) & 0xFFFFFF, 0xFFFF00u);
  EXPECT_EQ(At(p, 43, 3) & 0xFFFFFF, 0x0000FFu);
  EXPECT_EQ(At(p, 44, 3) & 0xFFFFFF, 0xFFFF00u);
  EXPECT_EQ(At(p, 44, 8) & 0xFFFFFF, 0u);
  EXPECT_EQ(device_->StretchRect(back, nullptr, back, nullptr, D3DTEXF_NONE), D3DERR_INVALIDCALL);
  device_->SetTexture(0, nullptr);
  level->Release();
  back->Release();
  texture->Release();
}

TEST_F(D3D9DeviceTest, SystemMemorySurfacesGoUpAndComeBack) {
  IDirect3DSurface9* plain = nullptr;
  ASSERT_EQ(device_->CreateOffscreenPlainSurface(4, 2, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &plain, nullptr), D3D_OK);
  D3DLOCKED_RECT locked;
  ASSERT_EQ(plain->LockRect(&locked, nullptr, 0), D3D_OK);
  for (int i = 0; i < 8; i++) static_cast<uint32_t*>(locked.pBits)[i] = 0xFF000000u | (uint32_t)(i * 0x101010);
  plain->UnlockRect();
  IDirect3DTexture9* texture = nullptr;
  ASSERT_EQ(device_->CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture, nullptr),
            D3D_OK);
  IDirect3DSurface9* level = nullptr;
  texture->GetSurfaceLevel(0, &level);
  RECT part{1, 0, 4, 2};
  POINT at{5, 6};
  ASSERT_EQ(device_->UpdateSurface(plain, &part, level, &at), D3D_OK);
  RECT fill{0, 0, 2, 2};
  ASSERT_EQ(device_->ColorFill(level, &fill, 0xFF00FF00u), D3D_OK);
  Pixels p = Read(level);
  EXPECT_EQ(p[6 * 8 + 5], 0xFF101010u);
  EXPECT_EQ(p[7 * 8 + 7], 0xFF707070u);
  EXPECT_EQ(p[1 * 8 + 1], 0xFF00FF00u);
  EXPECT_EQ(p[3 * 8 + 3], 0u);  // a new target is cleared
  // Formats and sizes must match.
  IDirect3DSurface9* wrong = nullptr;
  device_->CreateOffscreenPlainSurface(8, 8, D3DFMT_R5G6B5, D3DPOOL_SYSTEMMEM, &wrong, nullptr);
  EXPECT_EQ(device_->GetRenderTargetData(level, wrong), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->UpdateSurface(wrong, nullptr, level, nullptr), D3DERR_INVALIDCALL);
  wrong->Release();
  level->Release();
  texture->Release();
  plain->Release();
}

// Off-screen plain surfaces of the video formats take a frame in their own
// layout and the copy into a target converts it (studio-range BT.601 in
// 14-bit fixed point): two blocks of 2 x 2 pixels, white, and a colour whose
// U and V would show swapped. The formats are surfaces only, and a format
// the device is scripted to refuse is refused alike when asked and when made.
TEST_F(D3D9DeviceTest, FramesInTheVideoFormatsAreConvertedByTheCopy) {
  const uint8_t y[2][4] = {{235, 235, 128, 128}, {235, 235, 128, 128}};
  const uint8_t u[2] = {128, 200}, v[2] = {128, 60};
  IDirect3DSurface9* back = nullptr;
  device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
  for (D3DFORMAT format : {D3DFMT_YV12, D3DFMT_YUY2, D3DFMT_UYVY}) {
    EXPECT_EQ(d3d_->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_SURFACE, format),
              D3D_OK);
    EXPECT_EQ(d3d_->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, format),
              D3DERR_NOTAVAILABLE);
    IDirect3DSurface9* frame = nullptr;
    ASSERT_EQ(device_->CreateOffscreenPlainSurface(4, 2, format, D3DPOOL_DEFAULT, &frame, nullptr), D3D_OK);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(frame->LockRect(&locked, nullptr, 0), D3D_OK);
    uint8_t* bits = static_cast<uint8_t*>(locked.pBits);
    for (int row = 0; row < 2; row++) {
      uint8_t* out = bits + row * locked.Pitch;
      for (int block = 0; block < 2; block++) {
        const uint8_t* l = &y[row][2 * block];
        if (format == D3DFMT_YV12) {
          out[2 * block] = l[0], out[2 * block + 1] = l[1];
        } else if (format == D3DFMT_YUY2) {
          uint8_t q[4] = {l[0], u[block], l[1], v[block]};
          std::memcpy(out + 4 * block, q, 4);
        } else {
          uint8_t q[4] = {u[block], l[0], v[block], l[1]};
          std::memcpy(out + 4 * block, q, 4);
        }
      }
    }
    if (format == D3DFMT_YV12) {
      // V, then U, each a row of two at half the pitch.
      uint8_t* chroma = bits + 2 * locked.Pitch;
      chroma[0] = v[0], chroma[1] = v[1];
      chroma += locked.Pitch / 2;
      chroma[0] = u[0], chroma[1] = u[1];
    }
    frame->UnlockRect();
    if (format == D3DFMT_YV12) {
      RECT part{0, 0, 2, 2};
      EXPECT_EQ(frame->LockRect(&locked, &part, 0), D3DERR_INVALIDCALL);  // planes lock whole
    }
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
    RECT to{0, 0, 4, 2};
    ASSERT_EQ(device_->StretchRect(frame, nullptr, back, &to, D3DTEXF_NONE), D3D_OK);
    Pixels p = Read();
    for (int row = 0; row < 2; row++) {
      EXPECT_EQ(At(p, 1, row) & 0xFFFFFF, 0xFEFEFEu) << Hex(format) << " " << Hex(At(p, 1, row));
      EXPECT_EQ(At(p, 2, row) & 0xFFFFFF, 0x159DFFu) << Hex(format) << " " << Hex(At(p, 2, row));
    }
    frame->Release();
  }
  IDirect3DSurface9* odd = nullptr;
  EXPECT_EQ(device_->CreateOffscreenPlainSurface(4, 3, D3DFMT_YV12, D3DPOOL_DEFAULT, &odd, nullptr),
            D3DERR_INVALIDCALL);
  D3D9CapabilityScript script{};
  script.refused_video_surfaces[0] = D3DFMT_YV12;
  D3D9SetCapabilityScript(&script);
  EXPECT_EQ(d3d_->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_SURFACE,
                                    D3DFMT_YV12),
            D3DERR_NOTAVAILABLE);
  EXPECT_EQ(device_->CreateOffscreenPlainSurface(4, 2, D3DFMT_YV12, D3DPOOL_DEFAULT, &odd, nullptr),
            D3DERR_NOTAVAILABLE);
  EXPECT_EQ(odd, nullptr);
  D3D9SetCapabilityScript(nullptr);
  back->Release();
}

TEST_F(D3D9DeviceTest, PresentShowsTheSourceRectangleInTheDestinationRectangle) {
  device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0);
  Quad(0, 0, 32, 24, 0xFFFF0000u);
  Quad(32, 0, 64, 24, 0xFF00FF00u);
  RECT source{0, 0, 32, 24}, dest{0, 0, 64, 48};
  IDirect3DSwapChain9* chain = nullptr;
  ASSERT_EQ(device_->GetSwapChain(0, &chain), D3D_OK);
  ASSERT_EQ(chain->Present(&source, &dest, nullptr, nullptr, 0), D3D_OK);
  std::vector<uint32_t> shown(kWidth * kHeight);
  ASSERT_EQ(ReadWindowPixels(window_, shown.data(), kWidth, kHeight, kWidth * 4), 0);
  EXPECT_EQ(shown[0], 0xFF0000u);
  EXPECT_EQ(shown[47 * 64 + 63], 0xFF0000u);  // the red quarter fills the window
  ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  ASSERT_EQ(ReadWindowPixels(window_, shown.data(), kWidth, kHeight, kWidth * 4), 0);
  EXPECT_EQ(shown[10 * 64 + 40], 0x00FF00u);
  EXPECT_EQ(shown[30 * 64 + 40], 0u);
  D3D9SetFailures(D3D9_FAIL_PRESENT);
  EXPECT_EQ(chain->Present(nullptr, nullptr, nullptr, nullptr, 0), D3DERR_DEVICELOST);
  D3D9SetFailures(0);
  chain->Release();
}

TEST_F(D3D9DeviceTest, TransformedVerticesAreLitByADirectionalLight) {
  device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
  struct LitVertex {
    float x, y, z, nx, ny, nz;
  } v[6] = {{-1, 1, 0.5f, 0, 0, -1}, {1, 1, 0.5f, 0, 0, -1}, {-1, -1, 0.5f, 0, 0, -1},
            {1, -1, 0.5f, 0, 0, -1}, {-1, -1, 0.5f, 0, 0, -1}, {1, 1, 0.5f, 0, 0, -1}};
  D3DMATERIAL9 m{};
  m.Diffuse[0] = 1.0f, m.Diffuse[1] = 0.5f, m.Diffuse[2] = 0.25f, m.Diffuse[3] = 1.0f;
  device_->SetMaterial(&m);
  D3DLIGHT9 light{};
  light.Type = D3DLIGHT_DIRECTIONAL;
  light.Diffuse[0] = light.Diffuse[1] = light.Diffuse[2] = 1.0f;
  light.Direction[2] = 1.0f;  // towards +z, onto the quad's face
  device_->SetLight(0, &light);
  device_->LightEnable(0, TRUE);
  device_->SetRenderState(D3DRS_LIGHTING, TRUE);
  Stage(0, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_DIFFUSE);
  D3DVIEWPORT9 vp{16, 8, 32, 32, 0.0f, 1.0f};
  device_->SetViewport(&vp);
  device_->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, v, sizeof(LitVertex)), D3D_OK);
  Pixels p = Read();
  EXPECT_TRUE(Near(At(p, 16, 8) & 0xFFFFFF, 0xFF8040u, 1)) << Hex(At(p, 16, 8));
  EXPECT_TRUE(Near(At(p, 47, 39) & 0xFFFFFF, 0xFF8040u, 1));
  EXPECT_EQ(At(p, 15, 8) & 0xFFFFFF, 0u);
  EXPECT_EQ(At(p, 48, 39) & 0xFFFFFF, 0u);
}

TEST_F(D3D9DeviceTest, ReportsWhatGLOffersAndWhatTheScriptLeaves) {
  D3DCAPS9 caps;
  ASSERT_EQ(device_->GetDeviceCaps(&caps), D3D_OK);
  EXPECT_GE(caps.MaxTextureWidth, 2048u);
  EXPECT_TRUE(caps.PrimitiveMiscCaps & D3DPMISCCAPS_BLENDOP);
  EXPECT_EQ(caps.VertexShaderVersion & 0xFFFF, 0x200u);
  auto check = [&](DWORD usage, D3DFORMAT f) {
    return d3d_->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, usage, D3DRTYPE_TEXTURE, f);
  };
  for (D3DFORMAT f : {D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4, D3DFMT_X8R8G8B8,
                      D3DFMT_A8R8G8B8})
    EXPECT_EQ(check(0, f), D3D_OK) << f;
  EXPECT_EQ(check(D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8), D3D_OK);
  EXPECT_EQ(check(0, D3DFMT_DXT2), D3DERR_NOTAVAILABLE);  // GL has no premultiplied blocks
  EXPECT_EQ(check(0, D3DFMT_DXT1), check(0, D3DFMT_DXT5));
  EXPECT_EQ(d3d_->CheckDepthStencilMatch(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8,
                                         D3DFMT_D16),
            D3D_OK);
  D3D9CapabilityScript script{};
  script.desktop_format = D3DFMT_R5G6B5;
  script.no_blend_op = TRUE;
  script.max_texture_width = ~0u;
  script.refused_textures[0] = D3DFMT_A4R4G4B4;
  script.refused_render_targets[0] = D3DFMT_X8R8G8B8;
  script.refused_depths[0] = D3DFMT_D16;
  D3D9SetCapabilityScript(&script);
  EXPECT_EQ(check(0, D3DFMT_A4R4G4B4), D3DERR_NOTAVAILABLE);
  EXPECT_EQ(check(0, D3DFMT_A8R8G8B8), D3D_OK);
  EXPECT_EQ(check(D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8), D3DERR_NOTAVAILABLE);
  EXPECT_EQ(d3d_->CheckDepthStencilMatch(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8,
                                         D3DFMT_D16),
            D3DERR_NOTAVAILABLE);
  D3DDISPLAYMODE mode;
  d3d_->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode);
  EXPECT_EQ(mode.Format, D3DFMT_R5G6B5);
  device_->GetDeviceCaps(&caps);
  EXPECT_FALSE(caps.PrimitiveMiscCaps & D3DPMISCCAPS_BLENDOP);
  EXPECT_EQ(caps.MaxTextureWidth, 0u);
  D3D9SetCapabilityScript(nullptr);
}

TEST_F(D3D9DeviceTest, ShaderObjectsKeepTheirCodeButAreNeverSelected) {
  const DWORD vs[] = {D3DVS_VERSION(2, 0), 0x0002FFFEu, 0x41424344u, 0x45464748u, 0x0000FFFFu};
  const DWORD ps[] = {D3DPS_VERSION(2, 0), 0x0000FFFFu};
  const DWORD ps1[] = {D3DPS_VERSION(1, 4), 0x0000FFFFu};
  IDirect3DVertexShader9* vertex = nullptr;
  IDirect3DPixelShader9* pixel = nullptr;
  ASSERT_EQ(device_->CreateVertexShader(vs, &vertex), D3D_OK);
  ASSERT_EQ(device_->CreatePixelShader(ps, &pixel), D3D_OK);
  IDirect3DPixelShader9* refused = nullptr;
  EXPECT_EQ(device_->CreatePixelShader(ps1, &refused), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->CreatePixelShader(reinterpret_cast<const DWORD*>(vs), &refused), D3DERR_INVALIDCALL);
  EXPECT_EQ(refused, nullptr);
  EXPECT_EQ(device_->SetVertexShader(vertex), D3DERR_NOTAVAILABLE);
  EXPECT_EQ(device_->SetVertexShader(nullptr), D3D_OK);
  float c[4] = {0, 0.5f, 1, 2};
  EXPECT_EQ(device_->SetPixelShaderConstantF(0, c, 1), D3D_OK);
  EXPECT_EQ(device_->SetPixelShaderConstantF(32, c, 1), D3DERR_INVALIDCALL);
  D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
                                  D3DDECL_END()};
  IDirect3DVertexDeclaration9* declaration = nullptr;
  EXPECT_EQ(device_->CreateVertexDeclaration(elements, &declaration), D3D_OK);
  D3D9SetFailures(D3D9_FAIL_SHADER);
  IDirect3DVertexShader9* failed = nullptr;
  EXPECT_NE(device_->CreateVertexShader(vs, &failed), D3D_OK);
  D3D9SetFailures(0);
  declaration->Release();
  pixel->Release();
  vertex->Release();
}

TEST_F(D3D9DeviceTest, ResourcesHoldTheDeviceAndEveryFailureCanBeProvoked) {
  IDirect3DTexture9* texture = nullptr;
  ASSERT_EQ(device_->CreateTexture(8, 8, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
  EXPECT_EQ(texture->GetLevelCount(), 4u);  // 8, 4, 2, 1
  IDirect3DSurface9* level = nullptr;
  texture->GetSurfaceLevel(2, &level);
  D3DSURFACE_DESC desc;
  level->GetDesc(&desc);
  EXPECT_EQ(desc.Width, 2u);
  EXPECT_EQ(texture->Release(), 1u);  // the level's reference keeps it
  EXPECT_EQ(level->Release(), 0u);
  IDirect3DVertexBuffer9* vb = nullptr;
  ASSERT_EQ(device_->CreateVertexBuffer(64, D3DUSAGE_WRITEONLY, 0, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
  void* data = nullptr;
  EXPECT_EQ(vb->Lock(0, 0, &data, 0), D3D_OK);
  EXPECT_EQ(vb->Lock(0, 0, &data, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(vb->Unlock(), D3D_OK);
  EXPECT_EQ(device_->AddRef(), 3u);  // the fixture's, the buffer's and this one
  device_->Release();
  vb->Release();
  struct {
    uint32_t failure;
    HRESULT (*make)(IDirect3DDevice9*);
  } cases[] = {
      {D3D9_FAIL_TEXTURE,
       [](IDirect3DDevice9* d) {
         IDirect3DTexture9* t = nullptr;
         return d->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr);
       }},
      {D3D9_FAIL_RENDER_TARGET,
       [](IDirect3DDevice9* d) {
         IDirect3DSurface9* s = nullptr;
         return d->CreateRenderTarget(8, 8, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &s, nullptr);
       }},
      {D3D9_FAIL_DEPTH_SURFACE,
       [](IDirect3DDevice9* d) {
         IDirect3DSurface9* s = nullptr;
         return d->CreateDepthStencilSurface(8, 8, D3DFMT_D16, D3DMULTISAMPLE_NONE, 0, TRUE, &s, nullptr);
       }},
      {D3D9_FAIL_SYSTEM_SURFACE,
       [](IDirect3DDevice9* d) {
         IDirect3DSurface9* s = nullptr;
         return d->CreateOffscreenPlainSurface(8, 8, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &s, nullptr);
       }},
  };
  for (auto& c : cases) {
    D3D9SetFailures(c.failure);
    EXPECT_EQ(c.make(device_), D3DERR_OUTOFVIDEOMEMORY) << c.failure;
  }
  D3D9SetFailures(D3D9_FAIL_DEVICE_ALL);
  EXPECT_EQ(MakeDevice(16, 16, D3DFMT_X8R8G8B8), nullptr);
  D3D9SetFailures(0);
}

TEST_F(D3D9DeviceTest, ADepthBufferKeepsTheNearerPixel) {
  IDirect3DSurface9* depth = nullptr;
  ASSERT_EQ(device_->CreateDepthStencilSurface(64, 64, D3DFMT_D16, D3DMULTISAMPLE_NONE, 0, TRUE, &depth, nullptr),
            D3D_OK);
  ASSERT_EQ(device_->SetDepthStencilSurface(depth), D3D_OK);
  device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
  device_->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
  device_->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
  device_->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
  ColourVertex near_quad[6] = {{-0.5f, -0.5f, 0.2f, 1, 0xFFFF0000u}, {9.5f, -0.5f, 0.2f, 1, 0},
                               {-0.5f, 9.5f, 0.2f, 1, 0},            {9.5f, 9.5f, 0.2f, 1, 0xFFFF0000u},
                               {-0.5f, 9.5f, 0.2f, 1, 0},            {9.5f, -0.5f, 0.2f, 1, 0}};
  ColourVertex far_quad[6];
  for (int i = 0; i < 6; i++) far_quad[i] = near_quad[i], far_quad[i].z = 0.8f, far_quad[i].colour = 0xFF00FF00u;
  device_->SetFVF(kColourFvf);
  device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, near_quad, sizeof(ColourVertex));
  device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, far_quad, sizeof(ColourVertex));
  EXPECT_EQ(Read()[5 * 64 + 5] & 0xFFFFFF, 0xFF0000u);
  // A depth clear of a buffer nothing has written since the last one is
  // not made again; one after a draw that wrote depth is.
  auto passes = [] { return D3D9GetDrawCounts().full_screen_passes; };
  long before = passes();
  device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
  device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
  EXPECT_EQ(passes() - before, 1);
  device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, near_quad, sizeof(ColourVertex));
  device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
  device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, far_quad, sizeof(ColourVertex));
  EXPECT_EQ(Read()[5 * 64 + 5] & 0xFFFFFF, 0x00FF00u);
  device_->SetDepthStencilSurface(nullptr);
  depth->Release();
}

}  // namespace
