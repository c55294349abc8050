// The filter graph: its media control pauses the multimedia stream that
// drives it; seeking and basic audio are offered as views only.
#include "platform/dshow/dshow_internal.h"

namespace vox_dshow {

HRESULT FilterGraph::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = FindView(iid, {{IID_IUnknown, static_cast<IGraphBuilder*>(this)},
                        {IID_IGraphBuilder, static_cast<IGraphBuilder*>(this)},
                        {IID_IMediaControl, static_cast<IMediaControl*>(this)},
                        {IID_IMediaSeeking, static_cast<IMediaSeeking*>(this)},
                        {IID_IBasicAudio, static_cast<IBasicAudio*>(this)}});
  return *out ? S_OK : E_NOINTERFACE;
}

HRESULT FilterGraph::Pause() {
  std::lock_guard<std::mutex> lock(mutex_);
  return stream_ ? stream_->Pause() : S_OK;
}

}  // namespace vox_dshow
