// The objects of the multimedia-streams module: the filter graph, the
// multimedia stream with its video stream, the stream sample, and what the
// stream's decoding thread and its default sound renderer keep. Each concern
// has a file of its own: dshow_graph.cpp, dshow_stream.cpp (the stream's
// interface and its opening), dshow_sample.cpp (samples and their updates),
// dshow_decoder.cpp (the decoding thread), dshow_sound.cpp (the sound), and
// dshow_module.cpp (the module's attachment to the program).
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/dshow/dshow_module.h"
#include "platform/win32/com_object.h"

namespace vox_dshow {

// What the program lent the module when it attached it (dshow_module.cpp).
const DshowHost& Host();

constexpr int64_t kUnitsPerSecond = 10000000;
constexpr AVRational kStreamTimeBase{1, int(kUnitsPerSecond)};
constexpr int kAudioRate = 44100;
constexpr int kAudioBlock = 4;                               // 16-bit stereo
constexpr DWORD kAudioRing = kAudioRate * kAudioBlock * 2;   // two seconds
constexpr DWORD kAudioAhead = kAudioRate * kAudioBlock / 4;  // written this far ahead of the play cursor

class MultiMediaStream;
class StreamSample;

// ---- the filter graph (dshow_graph.cpp) ----------------------------------------------------

class FilterGraph final : public ComObject<IGraphBuilder, IMediaControl, IMediaSeeking, IBasicAudio> {
 public:
  HRESULT QueryInterface(REFIID iid, void** out) override;
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

// ---- one decoded stream of the file (dshow_decoder.cpp) --------------------------------------

struct Decoder {
  AVCodecContext* context = nullptr;
  int index = -1;
  AVRational time_base{1, 1};
  std::deque<AVPacket*> packets;
  bool drained = false;  // the decoder gave its last frame

  // The file's best stream of the type; false when it has none that decodes.
  bool Open(AVFormatContext* format, AVMediaType type);
  void Close();
  void Flush();
};

// The pixel layout of a surface the stream can write, or AV_PIX_FMT_NONE.
AVPixelFormat SurfaceFormat(const DDPIXELFORMAT& f);

// ---- the multimedia stream (dshow_stream.cpp) ----------------------------------------------

class MultiMediaStream final : public ComObject<IAMMultiMediaStream, IAMMediaStream, IDirectDrawMediaStream> {
 public:
  MultiMediaStream() { Host().count_stream(1); }

  HRESULT QueryInterface(REFIID iid, void** out) override;

  // ---- IAMMultiMediaStream
  HRESULT Initialize(STREAM_TYPE type, DWORD flags, IGraphBuilder* graph) override;
  HRESULT AddMediaStream(IUnknown* object, const MSPID* purpose, DWORD flags, IMediaStream** added) override;
  HRESULT OpenFile(const WCHAR* path, DWORD flags) override;

  // ---- IMultiMediaStream
  HRESULT GetState(STREAM_STATE* state) override;
  HRESULT SetState(STREAM_STATE state) override;
  HRESULT GetTime(STREAM_TIME* time) override;
  HRESULT Seek(STREAM_TIME time) override;
  HRESULT GetMediaStream(const MSPID& purpose, IMediaStream** stream) override;

  // ---- IDirectDrawMediaStream
  HRESULT GetFormat(DDSURFACEDESC* current, void** palette, DDSURFACEDESC* desired, DWORD* flags) override;
  HRESULT CreateSample(IDirectDrawSurface* surface, const RECT* rect, DWORD flags,
                       IDirectDrawStreamSample** sample) override;

  // ---- what the sample and the graph call
  HRESULT UpdateSample(StreamSample* sample, HANDLE event);
  HRESULT Pause();
  // Whether the thread has done all that the clock lets it do now (see
  // DshowStreamSettled); the same conditions as the thread's loop.
  bool Settled();
  void SampleGone(StreamSample* sample);

 private:
  ~MultiMediaStream() override;

  // Clock: stream time advances with the source (played sound, or the
  // system clock) while the stream runs. Callers hold mutex_.
  int64_t SourceNow() {
    if (sound_) return int64_t(played_bytes_) * kUnitsPerSecond / (kAudioRate * kAudioBlock);
    return Host().now();
  }
  int64_t Now() { return running_ ? origin_ + (SourceNow() - source_at_start_) : origin_; }
  void StartClock();
  void StopClock();

  // ---- the default sound renderer (dshow_sound.cpp)
  bool OpenAudio();
  void CloseAudio();
  void FeedSound();
  void TrackSoundCursor();

  // ---- the decoding thread (dshow_decoder.cpp)
  void Run();
  bool ReadPacket();
  AVFrame* DecodeVideoFrame();
  bool DecodeAudio(std::vector<uint8_t>* pcm);  // 16-bit stereo PCM at kAudioRate
  // Puts the demuxer at a stream time (at or before 0: its first packet)
  // and starts both decoders over.
  void Reposition(int64_t time);
  void SeekInThread(int64_t target);
  int64_t FrameTime(const AVFrame* frame, const Decoder& d) {
    int64_t pts = frame->best_effort_timestamp;
    if (pts == AV_NOPTS_VALUE) return last_video_time_ + frame_interval_;
    return av_rescale_q(pts, d.time_base, kStreamTimeBase) - start_time_;
  }

  // ---- samples (dshow_sample.cpp)
  bool WritePicture(StreamSample* sample);  // caller holds mutex_

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
  uint8_t* picture_ = nullptr;  // the scaler's output, before it goes into the sample's surface
  unsigned picture_size_ = 0;
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

// ---- the stream sample (dshow_sample.cpp) ---------------------------------------------------

class StreamSample final : public ComObject<IDirectDrawStreamSample> {
 public:
  StreamSample(MultiMediaStream* stream, IDirectDrawSurface* surface, IDirectDrawSurface4* surface4, RECT rect,
               AVPixelFormat format);
  HRESULT QueryInterface(REFIID iid, void** out) override;
  HRESULT GetSurface(IDirectDrawSurface** surface, RECT* rect) override;
  HRESULT Update(DWORD flags, HANDLE event, void* apc, uintptr_t apc_data) override;

  IDirectDrawSurface4* surface4() const { return surface4_; }
  const RECT& rect() const { return rect_; }
  AVPixelFormat format() const { return format_; }

 private:
  ~StreamSample() override;
  MultiMediaStream* stream_;
  IDirectDrawSurface* surface_;
  IDirectDrawSurface4* surface4_;
  RECT rect_;
  AVPixelFormat format_;
};

}  // namespace vox_dshow
