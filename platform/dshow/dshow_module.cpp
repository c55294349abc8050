// The multimedia-streams module's attachment to the program: the one export
// component creation looks up, which keeps the program's host and offers
// the module's classes.
#include <cstdarg>

#include "platform/dshow/dshow_internal.h"

extern "C" {
#include <libavutil/log.h>
}

namespace vox_dshow {

namespace {

const DshowHost* g_host = nullptr;

IUnknown* Create(REFCLSID clsid) {
  if (clsid == CLSID_FilterGraph) return static_cast<IGraphBuilder*>(new FilterGraph());
  if (clsid == CLSID_AMMultiMediaStream) return static_cast<IAMMultiMediaStream*>(new MultiMediaStream());
  return nullptr;
}

int Settled(IAMMultiMediaStream* stream) { return static_cast<MultiMediaStream*>(stream)->Settled(); }

const DshowModule kModule = {Create, Settled};

}  // namespace

const DshowHost& Host() { return *g_host; }

}  // namespace vox_dshow

extern "C" __attribute__((visibility("default"))) const DshowModule* DshowModuleAttach(const DshowHost* host) {
  if (!host || host->size != sizeof(DshowHost)) return nullptr;
  vox_dshow::g_host = host;
  // The libraries' own messages would reach the standard error (a damaged
  // picture tried as a movie fills it); what fails reaches the caller as a
  // result, which the engine logs in its own words.
  av_log_set_callback([](void*, int, const char*, va_list) {});
  return &vox_dshow::kModule;
}
