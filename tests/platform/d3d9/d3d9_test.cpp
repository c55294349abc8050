// The "d3d9" module stand-in: loading by name, its one export, the
// DirectDraw object's calls, and the Direct3D object's answers where no
// hardware may be used.
#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/d3d9_control.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/support/gl_window.h"

namespace {

TEST(D3D9Module, LoadsByItsNameOnlyAndCountsReferences) {
  for (const char* name : {"d3d9.dll", "D3D9.DLL", "d3d9", "C:\\Windows\\System32\\d3d9.dll"}) {
    HMODULE m = D3D9LoadLibrary(name);
    ASSERT_NE(m, nullptr) << name;
    EXPECT_EQ(D3D9ModuleReferenceCount(), 1);
    EXPECT_EQ(D3D9FreeLibrary(m), TRUE);
  }
  for (const char* name : {"d3d8.dll", "d3d9.dll.bak", "", "xd3d9.dll"}) EXPECT_EQ(D3D9LoadLibrary(name), nullptr) << name;
  EXPECT_EQ(D3D9LoadLibrary(nullptr), nullptr);
  EXPECT_EQ(D3D9ModuleReferenceCount(), 0);
  HMODULE m = D3D9LoadLibrary("d3d9.dll");
  EXPECT_NE(D3D9GetProcAddress(m, "Direct3DCreate9"), nullptr);
  EXPECT_EQ(D3D9GetProcAddress(m, "Direct3DCreate9Ex"), nullptr);
  EXPECT_EQ(D3D9GetProcAddress(nullptr, "Direct3DCreate9"), nullptr);
  EXPECT_EQ(D3D9FreeLibrary(m), TRUE);
  EXPECT_EQ(D3D9FreeLibrary(m), FALSE);  // already gone
  EXPECT_EQ(D3D9GetProcAddress(m, "Direct3DCreate9"), nullptr);
}

TEST(D3D9Module, WithHardwareSwitchedOffNoDeviceIsMade) {
  ScopedHardwareSetting off("0");
  EXPECT_EQ(D3D9HardwareAllowed(), 0);
  EXPECT_EQ(Direct3DCreate9(31), nullptr);
  IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
  ASSERT_NE(d3d, nullptr);
  D3DCAPS9 caps;
  EXPECT_EQ(d3d->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &caps), D3DERR_NOTAVAILABLE);
  EXPECT_EQ(d3d->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE,
                                   D3DFMT_A8R8G8B8),
            D3DERR_NOTAVAILABLE);
  D3DDISPLAYMODE mode;
  EXPECT_EQ(d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode), D3D_OK);  // the desktop is still there
  D3DPRESENT_PARAMETERS p{};
  p.BackBufferWidth = 64;
  p.BackBufferHeight = 48;
  IDirect3DDevice9* device = reinterpret_cast<IDirect3DDevice9*>(1);
  EXPECT_EQ(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr, D3DCREATE_MIXED_VERTEXPROCESSING, &p,
                              &device),
            D3DERR_NOTAVAILABLE);
  EXPECT_EQ(device, nullptr);
  EXPECT_EQ(d3d->Release(), 0u);
  EXPECT_EQ(Direct3DLiveObjectCount(), 0);
  EXPECT_EQ(D3D9HardwareRequired(), 0);
  ScopedHardwareSetting::Set("1");
  EXPECT_EQ(D3D9HardwareAllowed(), 1);
  EXPECT_EQ(D3D9HardwareRequired(), 1);  // the offscreen driver is a display
  ScopedHardwareSetting::Set(nullptr);
  EXPECT_EQ(D3D9HardwareAllowed(), 1);  // the device where OpenGL is a graphics device
  EXPECT_EQ(D3D9HardwareRequired(), 0);
}

TEST(D3D9Module, DirectDrawNeedsInitialisingAndNeverHoldsUpTheFrame) {
  IDirectDraw7* dd = nullptr;
  ASSERT_EQ(CreateDirectDraw7Object(&dd), DD_OK);
  EXPECT_EQ(DirectDrawObjectCount(), 1);
  EXPECT_NE(dd->SetCooperativeLevel(nullptr, DDSCL_NORMAL), DD_OK);
  EXPECT_EQ(dd->Initialize(nullptr), DD_OK);
  EXPECT_EQ(dd->SetCooperativeLevel(nullptr, DDSCL_NORMAL), DD_OK);
  EXPECT_EQ(dd->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr), DD_OK);
  EXPECT_EQ(dd->WaitForVerticalBlank(0x99, nullptr), DDERR_INVALIDPARAMS);
  BOOL in_blank = FALSE;
  EXPECT_EQ(dd->GetVerticalBlankStatus(&in_blank), DD_OK);
  EXPECT_EQ(in_blank, TRUE);
  EXPECT_EQ(dd->GetVerticalBlankStatus(nullptr), DDERR_INVALIDPARAMS);
  EXPECT_EQ(dd->AddRef(), 2u);
  EXPECT_EQ(dd->Release(), 1u);
  EXPECT_EQ(dd->Release(), 0u);
  EXPECT_EQ(DirectDrawObjectCount(), 0);
  EXPECT_EQ(CreateDirectDraw7Object(nullptr), DDERR_INVALIDPARAMS);
}

TEST(D3D9Module, EveryFailureCanBeProvoked) {
  D3D9SetFailures(D3D9_FAIL_LOAD_MODULE | D3D9_FAIL_CREATE_DIRECTDRAW | D3D9_FAIL_CREATE_DIRECT3D);
  EXPECT_EQ(D3D9LoadLibrary("d3d9.dll"), nullptr);
  IDirectDraw7* dd = reinterpret_cast<IDirectDraw7*>(1);
  EXPECT_NE(CreateDirectDraw7Object(&dd), DD_OK);
  EXPECT_EQ(dd, nullptr);
  EXPECT_EQ(Direct3DCreate9(D3D_SDK_VERSION), nullptr);
  D3D9SetFailures(D3D9_FAIL_INIT_DIRECTDRAW);
  ASSERT_EQ(CreateDirectDraw7Object(&dd), DD_OK);
  EXPECT_NE(dd->Initialize(nullptr), DD_OK);
  dd->Release();
  D3D9SetFailures(D3D9_FAIL_NONE);
}

}  // namespace
