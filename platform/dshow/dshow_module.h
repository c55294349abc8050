// The boundary between the program and the multimedia-streams module
// ("dshow_streams.dll", a shared object beside the program). Component
// creation loads the module the first time a filter graph or a multimedia
// stream is asked for, so the program starts without the decoding
// libraries the module links; a module that cannot be loaded makes the
// creation fail. The module links nothing of the program: what it needs of
// the stand-ins it is handed in a DshowHost when it is attached.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/dshow/dshow.h"
#include "platform/dshow/dshow_control.h"
#include "platform/dsound/dsound.h"

#define DSHOW_MODULE_NAME "dshow_streams.dll"
#define DSHOW_MODULE_ATTACH "DshowModuleAttach"

// What the program lends the module.
struct DshowHost {
  uint32_t size;  // sizeof(DshowHost) of the program; a module built for another refuses it
  // ---- the controls of dshow_control.h
  HRESULT (*injected)(DshowCall call);  // the failure a test set for the call, or S_OK
  int64_t (*now)();                     // 100 ns units: the test's clock or the monotonic one
  int (*audio_renderer_allowed)();
  void (*count_stream)(int delta);
  void (*count_sound_feed)();
  // ---- the platform under the streams
  BOOL (*set_event)(HANDLE event);
  HRESULT (*create_direct_sound)(IDirectSound** out);
  // A Windows path in UTF-16 as a host path (UTF-8, NUL-terminated); false
  // when it names nothing the host can reach.
  bool (*host_path)(const WCHAR* path, char* out, size_t size);
  const IID* iid_directdraw;
  const IID* iid_directdraw4;
  const IID* iid_directdraw_surface4;
};

// What the module offers.
struct DshowModule {
  // A new object of CLSID_FilterGraph or CLSID_AMMultiMediaStream (one
  // reference), or null for any other class.
  IUnknown* (*create)(REFCLSID clsid);
  int (*settled)(IAMMultiMediaStream* stream);  // DshowStreamSettled
};

// The module's one export: keeps the host (which outlives it) and returns
// its offer, or null when the host is not the one it was built for.
typedef const DshowModule* (*DshowModuleAttachFn)(const DshowHost* host);
