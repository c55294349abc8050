// The "d3d9" module: loading it by name, its one export, the DirectDraw
// object, the switch that takes hardware acceleration away, the failures
// tests provoke and the capability script.
#include <strings.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "platform/d3d9/d3d9_internal.h"

namespace vox_d3d9 {

std::atomic<int> g_live_objects{0};
D3D9DrawCounts g_draw_counts{};
namespace {
std::atomic<uint32_t> g_failures{0};
bool g_has_script = false;
D3D9CapabilityScript g_script{};
}  // namespace

bool Fails(uint32_t what) { return (g_failures.load() & what) != 0; }
int HardwareSetting() {
  const char* v = getenv("VOX_HARDWARE");
  if (!v) return -1;
  return std::strcmp(v, "0") == 0 ? 0 : std::strcmp(v, "1") == 0 ? 1 : -1;
}
const D3D9CapabilityScript* Script() { return g_has_script ? &g_script : nullptr; }
bool ScriptRefuses(const D3DFORMAT* list, int count, D3DFORMAT format) {
  for (int i = 0; i < count && list[i]; i++)
    if (list[i] == format) return true;
  return false;
}

}  // namespace vox_d3d9

using vox_d3d9::Fails;

namespace {

std::atomic<int> g_module_refs{0};
std::atomic<int> g_directdraw_objects{0};

// The module handle names this record; it is never dereferenced by callers.
struct D3D9ModuleRecord {
  uint32_t tag;
};
D3D9ModuleRecord g_module{0x44334439u};

class DirectDraw final : public ComObject<IDirectDraw7> {
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

 private:
  ~DirectDraw() override { g_directdraw_objects--; }
  bool initialised_ = false;
  DWORD level_ = 0;
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
  return new vox_d3d9::Direct3D();
}

int Direct3DLiveObjectCount() { return vox_d3d9::g_live_objects.load(); }
D3D9DrawCounts D3D9GetDrawCounts() { return vox_d3d9::g_draw_counts; }

int D3D9HardwareAllowed() { return vox_d3d9::HardwareSetting() == 0 ? 0 : 1; }

int D3D9HardwareRequired() { return vox_d3d9::HardwareSetting() == 1 && !IsWindowSystemHeadless() ? 1 : 0; }

HRESULT CreateDirectDraw7Object(IDirectDraw7** out) {
  if (!out) return DDERR_INVALIDPARAMS;
  *out = nullptr;
  if (Fails(D3D9_FAIL_CREATE_DIRECTDRAW)) return E_NOINTERFACE;
  *out = new DirectDraw();
  return DD_OK;
}

int DirectDrawObjectCount() { return g_directdraw_objects.load(); }

void D3D9SetFailures(uint32_t failures) { vox_d3d9::g_failures.store(failures); }

void D3D9SetCapabilityScript(const D3D9CapabilityScript* script) {
  vox_d3d9::g_has_script = script != nullptr;
  vox_d3d9::g_script = script ? *script : D3D9CapabilityScript{};
}
