// The multimedia-stream stand-in over FFmpeg: component creation, the filter
// graph with its media control, the multimedia stream with its video stream
// and stream sample, and the stream's decoding thread.
#include "platform/dshow/dshow.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <vector>
#include <algorithm>
#include <mutex>
#include <string>
#include <thread>

#include "platform/dsound/dsound.h"
#include "platform/dshow/dshow_control.h"
#include "platform/win32/com_object.h"
#include "platform/win32/cp932.h"
#include "platform/win32/path.h"

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

namespace {

// ---- controls ----------------------------------------------------------------------------

std::atomic<HRESULT> g_failures[DSHOW_CALL_KIND_COUNT];
std::atomic<int64_t (*)()> g_clock{nullptr};
std::atomic<int> g_audio_renderer{1};
std::atomic<int> g_streams{0};
std::atomic<uint64_t> g_sound_feeds{0};

HRESULT Injected(DshowCall call) { return g_failures[call].load(); }

int64_t SystemNow() {
  if (auto clock = g_clock.load()) return clock();
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
             .count() /
         100;
}

constexpr int64_t kUnitsPerSecond = 10000000;
constexpr int kAudioRate = 44100;
constexpr int kAudioBlock = 4;  // 16-bit stereo
constexpr DWORD kAudioRing = kAudioRate * kAudioBlock * 2;  // two seconds
constexpr DWORD kAudioAhead = kAudioRate * kAudioBlock / 4;  // written this far ahead of the play cursor

class MultiMediaStream;

// ---- the filter graph ---------------------------------------------------------------------

class FilterGraph final : public ComObject<IGraphBuilder, IMediaControl, IMediaSeeking, IBasicAudio> {
 public:
  HRESULT QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = FindView(iid, {{IID_IUnknown, static_cast<IGraphBuilder*>(this)},
                          {IID_IGraphBuilder, static_cast<IGraphBuilder*>(this)},
                          {IID_IMediaControl, static_cast<IMediaControl*>(this)},
                          {IID_IMediaSeeking, static_cast<IMediaSeeking*>(this)},
                          {IID_IBasicAudio, static_cast<IBasicAudio*>(this)}});
    return *out ? S_OK : E_NOINTERFACE;
  }
  HRESULT Pause() override;
  // The stream that drives this graph (set by its Initialize, cleared when
  // it goes).
  void Attach(MultiMediaStream* stream) {
    std::lock_guard<std::mutex> lock(mutex_);
    stream_ = stream;
  }

 private:
  ~FilterGraph() override = default;
  std::mutex mutex_;
  MultiMediaStream* stream_ = nullptr;
};

// ---- the decoding side of a stream ------------------------------------------------------

struct Decoder {
  AVCodecContext* context = nullptr;
  int index = -1;
  AVRational time_base{1, 1};
  std::deque<AVPacket*> packets;
  bool drained = false;  // the decoder gave its last frame

  void Close() {
    for (AVPacket* p : packets) av_packet_free(&p);
    packets.clear();
    avcodec_free_context(&context);
  }
  void Flush() {
    for (AVPacket* p : packets) av_packet_free(&p);
    packets.clear();
    if (context) avcodec_flush_buffers(context);
    drained = false;
  }
};

bool OpenDecoder(AVFormatContext* format, AVMediaType type, Decoder* d) {
  const AVCodec* codec = nullptr;
  int index = av_find_best_stream(format, type, -1, -1, &codec, 0);
  if (index < 0 || !codec) return false;
  d->context = avcodec_alloc_context3(codec);
  if (!d->context || avcodec_parameters_to_context(d->context, format->streams[index]->codecpar) < 0 ||
      avcodec_open2(d->context, codec, nullptr) < 0) {
    avcodec_free_context(&d->context);
    return false;
  }
  d->index = index;
  d->time_base = format->streams[index]->time_base;
  return true;
}

AVPixelFormat SurfaceFormat(const DDPIXELFORMAT& f) {
  if (!(f.dwFlags & DDPF_RGB) || f.dwRGBAlphaBitMask) return AV_PIX_FMT_NONE;
  if (f.dwRGBBitCount == 16 && f.dwRBitMask == 0xF800 && f.dwGBitMask == 0x07E0 && f.dwBBitMask == 0x001F)
    return AV_PIX_FMT_RGB565LE;
  if (f.dwRBitMask != 0xFF0000 || f.dwGBitMask != 0xFF00 || f.dwBBitMask != 0xFF) return AV_PIX_FMT_NONE;
  if (f.dwRGBBitCount == 24) return AV_PIX_FMT_BGR24;
  if (f.dwRGBBitCount == 32) return AV_PIX_FMT_BGR0;
  return AV_PIX_FMT_NONE;
}

class StreamSample;

// ---- the multimedia stream ------------------------------------------------------------------

class MultiMediaStream final : public ComObject<IAMMultiMediaStream, IAMMediaStream, IDirectDrawMediaStream> {
 public:
  MultiMediaStream() { g_streams++; }

  HRESULT QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = FindView(iid, {{IID_IUnknown, static_cast<IAMMultiMediaStream*>(this)},
                          {IID_IAMMultiMediaStream, static_cast<IAMMultiMediaStream*>(this)},
                          {IID_IMultiMediaStream, static_cast<IMultiMediaStream*>(this)},
                          {IID_IMediaStream, static_cast<IAMMediaStream*>(this)},
                          {IID_IAMMediaStream, static_cast<IAMMediaStream*>(this)},
                          {IID_IDirectDrawMediaStream, static_cast<IDirectDrawMediaStream*>(this)}});
    return *out ? S_OK : E_NOINTERFACE;
  }

  // ---- IAMMultiMediaStream
  HRESULT Initialize(STREAM_TYPE type, DWORD, IGraphBuilder* graph) override {
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
  HRESULT AddMediaStream(IUnknown* object, const MSPID* purpose, DWORD flags, IMediaStream** added) override {
    if (!graph_) return MS_E_NOTINIT;
    if (!purpose) return E_POINTER;
    if (added) *added = nullptr;
    if (*purpose == MSPID_PrimaryVideo) {
      if (want_video_) return MS_E_PURPOSEID;
      if (!object || object->QueryInterface(IID_IDirectDraw4, reinterpret_cast<void**>(&directdraw_)) != S_OK)
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
  HRESULT OpenFile(const WCHAR* path, DWORD flags) override;

  // ---- IMultiMediaStream
  HRESULT GetState(STREAM_STATE* state) override {
    if (!state) return E_POINTER;
    std::lock_guard<std::mutex> lock(mutex_);
    *state = running_ ? STREAMSTATE_RUN : STREAMSTATE_STOP;
    return S_OK;
  }
  HRESULT SetState(STREAM_STATE state) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!format_) return MS_E_NOTINIT;
    if (state == STREAMSTATE_RUN) StartClock();
    else StopClock();
    wake_.notify_all();
    return S_OK;
  }
  HRESULT GetTime(STREAM_TIME* time) override {
    if (!time) return E_POINTER;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!format_) return MS_E_NOTINIT;
    *time = Now();
    return S_OK;
  }
  HRESULT Seek(STREAM_TIME time) override {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!format_) return MS_E_NOTINIT;
    if (time < 0) time = 0;
    seek_target_ = time;
    seek_pending_ = true;
    wake_.notify_all();
    done_.wait(lock, [this] { return !seek_pending_; });
    return S_OK;
  }
  HRESULT GetMediaStream(const MSPID& purpose, IMediaStream** stream) override {
    if (!stream) return E_POINTER;
    *stream = nullptr;
    if (!(purpose == MSPID_PrimaryVideo) || !want_video_) return MS_E_NOSTREAM;
    AddRef();
    *stream = static_cast<IAMMediaStream*>(this);
    return S_OK;
  }

  // ---- IDirectDrawMediaStream
  HRESULT GetFormat(DDSURFACEDESC* current, void** palette, DDSURFACEDESC* desired, DWORD* flags) override {
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
  HRESULT CreateSample(IDirectDrawSurface* surface, const RECT* rect, DWORD flags,
                       IDirectDrawStreamSample** sample) override;

  // ---- what the sample and the graph call
  HRESULT UpdateSample(StreamSample* sample, HANDLE event);
  HRESULT Pause() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!format_) return MS_E_NOTINIT;
    StopClock();
    return S_OK;
  }
  // Whether the thread has done all that the clock lets it do now (see
  // DshowStreamSettled); the same conditions as the thread's loop.
  bool Settled() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (seek_pending_ || (!next_ && !video_ended_ && video_.context)) return false;
    if (!pending_sample_) return true;
    return next_ && next_time_ > Now();
  }
  void SampleGone(StreamSample* sample) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (pending_sample_ == sample) {
      pending_sample_ = nullptr;
      pending_event_ = nullptr;
    }
  }

 private:
  ~MultiMediaStream() override {
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
    swr_free(&resampler_);
    video_.Close();
    audio_.Close();
    avformat_close_input(&format_);
    if (directdraw_) directdraw_->Release();
    g_streams--;
  }

  // Clock: stream time advances with the source (played sound, or the
  // system clock) while the stream runs. Callers hold mutex_.
  int64_t SourceNow() {
    if (sound_) return int64_t(played_bytes_) * kUnitsPerSecond / (kAudioRate * kAudioBlock);
    return SystemNow();
  }
  int64_t Now() { return running_ ? origin_ + (SourceNow() - source_at_start_) : origin_; }
  void StartClock() {
    if (running_) return;
    source_at_start_ = SourceNow();
    running_ = true;
    if (sound_) sound_->Play(0, 0, DSBPLAY_LOOPING);
  }
  void StopClock() {
    if (!running_) return;
    origin_ = Now();
    running_ = false;
    if (sound_) sound_->Stop();
  }

  bool OpenAudio();
  void CloseAudio() {
    if (sound_) sound_->Release();
    if (device_) device_->Release();
    sound_ = nullptr;
    device_ = nullptr;
  }
  void Run();
  bool ReadPacket();
  AVFrame* DecodeVideoFrame();
  bool DecodeAudio(std::vector<uint8_t>* pcm);
  void FeedSound();
  void TrackSoundCursor();
  void SeekInThread(int64_t target);
  bool WritePicture(StreamSample* sample);  // caller holds mutex_
  int64_t FrameTime(const AVFrame* frame, const Decoder& d) {
    int64_t pts = frame->best_effort_timestamp;
    if (pts == AV_NOPTS_VALUE) return last_video_time_ + frame_interval_;
    return av_rescale_q(pts, d.time_base, AVRational{1, int(kUnitsPerSecond)}) - start_time_;
  }

  FilterGraph* graph_ = nullptr;
  bool want_video_ = false, want_audio_ = false;
  IDirectDraw4* directdraw_ = nullptr;  // the video's surfaces come from it
  std::thread thread_;

  // ---- shared with the decoding thread, under mutex_
  std::mutex mutex_;
  std::condition_variable wake_, done_;
  bool quit_ = false;
  bool running_ = false;
  int64_t origin_ = 0, source_at_start_ = 0;
  bool seek_pending_ = false;
  int64_t seek_target_ = 0;
  AVFrame* next_ = nullptr;  // the next picture, decoded, not yet shown
  int64_t next_time_ = 0;
  bool video_ended_ = false;  // no picture after next_
  StreamSample* pending_sample_ = nullptr;
  HANDLE pending_event_ = nullptr;
  SwsContext* scaler_ = nullptr;
  uint64_t played_bytes_ = 0;

  // ---- the decoding thread's own after the open
  AVFormatContext* format_ = nullptr;
  Decoder video_, audio_;
  AVFrame* work_ = nullptr;
  SwrContext* resampler_ = nullptr;
  int64_t start_time_ = 0;
  int64_t last_video_time_ = 0, frame_interval_ = kUnitsPerSecond / 25;
  bool demux_ended_ = false;
  IDirectSound* device_ = nullptr;
  IDirectSoundBuffer* sound_ = nullptr;
  DWORD last_cursor_ = 0;
  uint64_t written_bytes_ = 0;
  int64_t audio_skip_until_ = 0;  // sound before this stream time is dropped after a seek
};

// ---- the stream sample ----------------------------------------------------------------------

class StreamSample final : public ComObject<IDirectDrawStreamSample> {
 public:
  StreamSample(MultiMediaStream* stream, IDirectDrawSurface* surface, IDirectDrawSurface4* surface4, RECT rect,
               AVPixelFormat format)
      : stream_(stream), surface_(surface), surface4_(surface4), rect_(rect), format_(format) {
    stream_->AddRef();
  }
  HRESULT QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = FindView(iid, {{IID_IUnknown, static_cast<IDirectDrawStreamSample*>(this)},
                          {IID_IDirectDrawStreamSample, static_cast<IDirectDrawStreamSample*>(this)}});
    return *out ? S_OK : E_NOINTERFACE;
  }
  HRESULT GetSurface(IDirectDrawSurface** surface, RECT* rect) override {
    if (surface) {
      surface_->AddRef();
      *surface = surface_;
    }
    if (rect) *rect = rect_;
    return S_OK;
  }
  HRESULT Update(DWORD, HANDLE event, void*, uintptr_t) override {
    if (HRESULT hr = Injected(DSHOW_CALL_UPDATE)) return hr;
    return stream_->UpdateSample(this, event);
  }

  IDirectDrawSurface4* surface4() const { return surface4_; }
  const RECT& rect() const { return rect_; }
  AVPixelFormat format() const { return format_; }

 private:
  ~StreamSample() override {
    stream_->SampleGone(this);
    surface4_->Release();
    surface_->Release();
    stream_->Release();
  }
  MultiMediaStream* stream_;
  IDirectDrawSurface* surface_;
  IDirectDrawSurface4* surface4_;
  RECT rect_;
  AVPixelFormat format_;
};

HRESULT FilterGraph::Pause() {
  std::lock_guard<std::mutex> lock(mutex_);
  return stream_ ? stream_->Pause() : S_OK;
}

// ---- opening ----------------------------------------------------------------------------------

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

HRESULT MultiMediaStream::OpenFile(const WCHAR* path, DWORD) {
  if (!graph_) return MS_E_NOTINIT;
  if (!path) return E_POINTER;
  if (format_) return E_FAIL;
  if (HRESULT hr = Injected(DSHOW_CALL_OPEN_FILE)) return hr;
  std::string utf8, cp932, host;
  if (!Utf16ToUtf8(path, &utf8) || !vox_win32::Utf8ToCp932(utf8, &cp932) ||
      !vox_win32::MapWindowsPath(cp932, &host))
    return VFW_E_NOT_FOUND;
  FILE* probe = std::fopen(host.c_str(), "rb");
  if (!probe) return VFW_E_NOT_FOUND;
  std::fclose(probe);
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, host.c_str(), nullptr, nullptr) < 0) return VFW_E_UNSUPPORTED_STREAM;
  if (avformat_find_stream_info(format, nullptr) < 0) {
    avformat_close_input(&format);
    return VFW_E_UNSUPPORTED_STREAM;
  }
  format_ = format;
  if (want_video_) OpenDecoder(format_, AVMEDIA_TYPE_VIDEO, &video_);
  if (want_audio_ && OpenDecoder(format_, AVMEDIA_TYPE_AUDIO, &audio_) && !OpenAudio()) audio_.Close();
  if (!video_.context && !audio_.context) {
    avformat_close_input(&format_);
    return VFW_E_CANNOT_RENDER;
  }
  start_time_ = format_->start_time == AV_NOPTS_VALUE
                    ? 0
                    : av_rescale_q(format_->start_time, AV_TIME_BASE_Q, AVRational{1, int(kUnitsPerSecond)});
  if (video_.context) {
    // Stream time 0 is the first picture: sound before it is dropped.
    const AVStream* video = format_->streams[video_.index];
    if (video->start_time != AV_NOPTS_VALUE)
      start_time_ = av_rescale_q(video->start_time, video->time_base, AVRational{1, int(kUnitsPerSecond)});
    AVRational rate = format_->streams[video_.index]->avg_frame_rate;
    if (rate.num > 0 && rate.den > 0) frame_interval_ = av_rescale_q(1, av_inv_q(rate), AVRational{1, int(kUnitsPerSecond)});
  }
  work_ = av_frame_alloc();
  thread_ = std::thread(&MultiMediaStream::Run, this);
  return S_OK;
}

// The default sound renderer: a DirectSound device of the stream's own with a
// looping ring of 44.1 kHz 16-bit stereo.
bool MultiMediaStream::OpenAudio() {
  if (!g_audio_renderer.load()) return false;
  if (CreateDirectSoundInstance(&device_) != DS_OK) return false;
  WAVEFORMATEX format = MakePcmWaveFormat(2, kAudioRate, 16);
  DSBUFFERDESC desc{sizeof(DSBUFFERDESC), DSBCAPS_GLOBALFOCUS | DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_CTRLVOLUME,
                    kAudioRing, 0, &format};
  if (device_->Initialize(nullptr) != DS_OK || device_->SetCooperativeLevel(nullptr, DSSCL_PRIORITY) != DS_OK ||
      device_->CreateSoundBuffer(&desc, &sound_, nullptr) != DS_OK) {
    CloseAudio();
    return false;
  }
  AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
  if (swr_alloc_set_opts2(&resampler_, &stereo, AV_SAMPLE_FMT_S16, kAudioRate, &audio_.context->ch_layout,
                          audio_.context->sample_fmt, audio_.context->sample_rate, 0, nullptr) < 0 ||
      swr_init(resampler_) < 0) {
    swr_free(&resampler_);
    CloseAudio();
    return false;
  }
  // Silence in the whole ring until sound is written.
  void *first, *second;
  DWORD first_bytes, second_bytes;
  if (sound_->Lock(0, kAudioRing, &first, &first_bytes, &second, &second_bytes, 0) == DS_OK) {
    std::memset(first, 0, first_bytes);
    sound_->Unlock(first, first_bytes, second, second_bytes);
  }
  return true;
}

HRESULT MultiMediaStream::CreateSample(IDirectDrawSurface* surface, const RECT* rect, DWORD,
                                       IDirectDrawStreamSample** sample) {
  if (!sample) return E_POINTER;
  *sample = nullptr;
  if (!format_ || !video_.context) return MS_E_NOTINIT;
  if (HRESULT hr = Injected(DSHOW_CALL_CREATE_SAMPLE)) return hr;
  IDirectDrawSurface* own = nullptr;
  if (!surface) {
    // A surface of the stream's own format and the picture's size.
    IDirectDraw* dd = nullptr;
    DDSURFACEDESC desc;
    GetFormat(nullptr, nullptr, &desc, nullptr);
    if (directdraw_->QueryInterface(IID_IDirectDraw, reinterpret_cast<void**>(&dd)) != DD_OK) return E_FAIL;
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
  else hr = surface->QueryInterface(IID_IDirectDrawSurface4, reinterpret_cast<void**>(&surface4));
  if (hr != DD_OK) {
    surface->Release();
    return hr;
  }
  *sample = new StreamSample(this, surface, surface4, r, pixel_format);
  return S_OK;
}

// ---- updates -----------------------------------------------------------------------------------

bool MultiMediaStream::WritePicture(StreamSample* sample) {
  const RECT& r = sample->rect();
  const int w = r.right - r.left, h = r.bottom - r.top;
  scaler_ = sws_getCachedContext(scaler_, next_->width, next_->height, AVPixelFormat(next_->format), w, h,
                                 sample->format(), SWS_BILINEAR, nullptr, nullptr, nullptr);
  if (!scaler_) return false;
  DDSURFACEDESC2 locked{};
  locked.dwSize = sizeof locked;
  if (sample->surface4()->Lock(const_cast<RECT*>(&r), &locked, DDLOCK_WAIT, nullptr) != DD_OK) return false;
  uint8_t* planes[4] = {static_cast<uint8_t*>(locked.lpSurface), nullptr, nullptr, nullptr};
  int pitches[4] = {int(locked.lPitch), 0, 0, 0};
  sws_scale(scaler_, next_->data, next_->linesize, 0, next_->height, planes, pitches);
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

// ---- the decoding thread -----------------------------------------------------------------------

bool MultiMediaStream::ReadPacket() {
  if (demux_ended_) return false;
  AVPacket* packet = av_packet_alloc();
  if (!packet) return false;
  while (av_read_frame(format_, packet) >= 0) {
    if (packet->stream_index == video_.index && video_.context) {
      video_.packets.push_back(packet);
      return true;
    }
    if (packet->stream_index == audio_.index && audio_.context) {
      audio_.packets.push_back(packet);
      return true;
    }
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
  demux_ended_ = true;
  return false;
}

// Sends packets until the decoder gives a frame (into work_); false once it
// has given its last.
bool ReceiveFrame(Decoder* d, AVFrame* frame, const std::function<bool()>& read_more) {
  for (;;) {
    int got = avcodec_receive_frame(d->context, frame);
    if (got == 0) return true;
    if (got == AVERROR_EOF || d->drained) {
      d->drained = true;
      return false;
    }
    if (got != AVERROR(EAGAIN)) return false;
    if (d->packets.empty() && !read_more()) {
      avcodec_send_packet(d->context, nullptr);  // drain what it still holds
      d->drained = avcodec_receive_frame(d->context, frame) != 0;
      return !d->drained;
    }
    if (d->packets.empty()) continue;
    AVPacket* packet = d->packets.front();
    d->packets.pop_front();
    avcodec_send_packet(d->context, packet);
    av_packet_free(&packet);
  }
}

AVFrame* MultiMediaStream::DecodeVideoFrame() {
  if (!video_.context) return nullptr;
  AVFrame* frame = av_frame_alloc();
  if (!frame) return nullptr;
  if (!ReceiveFrame(&video_, frame, [this] {
        while (!demux_ended_ && video_.packets.empty())
          if (!ReadPacket()) break;
        return !video_.packets.empty();
      })) {
    av_frame_free(&frame);
    return nullptr;
  }
  return frame;
}

bool MultiMediaStream::DecodeAudio(std::vector<uint8_t>* pcm) {
  if (!audio_.context) return false;
  if (!ReceiveFrame(&audio_, work_, [this] {
        while (!demux_ended_ && audio_.packets.empty())
          if (!ReadPacket()) break;
        return !audio_.packets.empty();
      }))
    return false;
  int64_t time = work_->best_effort_timestamp == AV_NOPTS_VALUE
                     ? audio_skip_until_
                     : av_rescale_q(work_->best_effort_timestamp, audio_.time_base,
                                    AVRational{1, int(kUnitsPerSecond)}) - start_time_;
  int out_samples = swr_get_out_samples(resampler_, work_->nb_samples);
  if (out_samples < 0) return false;
  pcm->resize(size_t(out_samples) * kAudioBlock);
  uint8_t* out = pcm->data();
  int made = swr_convert(resampler_, &out, out_samples, const_cast<const uint8_t**>(work_->extended_data),
                         work_->nb_samples);
  if (made < 0) return false;
  pcm->resize(size_t(made) * kAudioBlock);
  // After a seek the sound starts where the pictures do.
  if (time < audio_skip_until_) {
    int64_t drop = (audio_skip_until_ - time) * kAudioRate / kUnitsPerSecond * kAudioBlock;
    pcm->erase(pcm->begin(), pcm->begin() + std::min<int64_t>(drop, int64_t(pcm->size())));
  }
  return true;
}

// Moves the count of played bytes on with the ring's play cursor.
void MultiMediaStream::TrackSoundCursor() {
  DWORD play = 0;
  if (sound_->GetCurrentPosition(&play, nullptr) != DS_OK) return;
  DWORD advanced = (play + kAudioRing - last_cursor_) % kAudioRing;
  last_cursor_ = play;
  std::lock_guard<std::mutex> lock(mutex_);
  // The cursor runs on over silence once all sound was played; the clock
  // runs on with it, so the pictures keep their pace.
  played_bytes_ += advanced;
}

// Keeps the ring written a quarter second ahead of the play cursor: sound
// while there is some, silence after it.
void MultiMediaStream::FeedSound() {
  if (!sound_) return;
  TrackSoundCursor();
  std::vector<uint8_t> pcm;
  for (;;) {
    uint64_t played;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      played = played_bytes_;
    }
    if (written_bytes_ < played) written_bytes_ = played;  // fell behind: skip ahead
    if (written_bytes_ - played >= kAudioAhead) {
      g_sound_feeds++;
      return;
    }
    DWORD room = DWORD(kAudioAhead - (written_bytes_ - played));
    if (pcm.empty() && !DecodeAudio(&pcm)) pcm.assign(std::min<DWORD>(room, kAudioRate / 100 * kAudioBlock), 0);
    DWORD bytes = std::min<DWORD>(room, DWORD(pcm.size()));
    if (bytes == 0) {
      pcm.clear();
      continue;
    }
    void *first, *second;
    DWORD first_bytes, second_bytes;
    DWORD offset = DWORD(written_bytes_ % kAudioRing);
    if (sound_->Lock(offset, bytes, &first, &first_bytes, &second, &second_bytes, 0) != DS_OK) return;
    std::memcpy(first, pcm.data(), first_bytes);
    if (second) std::memcpy(second, pcm.data() + first_bytes, second_bytes);
    sound_->Unlock(first, first_bytes, second, second_bytes);
    written_bytes_ += bytes;
    pcm.erase(pcm.begin(), pcm.begin() + bytes);
  }
}

void MultiMediaStream::SeekInThread(int64_t target) {
  av_seek_frame(format_, -1, av_rescale_q(target + start_time_, AVRational{1, int(kUnitsPerSecond)}, AV_TIME_BASE_Q),
                AVSEEK_FLAG_BACKWARD);
  video_.Flush();
  audio_.Flush();
  if (resampler_) swr_init(resampler_);
  demux_ended_ = false;
  audio_skip_until_ = target;
  // Pictures before the target are passed over.
  AVFrame* frame = nullptr;
  for (;;) {
    frame = DecodeVideoFrame();
    if (!frame) break;
    last_video_time_ = FrameTime(frame, video_);
    if (last_video_time_ + frame_interval_ > target) break;
    av_frame_free(&frame);
  }
  std::lock_guard<std::mutex> lock(mutex_);
  av_frame_free(&next_);
  next_ = frame;
  next_time_ = frame ? last_video_time_ : 0;
  video_ended_ = !frame;
  origin_ = target;
  source_at_start_ = SourceNow();
  if (sound_) {
    // The ring starts over from the new position.
    written_bytes_ = played_bytes_;
  }
  seek_pending_ = false;
  done_.notify_all();
}

void MultiMediaStream::Run() {
  for (;;) {
    bool seek = false, need_picture = false;
    int64_t target = 0;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      if (quit_) return;
      seek = seek_pending_;
      target = seek_target_;
      need_picture = !next_ && !video_ended_ && video_.context;
      if (!seek && !need_picture && pending_sample_ && next_ && next_time_ <= Now()) {
        WritePicture(pending_sample_);
        SetEvent(pending_event_);
        pending_sample_ = nullptr;
        pending_event_ = nullptr;
        done_.notify_all();
        continue;
      }
      if (!seek && !need_picture && pending_sample_ && !next_ && video_ended_) {
        // The end: the caller's next update learns it.
        SetEvent(pending_event_);
        pending_sample_ = nullptr;
        pending_event_ = nullptr;
        done_.notify_all();
      }
    }
    if (seek) {
      SeekInThread(target);
      continue;
    }
    if (need_picture) {
      AVFrame* frame = DecodeVideoFrame();
      std::lock_guard<std::mutex> lock(mutex_);
      if (frame) {
        last_video_time_ = FrameTime(frame, video_);
        next_time_ = last_video_time_;
      }
      next_ = frame;
      video_ended_ = !frame;
      done_.notify_all();
      continue;
    }
    bool running;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      running = running_;
    }
    if (running) FeedSound();
    std::unique_lock<std::mutex> lock(mutex_);
    if (quit_) return;
    wake_.wait_for(lock, std::chrono::milliseconds(2));
  }
}

}  // namespace

// ---- component creation -----------------------------------------------------------------------

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  IUnknown* object = nullptr;
  if (clsid == CLSID_FilterGraph) {
    if (HRESULT hr = Injected(DSHOW_CALL_CREATE_GRAPH)) return hr;
    object = static_cast<IGraphBuilder*>(new FilterGraph());
  } else if (clsid == CLSID_AMMultiMediaStream) {
    if (HRESULT hr = Injected(DSHOW_CALL_CREATE_STREAM)) return hr;
    object = static_cast<IAMMultiMediaStream*>(new MultiMediaStream());
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

int DshowStreamSettled(IAMMultiMediaStream* stream) { return static_cast<MultiMediaStream*>(stream)->Settled(); }
uint64_t DshowSoundFeeds() { return g_sound_feeds.load(); }

void DshowFailCall(DshowCall call, HRESULT result) { g_failures[call].store(result); }
void DshowClearFailures() {
  for (auto& f : g_failures) f.store(S_OK);
}
void DshowSetClock(int64_t (*now)()) { g_clock.store(now); }
void DshowSetAudioRenderer(int on) { g_audio_renderer.store(on); }
