// Component creation of the multimedia streams: the classes live in the
// streams module (dshow_module.h), loaded the first time one is asked for
// and kept for the rest of the run. Beside it: code-page text to UTF-16,
// what the module borrows of the program, and the controls tests set.
#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/d3d9/ddraw_surface.h"
#include "platform/dshow/dshow_module.h"
#include "platform/win32/cp932.h"
#include "platform/win32/path.h"

namespace {

// ---- controls ----------------------------------------------------------------------------

std::atomic<HRESULT> g_failures[DSHOW_CALL_KIND_COUNT];
std::atomic<int64_t (*)()> g_clock{nullptr};
std::atomic<int> g_audio_renderer{1};
std::atomic<int> g_streams{0};
std::atomic<uint64_t> g_sound_feeds{0};

HRESULT Injected(DshowCall call) { return g_failures[call].load(); }

int64_t Now() {
  if (auto clock = g_clock.load()) return clock();
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
             .count() /
         100;
}

// ---- what the module borrows ----------------------------------------------------------------

bool Utf16ToUtf8(const WCHAR* text, std::string* out) {
  out->clear();
  for (size_t i = 0; text[i]; i++) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00) {
      uint32_t low = text[i + 1];
      if (low < 0xDC00 || low >= 0xE000) return false;
      c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
      i++;
    } else if (c >= 0xDC00 && c < 0xE000) {
      return false;
    }
    if (c < 0x80) {
      out->push_back(char(c));
    } else if (c < 0x800) {
      out->push_back(char(0xC0 | c >> 6));
      out->push_back(char(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out->push_back(char(0xE0 | c >> 12));
      out->push_back(char(0x80 | ((c >> 6) & 0x3F)));
      out->push_back(char(0x80 | (c & 0x3F)));
    } else {
      out->push_back(char(0xF0 | c >> 18));
      out->push_back(char(0x80 | ((c >> 12) & 0x3F)));
      out->push_back(char(0x80 | ((c >> 6) & 0x3F)));
      out->push_back(char(0x80 | (c & 0x3F)));
    }
  }
  return true;
}


bool HostPath(const WCHAR* path, char* out, size_t size) {
  std::string utf8, cp932, host;
  if (!Utf16ToUtf8(path, &utf8) || !vox_win32::Utf8ToCp932(utf8, &cp932) ||
      !vox_win32::MapWindowsPath(cp932, &host) || host.size() >= size)
    return false;
  std::memcpy(out, host.c_str(), host.size() + 1);
  return true;
}

const DshowHost kHost = {
    sizeof(DshowHost),
    Injected,
    Now,
    [] { return g_audio_renderer.load(); },
    [](int delta) { g_streams += delta; },
    [] { g_sound_feeds++; },
    SetEvent,
    CreateDirectSoundInstance,
    HostPath,
    &IID_IDirectDraw,
    &IID_IDirectDraw4,
    &IID_IDirectDrawSurface4,
};

// ---- the module ---------------------------------------------------------------------------------

std::mutex g_module_lock;
std::atomic<const DshowModule*> g_module{nullptr};
std::string g_module_name;  // set by a test; empty: the usual places

// The module by name as the platform looks for it (the program's folder,
// the current folder, the system's library path), then in the build's run
// folder, where the tests and benchmarks built beside the program find it.
const DshowModule* StreamsModule() {
  std::lock_guard<std::mutex> lock(g_module_lock);
  if (const DshowModule* loaded = g_module.load()) return loaded;
  std::vector<std::string> names{DSHOW_MODULE_NAME, VOX_DSHOW_MODULE_BUILD_PATH};
  if (!g_module_name.empty()) names = {g_module_name};
  for (const std::string& name : names) {
    HMODULE module = LoadLibraryA(name.c_str());
    if (!module) continue;
    auto attach = reinterpret_cast<DshowModuleAttachFn>(GetProcAddress(module, DSHOW_MODULE_ATTACH));
    if (const DshowModule* offered = attach ? attach(&kHost) : nullptr) {
      g_module.store(offered);
      return offered;
    }
    FreeLibrary(module);
  }
  return nullptr;
}

}  // namespace

// ---- component creation -----------------------------------------------------------------------

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  if (clsid == CLSID_FilterGraph) {
    if (HRESULT hr = Injected(DSHOW_CALL_CREATE_GRAPH)) return hr;
  } else if (clsid == CLSID_AMMultiMediaStream) {
    if (HRESULT hr = Injected(DSHOW_CALL_CREATE_STREAM)) return hr;
  } else {
    return REGDB_E_CLASSNOTREG;
  }
  // A module that cannot be loaded leaves its classes unregistered.
  const DshowModule* module = StreamsModule();
  IUnknown* object = module ? module->create(clsid) : nullptr;
  if (!object) return REGDB_E_CLASSNOTREG;
  HRESULT hr = object->QueryInterface(iid, out);
  object->Release();
  return hr;
}

int MultiByteToWideChar(UINT code_page, DWORD, LPCSTR text, int length, WCHAR* out, int out_count) {
  if (code_page != CP_ACP || !text || out_count < 0) return 0;
  std::string_view in = length < 0 ? std::string_view(text, std::strlen(text) + 1) : std::string_view(text, size_t(length));
  std::string utf8;
  if (!vox_win32::Cp932ToUtf8(in, &utf8)) return 0;
  std::u16string wide;
  for (size_t i = 0; i < utf8.size();) {
    uint8_t c = uint8_t(utf8[i]);
    int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
    uint32_t cp = extra == 0 ? c : extra == 1 ? c & 0x1F : extra == 2 ? c & 0x0F : c & 0x07;
    if (i + extra >= utf8.size() + (extra ? 0 : 1)) return 0;
    for (int k = 1; k <= extra; k++) cp = cp << 6 | (uint8_t(utf8[i + k]) & 0x3F);
    i += size_t(extra) + 1;
    if (cp >= 0x10000) {
      wide.push_back(char16_t(0xD800 + ((cp - 0x10000) >> 10)));
      wide.push_back(char16_t(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      wide.push_back(char16_t(cp));
    }
  }
  if (out_count == 0) return int(wide.size());
  if (int(wide.size()) > out_count) return 0;
  std::memcpy(out, wide.data(), wide.size() * sizeof(WCHAR));
  return int(wide.size());
}

int MultiMediaStreamCount() { return g_streams.load(); }

int DshowStreamSettled(IAMMultiMediaStream* stream) {
  const DshowModule* module = g_module.load();
  return module ? module->settled(stream) : 1;
}
uint64_t DshowSoundFeeds() { return g_sound_feeds.load(); }

void DshowFailCall(DshowCall call, HRESULT result) { g_failures[call].store(result); }
void DshowClearFailures() {
  for (auto& f : g_failures) f.store(S_OK);
}
void DshowSetClock(int64_t (*now)()) { g_clock.store(now); }
void DshowSetAudioRenderer(int on) { g_audio_renderer.store(on); }
void DshowSetModuleName(const char* name) {
  std::lock_guard<std::mutex> lock(g_module_lock);
  g_module_name = name ? name : "";
}
