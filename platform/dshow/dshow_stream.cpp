// The multimedia stream as its callers see it: set-up with its graph and its
// media streams, opening a file, state, clock, seeking and the video
// stream's format. The pictures and the sound come from its decoding thread.
#include <cstdio>

#include "platform/dshow/dshow_internal.h"

namespace vox_dshow {

MultiMediaStream::~MultiMediaStream() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
    wake_.notify_all();
  }
  if (thread_.joinable()) thread_.join();
  if (graph_) {
    graph_->Attach(nullptr);
    graph_->Release();
  }
  CloseAudio();
  av_frame_free(&next_);
  av_frame_free(&work_);
  sws_freeContext(scaler_);
  av_freep(&picture_);
  swr_free(&resampler_);
  video_.Close();
  audio_.Close();
  avformat_close_input(&format_);
  if (directdraw_) directdraw_->Release();
  Host().count_stream(-1);
}

HRESULT MultiMediaStream::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = FindView(iid, {{IID_IUnknown, static_cast<IAMMultiMediaStream*>(this)},
                        {IID_IAMMultiMediaStream, static_cast<IAMMultiMediaStream*>(this)},
                        {IID_IMultiMediaStream, static_cast<IMultiMediaStream*>(this)},
                        {IID_IMediaStream, static_cast<IAMMediaStream*>(this)},
                        {IID_IAMMediaStream, static_cast<IAMMediaStream*>(this)},
                        {IID_IDirectDrawMediaStream, static_cast<IDirectDrawMediaStream*>(this)}});
  return *out ? S_OK : E_NOINTERFACE;
}

// ---- IAMMultiMediaStream ------------------------------------------------------------------

HRESULT MultiMediaStream::Initialize(STREAM_TYPE type, DWORD, IGraphBuilder* graph) {
  if (type != STREAMTYPE_READ) return E_INVALIDARG;
  if (graph_) return E_FAIL;
  if (graph) {
    graph->AddRef();
    graph_ = static_cast<FilterGraph*>(graph);
  } else {
    graph_ = new FilterGraph();
  }
  graph_->Attach(this);
  return S_OK;
}

HRESULT MultiMediaStream::AddMediaStream(IUnknown* object, const MSPID* purpose, DWORD flags, IMediaStream** added) {
  if (!graph_) return MS_E_NOTINIT;
  if (!purpose) return E_POINTER;
  if (added) *added = nullptr;
  if (*purpose == MSPID_PrimaryVideo) {
    if (want_video_) return MS_E_PURPOSEID;
    if (!object || object->QueryInterface(*Host().iid_directdraw4, reinterpret_cast<void**>(&directdraw_)) != S_OK)
      return E_INVALIDARG;
    want_video_ = true;
    if (added) {
      AddRef();
      *added = static_cast<IAMMediaStream*>(this);
    }
    return S_OK;
  }
  if (*purpose == MSPID_PrimaryAudio) {
    if (want_audio_) return MS_E_PURPOSEID;
    if (!(flags & AMMSF_ADDDEFAULTRENDERER)) return E_INVALIDARG;  // only rendered sound is offered
    want_audio_ = true;
    return S_OK;
  }
  return MS_E_PURPOSEID;
}

HRESULT MultiMediaStream::OpenFile(const WCHAR* path, DWORD) {
  if (!graph_) return MS_E_NOTINIT;
  if (!path) return E_POINTER;
  if (format_) return E_FAIL;
  if (HRESULT hr = Host().injected(DSHOW_CALL_OPEN_FILE)) return hr;
  char host[4096];
  if (!Host().host_path(path, host, sizeof host)) return VFW_E_NOT_FOUND;
  FILE* probe = std::fopen(host, "rb");
  if (!probe) return VFW_E_NOT_FOUND;
  std::fclose(probe);
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, host, nullptr, nullptr) < 0) return VFW_E_UNSUPPORTED_STREAM;
  if (avformat_find_stream_info(format, nullptr) < 0) {
    avformat_close_input(&format);
    return VFW_E_UNSUPPORTED_STREAM;
  }
  format_ = format;
  if (want_video_) video_.Open(format_, AVMEDIA_TYPE_VIDEO);
  if (want_audio_ && audio_.Open(format_, AVMEDIA_TYPE_AUDIO) && !OpenAudio()) audio_.Close();
  if (!video_.context && !audio_.context) {
    avformat_close_input(&format_);
    return VFW_E_CANNOT_RENDER;
  }
  start_time_ =
      format_->start_time == AV_NOPTS_VALUE ? 0 : av_rescale_q(format_->start_time, AV_TIME_BASE_Q, kStreamTimeBase);
  if (video_.context) {
    // Stream time 0 is the first picture: sound before it is dropped.
    const AVStream* video = format_->streams[video_.index];
    if (video->start_time != AV_NOPTS_VALUE) start_time_ = av_rescale_q(video->start_time, video->time_base, kStreamTimeBase);
    AVRational rate = format_->streams[video_.index]->avg_frame_rate;
    if (rate.num > 0 && rate.den > 0) frame_interval_ = av_rescale_q(1, av_inv_q(rate), kStreamTimeBase);
  }
  work_ = av_frame_alloc();
  thread_ = std::thread(&MultiMediaStream::Run, this);
  return S_OK;
}

// ---- IMultiMediaStream --------------------------------------------------------------------

HRESULT MultiMediaStream::GetState(STREAM_STATE* state) {
  if (!state) return E_POINTER;
  std::lock_guard<std::mutex> lock(mutex_);
  *state = running_ ? STREAMSTATE_RUN : STREAMSTATE_STOP;
  return S_OK;
}

HRESULT MultiMediaStream::SetState(STREAM_STATE state) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!format_) return MS_E_NOTINIT;
  if (state == STREAMSTATE_RUN) StartClock();
  else StopClock();
  wake_.notify_all();
  return S_OK;
}

HRESULT MultiMediaStream::GetTime(STREAM_TIME* time) {
  if (!time) return E_POINTER;
  std::lock_guard<std::mutex> lock(mutex_);
  if (!format_) return MS_E_NOTINIT;
  *time = Now();
  return S_OK;
}

HRESULT MultiMediaStream::Seek(STREAM_TIME time) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!format_) return MS_E_NOTINIT;
  if (time < 0) time = 0;
  seek_target_ = time;
  seek_pending_ = true;
  wake_.notify_all();
  done_.wait(lock, [this] { return !seek_pending_; });
  return S_OK;
}

HRESULT MultiMediaStream::GetMediaStream(const MSPID& purpose, IMediaStream** stream) {
  if (!stream) return E_POINTER;
  *stream = nullptr;
  if (!(purpose == MSPID_PrimaryVideo) || !want_video_) return MS_E_NOSTREAM;
  AddRef();
  *stream = static_cast<IAMMediaStream*>(this);
  return S_OK;
}

HRESULT MultiMediaStream::Pause() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!format_) return MS_E_NOTINIT;
  StopClock();
  return S_OK;
}

void MultiMediaStream::StartClock() {
  if (running_) return;
  source_at_start_ = SourceNow();
  running_ = true;
  if (sound_) sound_->Play(0, 0, DSBPLAY_LOOPING);
}

void MultiMediaStream::StopClock() {
  if (!running_) return;
  origin_ = Now();
  running_ = false;
  if (sound_) sound_->Stop();
}

bool MultiMediaStream::Settled() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (seek_pending_ || (!next_ && !video_ended_ && video_.context)) return false;
  if (!pending_sample_) return true;
  return next_ && next_time_ > Now();
}

// ---- IDirectDrawMediaStream ----------------------------------------------------------------

HRESULT MultiMediaStream::GetFormat(DDSURFACEDESC* current, void** palette, DDSURFACEDESC* desired, DWORD* flags) {
  if (palette) *palette = nullptr;
  if (flags) *flags = 0;
  DDSURFACEDESC d{};
  d.dwSize = sizeof d;
  d.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
  d.ddsCaps.dwCaps = DDSCAPS_SYSTEMMEMORY | DDSCAPS_OFFSCREENPLAIN;
  if (video_.context) {
    d.dwWidth = DWORD(video_.context->width);
    d.dwHeight = DWORD(video_.context->height);
  }
  d.ddpfPixelFormat = {sizeof(DDPIXELFORMAT), DDPF_RGB, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0};
  if (desired) *desired = d;
  if (current) *current = d;
  return format_ ? S_OK : MS_E_NOTINIT;
}

}  // namespace vox_dshow
