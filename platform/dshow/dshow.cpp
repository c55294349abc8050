// The multimedia-stream stand-in's class and interface ids, component
// creation, code-page text to UTF-16, and the controls tests set.
#include <atomic>
#include <cstring>
#include <string>

#include "platform/dshow/dshow_internal.h"
#include "platform/win32/cp932.h"

const CLSID CLSID_FilterGraph = {0x5a3f0001, 0x2c1d, 0x4e6b, {0x8d, 0x21, 0x66, 0x67, 0x72, 0x61, 0x70, 0x68}};
const CLSID CLSID_AMMultiMediaStream = {0x5a3f0002, 0x2c1d, 0x4e6b, {0x8d, 0x21, 0x6d, 0x6d, 0x73, 0x74, 0x72, 0x6d}};
const IID IID_IUnknown = {0x5a3f1000, 0x2c1d, 0x4e6b, {0x8d, 0x21, 0x75, 0x6e, 0x6b, 0x6e, 0x6f, 0x77}};
const IID IID_IGraphBuilder = {0x5a3f1001, 0x2c1d, 0x4e6b, {0x8d, 0x21, 0x67, 0x62, 0x75, 0x69, 0x6c, 0x64}};
const IID IID_IMediaControl = {0x5a3f1002, 0x2c1d, 0x4e6b, {0x8d, 0x21, 0x6d, 0x63, 0x74, 0x72, 0x6c, 0x00}};
const IID IID_IMediaSeeking = {0x5a3f1003, 0x2c1d, 0x4e6b, {0x8d, 0x21, 0x6d, 0x73, 0x65, 0x65, 0x6b, 0x00}};
const IID IID_IBasicAudio = {0x5a3f1004, 0x2c1d, 0x4e6b, {0x8d, 0x21, 0x62, 0x61, 0x75, 0x64, 0x69, 0x6f}};
const IID IID_IMultiMediaStream = {0x5a3f1005, 0x2c1d, 0x4e6b, {0x8d, 0x21, 0x6d, 0x6d, 0x73, 0x00, 0x00, 0x01}};
const IID IID_IAMMultiMediaStream = {0x5a3f1006, 0x2c1d, 0x4e6b, {0x8d, 0x21, 0x6d, 0x6d, 0x73, 0x00, 0x00, 0x02}};
const IID IID_IMediaStream = {0x5a3f1007, 0x2c1d, 0x4e6b, {0x8d, 0x21, 0x6d, 0x73, 0x74, 0x00, 0x00, 0x01}};
const IID IID_IAMMediaStream = {0x5a3f1008, 0x2c1d, 0x4e6b, {0x8d, 0x21, 0x6d, 0x73, 0x74, 0x00, 0x00, 0x02}};
const IID IID_IDirectDrawMediaStream = {0x5a3f1009, 0x2c1d, 0x4e6b, {0x8d, 0x21, 0x6d, 0x73, 0x74, 0x00, 0x00, 0x03}};
const IID IID_IDirectDrawStreamSample = {0x5a3f100a, 0x2c1d, 0x4e6b, {0x8d, 0x21, 0x73, 0x6d, 0x70, 0x00, 0x00, 0x01}};
const MSPID MSPID_PrimaryVideo = {0x5a3f2001, 0x2c1d, 0x4e6b, {0x8d, 0x21, 0x76, 0x69, 0x64, 0x65, 0x6f, 0x00}};
const MSPID MSPID_PrimaryAudio = {0x5a3f2002, 0x2c1d, 0x4e6b, {0x8d, 0x21, 0x61, 0x75, 0x64, 0x69, 0x6f, 0x00}};


// ---- controls ----------------------------------------------------------------------------

namespace {

std::atomic<HRESULT> g_failures[DSHOW_CALL_KIND_COUNT];
std::atomic<int64_t (*)()> g_clock{nullptr};
std::atomic<int> g_audio_renderer{1};
std::atomic<int> g_streams{0};
std::atomic<uint64_t> g_sound_feeds{0};

}  // namespace

namespace vox_dshow {

HRESULT Injected(DshowCall call) { return g_failures[call].load(); }

int64_t SystemNow() {
  if (auto clock = g_clock.load()) return clock();
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
             .count() /
         100;
}

bool AudioRendererAllowed() { return g_audio_renderer.load() != 0; }
void CountStream(int delta) { g_streams += delta; }
void CountSoundFeed() { g_sound_feeds++; }

}  // namespace vox_dshow

// ---- component creation -----------------------------------------------------------------------

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  IUnknown* object = nullptr;
  if (clsid == CLSID_FilterGraph) {
    if (HRESULT hr = vox_dshow::Injected(DSHOW_CALL_CREATE_GRAPH)) return hr;
    object = static_cast<IGraphBuilder*>(new vox_dshow::FilterGraph());
  } else if (clsid == CLSID_AMMultiMediaStream) {
    if (HRESULT hr = vox_dshow::Injected(DSHOW_CALL_CREATE_STREAM)) return hr;
    object = static_cast<IAMMultiMediaStream*>(new vox_dshow::MultiMediaStream());
  } else {
    return REGDB_E_CLASSNOTREG;
  }
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
  return static_cast<vox_dshow::MultiMediaStream*>(stream)->Settled();
}
uint64_t DshowSoundFeeds() { return g_sound_feeds.load(); }

void DshowFailCall(DshowCall call, HRESULT result) { g_failures[call].store(result); }
void DshowClearFailures() {
  for (auto& f : g_failures) f.store(S_OK);
}
void DshowSetClock(int64_t (*now)()) { g_clock.store(now); }
void DshowSetAudioRenderer(int on) { g_audio_renderer.store(on); }
