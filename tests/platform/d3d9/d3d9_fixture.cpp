#include "tests/platform/d3d9/d3d9_fixture.h"

#include <cstdio>
#include <cstdlib>

#include "tests/support/gl_window.h"

namespace {

// The device tests need OpenGL.
struct OffscreenVideo {
  OffscreenVideo() { UseOffscreenGLVideo(); }
} g_offscreen_video;

}  // namespace

bool Near(uint32_t a, uint32_t b, int tolerance) {
  for (int shift = 0; shift < 32; shift += 8) {
    int d = (int)((a >> shift) & 255) - (int)((b >> shift) & 255);
    if (d < -tolerance || d > tolerance) return false;
  }
  return true;
}

std::string Hex(uint32_t v) {
  char text[16];
  snprintf(text, sizeof text, "%08X", v);
  return text;
}

void D3D9DeviceTest::SetUp() {
  D3D9SetFailures(0);
  D3D9SetCapabilityScript(nullptr);
  class_name_ = std::string("VoxD3D9Test-") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
  window_ = OpenGLWindow(class_name_, kWidth, kHeight);
  ASSERT_NE(window_, nullptr);
  ASSERT_TRUE(IsWindowGLCapable(window_)) << "these tests need SDL's offscreen driver with OpenGL";
  d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
  ASSERT_NE(d3d_, nullptr);
  device_ = MakeDevice(kWidth, kHeight, D3DFMT_X8R8G8B8);
  ASSERT_NE(device_, nullptr);
  device_->SetRenderState(D3DRS_LIGHTING, FALSE);
  device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  device_->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
}

void D3D9DeviceTest::TearDown() {
  if (device_) {
    EXPECT_EQ(device_->Release(), 0u) << "a resource still holds the device";
  }
  if (d3d_) {
    EXPECT_EQ(d3d_->Release(), 0u);
  }
  EXPECT_EQ(Direct3DLiveObjectCount(), 0);
  D3D9SetFailures(0);
  D3D9SetCapabilityScript(nullptr);
  CloseGLWindow(window_, class_name_);
}

IDirect3DDevice9* D3D9DeviceTest::MakeDevice(UINT width, UINT height, D3DFORMAT format) {
  D3DPRESENT_PARAMETERS p{};
  p.BackBufferWidth = width;
  p.BackBufferHeight = height;
  p.BackBufferFormat = format;
  p.BackBufferCount = 1;
  p.SwapEffect = D3DSWAPEFFECT_COPY;
  p.hDeviceWindow = window_;
  p.Windowed = TRUE;
  p.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
  p.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
  IDirect3DDevice9* device = nullptr;
  if (d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window_, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p,
                         &device) != D3D_OK)
    return nullptr;
  return device;
}

std::vector<uint32_t> D3D9DeviceTest::Read(IDirect3DSurface9* surface) {
  IDirect3DSurface9* source = surface;
  if (!source) device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &source);
  D3DSURFACE_DESC desc;
  source->GetDesc(&desc);
  IDirect3DSurface9* copy = nullptr;
  std::vector<uint32_t> pixels;
  if (device_->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM, &copy, nullptr) ==
          D3D_OK &&
      device_->GetRenderTargetData(source, copy) == D3D_OK) {
    D3DLOCKED_RECT locked;
    copy->LockRect(&locked, nullptr, D3DLOCK_READONLY);
    pixels.resize((size_t)desc.Width * desc.Height);
    for (UINT y = 0; y < desc.Height; y++) {
      const uint8_t* row = static_cast<const uint8_t*>(locked.pBits) + (size_t)y * locked.Pitch;
      for (UINT x = 0; x < desc.Width; x++) {
        uint32_t p = 0;
        if (desc.Format == D3DFMT_R5G6B5) {
          uint16_t v;
          std::memcpy(&v, row + x * 2, 2);
          p = 0xFF000000u | ((v >> 11) * 255 / 31) << 16 | (((v >> 5) & 63) * 255 / 63) << 8 | ((v & 31) * 255 / 31);
        } else {
          std::memcpy(&p, row + x * 4, 4);
        }
        pixels[(size_t)y * desc.Width + x] = p;
      }
    }
    copy->UnlockRect();
  }
  if (copy) copy->Release();
  if (!surface) source->Release();
  return pixels;
}

void D3D9DeviceTest::Quad(float x1, float y1, float x2, float y2, D3DCOLOR colour, D3DCOLOR others) {
  x1 -= 0.5f, y1 -= 0.5f, x2 -= 0.5f, y2 -= 0.5f;
  ColourVertex v[6] = {{x1, y1, 0, 1, colour}, {x2, y1, 0, 1, others}, {x1, y2, 0, 1, others},
                       {x2, y2, 0, 1, colour}, {x1, y2, 0, 1, others}, {x2, y1, 0, 1, others}};
  device_->SetFVF(kColourFvf);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, v, sizeof(ColourVertex)), D3D_OK);
}

void D3D9DeviceTest::TexturedQuad(float x1, float y1, float x2, float y2, D3DCOLOR colour, float u1, float v1,
                                  float u2, float v2) {
  x1 -= 0.5f, y1 -= 0.5f, x2 -= 0.5f, y2 -= 0.5f;
  TexturedVertex v[6] = {{x1, y1, 0, 1, colour, u1, v1}, {x2, y1, 0, 1, 0, u2, v1}, {x1, y2, 0, 1, 0, u1, v2},
                         {x2, y2, 0, 1, colour, u2, v2}, {x1, y2, 0, 1, 0, u1, v2}, {x2, y1, 0, 1, 0, u2, v1}};
  device_->SetFVF(kTexturedFvf);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, v, sizeof(TexturedVertex)), D3D_OK);
}

IDirect3DTexture9* D3D9DeviceTest::MakeTexture(int width, int height, D3DFORMAT format,
                                               const std::vector<uint32_t>& argb) {
  IDirect3DTexture9* texture = nullptr;
  if (device_->CreateTexture(width, height, 1, 0, format, D3DPOOL_MANAGED, &texture, nullptr) != D3D_OK) return nullptr;
  D3DLOCKED_RECT locked;
  texture->LockRect(0, &locked, nullptr, 0);
  for (int y = 0; y < height; y++) {
    uint8_t* row = static_cast<uint8_t*>(locked.pBits) + (size_t)y * locked.Pitch;
    for (int x = 0; x < width; x++) {
      uint32_t c = argb[(size_t)y * width + x];
      uint32_t a = c >> 24, r = (c >> 16) & 255, g = (c >> 8) & 255, b = c & 255;
      switch (format) {
        case D3DFMT_R5G6B5: {
          uint16_t v = (uint16_t)((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
          std::memcpy(row + x * 2, &v, 2);
          break;
        }
        case D3DFMT_A1R5G5B5:
        case D3DFMT_X1R5G5B5: {
          uint16_t v = (uint16_t)((a >= 128 ? 0x8000 : 0) | (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3));
          std::memcpy(row + x * 2, &v, 2);
          break;
        }
        case D3DFMT_A4R4G4B4: {
          uint16_t v = (uint16_t)((a >> 4) << 12 | (r >> 4) << 8 | (g >> 4) << 4 | (b >> 4));
          std::memcpy(row + x * 2, &v, 2);
          break;
        }
        default: std::memcpy(row + x * 4, &c, 4); break;
      }
    }
  }
  texture->UnlockRect(0);
  return texture;
}

void D3D9DeviceTest::Stage(DWORD stage, DWORD colour_op, DWORD colour1, DWORD colour2, DWORD alpha_op, DWORD alpha1,
                           DWORD alpha2) {
  device_->SetTextureStageState(stage, D3DTSS_COLOROP, colour_op);
  device_->SetTextureStageState(stage, D3DTSS_COLORARG1, colour1);
  device_->SetTextureStageState(stage, D3DTSS_COLORARG2, colour2);
  device_->SetTextureStageState(stage, D3DTSS_ALPHAOP, alpha_op);
  device_->SetTextureStageState(stage, D3DTSS_ALPHAARG1, alpha1);
  device_->SetTextureStageState(stage, D3DTSS_ALPHAARG2, alpha2);
}
