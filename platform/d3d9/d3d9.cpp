// The "d3d9" module, its DirectDraw object and its Direct3D object.
#include "platform/d3d9/d3d9.h"

#include <strings.h>

#include <atomic>
#include <cstring>

namespace {

std::atomic<uint32_t> g_failures{0};
std::atomic<int> g_module_refs{0};
std::atomic<int> g_directdraw_objects{0};

// The module handle names this record; it is never dereferenced by callers.
struct D3D9ModuleRecord {
  uint32_t tag;
};
D3D9ModuleRecord g_module{0x44334439u};

bool Fails(uint32_t what) { return (g_failures.load() & what) != 0; }

class DirectDraw final : public IDirectDraw7 {
 public:
  DirectDraw() { g_directdraw_objects++; }
  HRESULT Initialize(void*) override {
    if (Fails(D3D9_FAIL_INIT_DIRECTDRAW)) return DDERR_GENERIC;
    initialised_ = true;
    return DD_OK;
  }
  HRESULT SetCooperativeLevel(void*, DWORD flags) override {
    if (!initialised_) return DDERR_GENERIC;
    level_ = flags;
    return DD_OK;
  }
  HRESULT WaitForVerticalBlank(DWORD flags, HANDLE) override {
    if (flags != DDWAITVB_BLOCKBEGIN) return DDERR_INVALIDPARAMS;
    return DD_OK;
  }
  HRESULT GetVerticalBlankStatus(BOOL* in_blank) override {
    if (!in_blank) return DDERR_INVALIDPARAMS;
    *in_blank = TRUE;  // the beam never holds anyone up here
    return DD_OK;
  }
  uint32_t Release() override {
    uint32_t left = --refs_;
    if (left == 0) delete this;
    return left;
  }

 private:
  ~DirectDraw() override { g_directdraw_objects--; }
  uint32_t refs_ = 1;
  bool initialised_ = false;
  DWORD level_ = 0;
};

class Direct3D final : public IDirect3D9 {
 public:
  HRESULT CreateDevice(UINT, UINT, void*, DWORD, D3DPRESENT_PARAMETERS*, IDirect3DDevice9** device_out) override {
    if (device_out) *device_out = nullptr;
    return D3DERR_NOTAVAILABLE;  // no hardware acceleration on this machine
  }
  uint32_t Release() override {
    uint32_t left = --refs_;
    if (left == 0) delete this;
    return left;
  }

 private:
  ~Direct3D() override = default;
  uint32_t refs_ = 1;
};

bool IsModuleName(LPCSTR name) {
  if (!name) return false;
  const char* leaf = name;
  for (const char* p = name; *p; p++)
    if (*p == '\\' || *p == '/') leaf = p + 1;
  return strcasecmp(leaf, "d3d9.dll") == 0 || strcasecmp(leaf, "d3d9") == 0;
}

}  // namespace

HMODULE D3D9LoadLibrary(LPCSTR name) {
  if (!IsModuleName(name) || Fails(D3D9_FAIL_LOAD_MODULE)) return nullptr;
  g_module_refs++;
  return &g_module;
}

FARPROC D3D9GetProcAddress(HMODULE module, LPCSTR name) {
  if (module != &g_module || g_module_refs.load() <= 0 || !name) return nullptr;
  if (std::strcmp(name, "Direct3DCreate9") == 0) return reinterpret_cast<FARPROC>(&Direct3DCreate9);
  return nullptr;
}

BOOL D3D9FreeLibrary(HMODULE module) {
  if (module != &g_module || g_module_refs.load() <= 0) return FALSE;
  g_module_refs--;
  return TRUE;
}

int D3D9ModuleReferenceCount() { return g_module_refs.load(); }

IDirect3D9* Direct3DCreate9(UINT sdk_version) {
  if (sdk_version != D3D_SDK_VERSION || Fails(D3D9_FAIL_CREATE_DIRECT3D)) return nullptr;
  return new Direct3D();
}

HRESULT CreateDirectDraw7Object(IDirectDraw7** out) {
  if (!out) return DDERR_INVALIDPARAMS;
  *out = nullptr;
  if (Fails(D3D9_FAIL_CREATE_DIRECTDRAW)) return E_NOINTERFACE;
  *out = new DirectDraw();
  return DD_OK;
}

int DirectDrawObjectCount() { return g_directdraw_objects.load(); }

void D3D9SetFailures(uint32_t failures) { g_failures.store(failures); }
