// Stream samples: a DirectDraw surface the video stream writes its pictures
// into, and the sample update that completes at once when a picture is due,
// or later on the decoding thread, which then signals the caller's event.
#include <climits>
#include <cstring>

#include "platform/dshow/dshow_internal.h"

namespace vox_dshow {

AVPixelFormat SurfaceFormat(const DDPIXELFORMAT& f) {
  if (!(f.dwFlags & DDPF_RGB) || f.dwRGBAlphaBitMask) return AV_PIX_FMT_NONE;
  if (f.dwRGBBitCount == 16 && f.dwRBitMask == 0xF800 && f.dwGBitMask == 0x07E0 && f.dwBBitMask == 0x001F)
    return AV_PIX_FMT_RGB565LE;
  if (f.dwRBitMask != 0xFF0000 || f.dwGBitMask != 0xFF00 || f.dwBBitMask != 0xFF) return AV_PIX_FMT_NONE;
  if (f.dwRGBBitCount == 24) return AV_PIX_FMT_BGR24;
  if (f.dwRGBBitCount == 32) return AV_PIX_FMT_BGR0;
  return AV_PIX_FMT_NONE;
}

// ---- the sample ------------------------------------------------------------------------------

StreamSample::StreamSample(MultiMediaStream* stream, IDirectDrawSurface* surface, IDirectDrawSurface4* surface4,
                           RECT rect, AVPixelFormat format)
    : stream_(stream), surface_(surface), surface4_(surface4), rect_(rect), format_(format) {
  stream_->AddRef();
}

StreamSample::~StreamSample() {
  stream_->SampleGone(this);
  surface4_->Release();
  surface_->Release();
  stream_->Release();
}

HRESULT StreamSample::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = FindView(iid, {{IID_IUnknown, static_cast<IDirectDrawStreamSample*>(this)},
                        {IID_IDirectDrawStreamSample, static_cast<IDirectDrawStreamSample*>(this)}});
  return *out ? S_OK : E_NOINTERFACE;
}

HRESULT StreamSample::GetSurface(IDirectDrawSurface** surface, RECT* rect) {
  if (surface) {
    surface_->AddRef();
    *surface = surface_;
  }
  if (rect) *rect = rect_;
  return S_OK;
}

HRESULT StreamSample::Update(DWORD, HANDLE event, void*, uintptr_t) {
  if (HRESULT hr = Host().injected(DSHOW_CALL_UPDATE)) return hr;
  return stream_->UpdateSample(this, event);
}

// ---- the stream's side -------------------------------------------------------------------------

HRESULT MultiMediaStream::CreateSample(IDirectDrawSurface* surface, const RECT* rect, DWORD,
                                       IDirectDrawStreamSample** sample) {
  if (!sample) return E_POINTER;
  *sample = nullptr;
  if (!format_ || !video_.context) return MS_E_NOTINIT;
  if (HRESULT hr = Host().injected(DSHOW_CALL_CREATE_SAMPLE)) return hr;
  IDirectDrawSurface* own = nullptr;
  if (!surface) {
    // A surface of the stream's own format and the picture's size.
    IDirectDraw* dd = nullptr;
    DDSURFACEDESC desc;
    GetFormat(nullptr, nullptr, &desc, nullptr);
    if (directdraw_->QueryInterface(*Host().iid_directdraw, reinterpret_cast<void**>(&dd)) != DD_OK) return E_FAIL;
    HRESULT hr = dd->CreateSurface(&desc, &own, nullptr);
    dd->Release();
    if (hr != DD_OK) return hr;
    surface = own;
  } else {
    surface->AddRef();
  }
  DDSURFACEDESC desc{};
  desc.dwSize = sizeof desc;
  surface->GetSurfaceDesc(&desc);
  RECT whole{0, 0, LONG(desc.dwWidth), LONG(desc.dwHeight)};
  RECT r = rect ? *rect : whole;
  AVPixelFormat pixel_format = SurfaceFormat(desc.ddpfPixelFormat);
  IDirectDrawSurface4* surface4 = nullptr;
  HRESULT hr = DD_OK;
  if (pixel_format == AV_PIX_FMT_NONE) hr = DDERR_INVALIDPIXELFORMAT;
  else if (r.left < 0 || r.top < 0 || r.right > whole.right || r.bottom > whole.bottom || r.left >= r.right ||
           r.top >= r.bottom)
    hr = E_INVALIDARG;
  else hr = surface->QueryInterface(*Host().iid_directdraw_surface4, reinterpret_cast<void**>(&surface4));
  if (hr != DD_OK) {
    surface->Release();
    return hr;
  }
  *sample = new StreamSample(this, surface, surface4, r, pixel_format);
  return S_OK;
}

void MultiMediaStream::SampleGone(StreamSample* sample) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (pending_sample_ == sample) {
    pending_sample_ = nullptr;
    pending_event_ = nullptr;
  }
}

// The scaler's packed-pixel converters write whole blocks of 16 pixels. Into
// rows just as wide as the picture they either finish the last block past
// the row's end (past the surface's memory in its last row) or, when the row
// has no room for it, leave its pixels unwritten. So the picture is
// converted into rows of the stream's own with room for one block more than
// it needs, and copied from there into the sample's rectangle, a picture's
// width a row, whatever the surface's pitch.
bool MultiMediaStream::WritePicture(StreamSample* sample) {
  const RECT& r = sample->rect();
  const int w = r.right - r.left, h = r.bottom - r.top;
  scaler_ = sws_getCachedContext(scaler_, next_->width, next_->height, AVPixelFormat(next_->format), w, h,
                                 sample->format(), SWS_BILINEAR, nullptr, nullptr, nullptr);
  if (!scaler_) return false;
  const size_t bytes = size_t(av_get_padded_bits_per_pixel(av_pix_fmt_desc_get(sample->format())) / 8);
  const size_t row = bytes * size_t(w);
  const size_t pitch = FFALIGN(bytes * size_t(FFALIGN(w, 16) + 16), 64);
  if (pitch * size_t(h) > UINT_MAX) return false;
  av_fast_malloc(&picture_, &picture_size_, unsigned(pitch * size_t(h)));
  if (!picture_) return false;
  uint8_t* planes[4] = {picture_, nullptr, nullptr, nullptr};
  int pitches[4] = {int(pitch), 0, 0, 0};
  sws_scale(scaler_, next_->data, next_->linesize, 0, next_->height, planes, pitches);
  DDSURFACEDESC2 locked{};
  locked.dwSize = sizeof locked;
  if (sample->surface4()->Lock(const_cast<RECT*>(&r), &locked, DDLOCK_WAIT, nullptr) != DD_OK) return false;
  auto* to = static_cast<uint8_t*>(locked.lpSurface);
  for (int y = 0; y < h; y++) std::memcpy(to + ptrdiff_t(y) * locked.lPitch, picture_ + size_t(y) * pitch, row);
  sample->surface4()->Unlock(nullptr);
  av_frame_free(&next_);
  wake_.notify_all();  // the thread decodes the picture after this one
  return true;
}

HRESULT MultiMediaStream::UpdateSample(StreamSample* sample, HANDLE event) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!running_) return MS_E_NOTRUNNING;
  if (pending_sample_) return MS_E_BUSY;
  for (;;) {
    if (next_ && next_time_ <= Now() && !seek_pending_) return WritePicture(sample) ? S_OK : E_FAIL;
    if (!next_ && video_ended_ && !seek_pending_) return MS_S_ENDOFSTREAM;
    if (event) {
      pending_sample_ = sample;
      pending_event_ = event;
      wake_.notify_all();
      return MS_S_PENDING;
    }
    done_.wait_for(lock, std::chrono::milliseconds(5));
    if (!running_) return MS_E_NOTRUNNING;
  }
}

}  // namespace vox_dshow
