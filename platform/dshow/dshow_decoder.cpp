// The stream's decoding thread: it reads the file's packets, keeps the next
// picture decoded ahead, writes it into a pending sample once it is due,
// repositions on a seek and keeps the sound renderer's ring fed.
#include <algorithm>
#include <functional>

#include "platform/dshow/dshow_internal.h"

namespace vox_dshow {

// ---- one decoded stream ------------------------------------------------------------------------

bool Decoder::Open(AVFormatContext* format, AVMediaType type) {
  const AVCodec* codec = nullptr;
  int best = av_find_best_stream(format, type, -1, -1, &codec, 0);
  if (best < 0 || !codec) return false;
  context = avcodec_alloc_context3(codec);
  if (!context || avcodec_parameters_to_context(context, format->streams[best]->codecpar) < 0 ||
      avcodec_open2(context, codec, nullptr) < 0) {
    avcodec_free_context(&context);
    return false;
  }
  index = best;
  time_base = format->streams[best]->time_base;
  return true;
}

void Decoder::Close() {
  for (AVPacket* p : packets) av_packet_free(&p);
  packets.clear();
  avcodec_free_context(&context);
}

void Decoder::Flush() {
  for (AVPacket* p : packets) av_packet_free(&p);
  packets.clear();
  if (context) avcodec_flush_buffers(context);
  drained = false;
}

namespace {

// Sends packets until the decoder gives a frame; false once it has given
// its last.
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

}  // namespace

// ---- reading and decoding ------------------------------------------------------------------------

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
                     : av_rescale_q(work_->best_effort_timestamp, audio_.time_base, kStreamTimeBase) - start_time_;
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

// ---- the thread ----------------------------------------------------------------------------------

void MultiMediaStream::Reposition(int64_t time) {
  // At or before time 0 the demuxer goes to its first packet (the earliest
  // time there is): a program stream is looked up by decoding stamps, and
  // the first picture's lies before its showing stamp, time 0, so a seek to
  // time 0 would land on the second picture.
  if (time > 0 || avformat_seek_file(format_, -1, INT64_MIN, INT64_MIN, INT64_MIN, 0) < 0)
    av_seek_frame(format_, -1, av_rescale_q(std::max<int64_t>(time, 0) + start_time_, kStreamTimeBase, AV_TIME_BASE_Q),
                  AVSEEK_FLAG_BACKWARD);
  video_.Flush();
  audio_.Flush();
  if (resampler_) swr_init(resampler_);
  demux_ended_ = false;
  last_video_time_ = time - frame_interval_;  // a first picture without a stamp counts as due at `time`
}

void MultiMediaStream::SeekInThread(int64_t target) {
  // A demuxer without an index (an MPEG program or transport stream) lands
  // on the last packet stamped at or before the time, which may lie past the
  // key frame the picture due then is decoded from: the decoder then passes
  // over the pictures up to the next key frame, or gives none before the
  // end. So the first picture decoded must be due at or before the target;
  // until it is, the demuxer starts again further back (a second, then
  // twice as far each time), at last from the beginning.
  AVFrame* frame = nullptr;
  for (int64_t back = 0;; back = back >= target / 2 ? target : std::max(2 * back, kUnitsPerSecond)) {
    const int64_t from = target - back;
    Reposition(from);
    frame = DecodeVideoFrame();
    if (!video_.context || from <= 0 || (frame && FrameTime(frame, video_) <= target)) break;
    av_frame_free(&frame);
  }
  // The sound starts at the target, whatever came before it.
  audio_skip_until_ = target;
  // Pictures before the target are passed over.
  while (frame) {
    last_video_time_ = FrameTime(frame, video_);
    if (last_video_time_ + frame_interval_ > target) break;
    av_frame_free(&frame);
    frame = DecodeVideoFrame();
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
        Host().set_event(pending_event_);
        pending_sample_ = nullptr;
        pending_event_ = nullptr;
        done_.notify_all();
        continue;
      }
      if (!seek && !need_picture && pending_sample_ && !next_ && video_ended_) {
        // The end: the caller's next update learns it.
        Host().set_event(pending_event_);
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

}  // namespace vox_dshow
