// A window with an OpenGL-backed Direct3D device for the stand-in's tests,
// and helpers that draw pre-transformed vertices and read pixels back.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/d3d9_control.h"
#include "tests/support/gl_window.h"

struct ColourVertex {  // D3DFVF_XYZRHW | D3DFVF_DIFFUSE
  float x, y, z, rhw;
  D3DCOLOR colour;
};
struct TexturedVertex {  // D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1
  float x, y, z, rhw;
  D3DCOLOR colour;
  float u, v;
};
constexpr DWORD kColourFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;
constexpr DWORD kTexturedFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

class D3D9DeviceTest : public ::testing::Test {
 protected:
  static constexpr int kWidth = 64, kHeight = 48;

  void SetUp() override;
  void TearDown() override;

  // A device of the given back-buffer size on the window (the fixture's own
  // device is 64 x 48, X8R8G8B8, windowed).
  IDirect3DDevice9* MakeDevice(UINT width, UINT height, D3DFORMAT format);
  // Every pixel of a render target as 0xAARRGGBB (through the read-back of
  // a system-memory surface); the back buffer when surface is null.
  std::vector<uint32_t> Read(IDirect3DSurface9* surface = nullptr);
  uint32_t At(const std::vector<uint32_t>& pixels, int x, int y, int width = kWidth) {
    return pixels[(size_t)y * width + x];
  }
  // A quad of two triangles covering pixels [x1, x2) x [y1, y2) with the
  // engine's half-pixel shift; the colour goes into vertices 0 and 3 only.
  void Quad(float x1, float y1, float x2, float y2, D3DCOLOR colour, D3DCOLOR others = 0x12345678u);
  void TexturedQuad(float x1, float y1, float x2, float y2, D3DCOLOR colour, float u1 = 0, float v1 = 0, float u2 = 1,
                    float v2 = 1);
  // A managed texture of that format filled from 32-bit ARGB pixels.
  IDirect3DTexture9* MakeTexture(int width, int height, D3DFORMAT format, const std::vector<uint32_t>& argb);
  // One stage over the texture (or none): colour op / args and alpha op / args.
  void Stage(DWORD stage, DWORD colour_op, DWORD colour1, DWORD colour2, DWORD alpha_op, DWORD alpha1,
             DWORD alpha2);

  ScopedHardwareSetting device_path_{"1"};  // the device on Mesa's OpenGL too
  HWND window_ = nullptr;
  IDirect3D9* d3d_ = nullptr;
  IDirect3DDevice9* device_ = nullptr;
  std::string class_name_;
};

// True when each channel of a and b differs by at most `tolerance`.
bool Near(uint32_t a, uint32_t b, int tolerance = 1);
std::string Hex(uint32_t v);
