#include "tests/engine/movie/movie_fixtures.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
}
#include <ogg/ogg.h>
#include <theora/theoradec.h>
#include <theora/theoraenc.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "tools/assetgen/ogg_vorbis.h"

namespace {

void AppendPage(Bytes* out, const ogg_page& page) {
  out->insert(out->end(), page.header, page.header + page.header_len);
  out->insert(out->end(), page.body, page.body + page.body_len);
}

void FlushPages(ogg_stream_state* s, Bytes* out) {
  ogg_page page;
  while (ogg_stream_flush(s, &page)) AppendPage(out, page);
}

void OutPages(ogg_stream_state* s, Bytes* out) {
  ogg_page page;
  while (ogg_stream_pageout(s, &page)) AppendPage(out, page);
}

// A 440 Hz sine at 0.4 on both channels, as one stream's page groups.
VorbisPages EncodeVorbis(double seconds, int serial) {
  const int rate = 44100;
  const size_t frames = size_t(int(seconds * rate));
  std::vector<float> samples(frames * 2);
  for (size_t i = 0; i < frames; i++)
    samples[2 * i] = samples[2 * i + 1] = 0.4f * float(std::sin(2 * M_PI * 440.0 * double(i) / rate));
  VorbisSettings settings;
  settings.quality = 0.2f;
  settings.serial = serial;
  VorbisPages pages;
  if (!EncodeVorbisPages(samples.data(), frames, settings, &pages)) throw std::runtime_error("vorbis encoder");
  return pages;
}

}  // namespace

Bytes MakeTheoraMovie(const TheoraMovieSpec& spec) {
  th_info info;
  th_info_init(&info);
  info.frame_width = (spec.width + 15) & ~15;
  info.frame_height = (spec.height + 15) & ~15;
  info.pic_width = spec.width;
  info.pic_height = spec.height;
  info.fps_numerator = spec.fps_numerator;
  info.fps_denominator = spec.fps_denominator;
  info.aspect_numerator = info.aspect_denominator = 1;
  info.colorspace = TH_CS_UNSPECIFIED;
  const th_pixel_fmt formats[] = {TH_PF_420, TH_PF_422, TH_PF_444};
  info.pixel_fmt = formats[spec.chroma];
  info.quality = 63;
  info.keyframe_granule_shift = 6;
  th_enc_ctx* enc = th_encode_alloc(&info);
  if (!enc) throw std::runtime_error("theora encoder");
  int interval = spec.key_interval;
  th_encode_ctl(enc, TH_ENCCTL_SET_KEYFRAME_FREQUENCY_FORCE, &interval, sizeof interval);
  ogg_stream_state os;
  ogg_stream_init(&os, int(kTheoraSerial));
  Bytes bos, headers, data;
  th_comment comment;
  th_comment_init(&comment);
  ogg_packet packet;
  bool first = true;
  while (th_encode_flushheader(enc, &comment, &packet) > 0) {
    if (first && spec.zero_frame_rate) {
      // Frame-rate numerator and denominator follow the version, the sizes
      // and the picture offsets in the identification header.
      std::memset(packet.packet + 22, 0, 8);
    }
    ogg_stream_packetin(&os, &packet);
    FlushPages(&os, first ? &bos : &headers);
    first = false;
  }
  const int yw = int(info.frame_width), yh = int(info.frame_height);
  const int cw = spec.chroma == CHROMA_444 ? yw : yw / 2, ch = spec.chroma == CHROMA_420 ? yh / 2 : yh;
  std::vector<unsigned char> y(size_t(yw) * yh), u(size_t(cw) * ch, 128), v(u);
  if (spec.colour)
    for (int row = 0; row < ch; row++)
      for (int col = 0; col < cw; col++) {
        u[size_t(row) * cw + col] = (unsigned char)MovieChroma(col, cw);
        v[size_t(row) * cw + col] = (unsigned char)MovieChroma(row, ch);
      }
  for (int f = 0; f < spec.frames; f++) {
    for (int row = 0; row < yh; row++)
      std::memset(&y[size_t(row) * yw], row < yh / 4 ? 235 : FrameLuma(f), size_t(yw));
    th_ycbcr_buffer buffer;
    buffer[0] = {yw, yh, yw, y.data()};
    buffer[1] = {cw, ch, cw, u.data()};
    buffer[2] = {cw, ch, cw, v.data()};
    th_encode_ycbcr_in(enc, buffer);
    while (th_encode_packetout(enc, f == spec.frames - 1, &packet) > 0) {
      ogg_stream_packetin(&os, &packet);
      OutPages(&os, &data);
    }
  }
  FlushPages(&os, &data);
  ogg_stream_clear(&os);
  th_comment_clear(&comment);
  th_encode_free(enc);
  th_info_clear(&info);

  Bytes out;
  if (spec.sound_seconds > 0) {
    VorbisPages sound = EncodeVorbis(spec.sound_seconds, 0x5601);
    auto add = [&](const Bytes& b) { out.insert(out.end(), b.begin(), b.end()); };
    if (spec.sound_first) add(sound.begin), add(bos);
    else add(bos), add(sound.begin);
    add(headers);
    add(sound.headers);
    add(data);
    add(sound.audio);
    return out;
  }
  out = bos;
  out.insert(out.end(), headers.begin(), headers.end());
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

DecodedFrame DecodeTheoraFrame(const Bytes& ogg, int frame) {
  ogg_sync_state sync;
  ogg_sync_init(&sync);
  char* buffer = ogg_sync_buffer(&sync, long(ogg.size()));
  std::memcpy(buffer, ogg.data(), ogg.size());
  ogg_sync_wrote(&sync, long(ogg.size()));
  ogg_stream_state stream;
  ogg_stream_init(&stream, int(kTheoraSerial));
  th_info info;
  th_info_init(&info);
  th_comment comment;
  th_comment_init(&comment);
  th_setup_info* setup = nullptr;
  th_dec_ctx* decoder = nullptr;
  DecodedFrame out;
  int frames = 0;
  ogg_page page;
  ogg_packet packet;
  while (frames <= frame && ogg_sync_pageout(&sync, &page) > 0) {
    if (ogg_page_serialno(&page) != int(kTheoraSerial)) continue;
    ogg_stream_pagein(&stream, &page);
    while (frames <= frame && ogg_stream_packetout(&stream, &packet) > 0) {
      if (!decoder) {
        if (th_decode_headerin(&info, &comment, &setup, &packet) > 0) continue;
        decoder = th_decode_alloc(&info, setup);
        if (!decoder) throw std::runtime_error("theora decoder");
      }
      th_decode_packetin(decoder, &packet, nullptr);
      if (frames++ < frame) continue;
      th_ycbcr_buffer planes;
      th_decode_ycbcr_out(decoder, planes);
      out.y_width = planes[0].width, out.y_height = planes[0].height;
      out.uv_width = planes[1].width, out.uv_height = planes[1].height;
      for (int p = 0; p < 3; p++) {
        std::vector<uint8_t>& plane = p == 0 ? out.y : p == 1 ? out.u : out.v;
        for (int row = 0; row < planes[p].height; row++)
          plane.insert(plane.end(), planes[p].data + row * planes[p].stride,
                       planes[p].data + row * planes[p].stride + planes[p].width);
      }
    }
  }
  th_decode_free(decoder);
  th_setup_free(setup);
  th_comment_clear(&comment);
  th_info_clear(&info);
  ogg_stream_clear(&stream);
  ogg_sync_clear(&sync);
  if (out.y.empty()) throw std::runtime_error("no such frame");
  return out;
}

int FrameOfLuma(double luma) {
  int f = int(std::lround((luma - 20) / 2));
  return f >= 0 && f < 100 && std::fabs(luma - FrameLuma(f)) < 0.95 ? f : -1;
}

namespace {

struct Muxer {
  AVFormatContext* format = nullptr;
  Bytes* out;
  static int Write(void* opaque, uint8_t* buf, int size) {
    auto* m = static_cast<Muxer*>(opaque);
    m->out->insert(m->out->end(), buf, buf + size);
    return size;
  }
};

void Send(AVCodecContext* codec, AVFrame* frame, AVFormatContext* format, AVStream* stream) {
  avcodec_send_frame(codec, frame);
  AVPacket* packet = av_packet_alloc();
  while (avcodec_receive_packet(codec, packet) == 0) {
    av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
    packet->stream_index = stream->index;
    av_interleaved_write_frame(format, packet);
  }
  av_packet_free(&packet);
}

}  // namespace

Bytes MakeMpegMovie(const MpegMovieSpec& spec) {
  Bytes out;
  Muxer muxer;
  muxer.out = &out;
  avformat_alloc_output_context2(&muxer.format, nullptr, spec.container, nullptr);
  if (!muxer.format) throw std::runtime_error("muxer");
  const AVCodec* vcodec = avcodec_find_encoder(AV_CODEC_ID_MPEG1VIDEO);
  AVStream* vs = avformat_new_stream(muxer.format, nullptr);
  AVCodecContext* vc = avcodec_alloc_context3(vcodec);
  vc->width = spec.width;
  vc->height = spec.height;
  vc->time_base = AVRational{1, spec.fps};
  vc->framerate = AVRational{spec.fps, 1};
  vc->pix_fmt = AV_PIX_FMT_YUV420P;
  vc->gop_size = 5;
  vc->max_b_frames = 0;
  vc->bit_rate = 2000000;
  if (muxer.format->oformat->flags & AVFMT_GLOBALHEADER) vc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (avcodec_open2(vc, vcodec, nullptr) < 0) throw std::runtime_error("mpeg1 encoder");
  avcodec_parameters_from_context(vs->codecpar, vc);
  vs->time_base = vc->time_base;
  AVCodecContext* ac = nullptr;
  AVStream* as = nullptr;
  if (spec.sound) {
    const AVCodec* acodec = avcodec_find_encoder(AV_CODEC_ID_MP2);
    as = avformat_new_stream(muxer.format, nullptr);
    ac = avcodec_alloc_context3(acodec);
    ac->sample_rate = 44100;
    ac->sample_fmt = AV_SAMPLE_FMT_S16;
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    av_channel_layout_copy(&ac->ch_layout, &stereo);
    ac->bit_rate = 192000;
    ac->time_base = AVRational{1, 44100};
    if (avcodec_open2(ac, acodec, nullptr) < 0) throw std::runtime_error("mp2 encoder");
    avcodec_parameters_from_context(as->codecpar, ac);
    as->time_base = ac->time_base;
  }
  const int buffer_size = 4096;
  auto* buffer = static_cast<uint8_t*>(av_malloc(buffer_size));
  muxer.format->pb = avio_alloc_context(buffer, buffer_size, 1, &muxer, nullptr, Muxer::Write, nullptr);
  muxer.format->flags |= AVFMT_FLAG_CUSTOM_IO;
  if (avformat_write_header(muxer.format, nullptr) < 0) throw std::runtime_error("header");

  AVFrame* frame = av_frame_alloc();
  frame->format = vc->pix_fmt;
  frame->width = vc->width;
  frame->height = vc->height;
  av_frame_get_buffer(frame, 0);
  AVFrame* sound = nullptr;
  int64_t samples_done = 0;
  if (ac) {
    sound = av_frame_alloc();
    sound->format = ac->sample_fmt;
    sound->nb_samples = ac->frame_size;
    av_channel_layout_copy(&sound->ch_layout, &ac->ch_layout);
    av_frame_get_buffer(sound, 0);
  }
  for (int f = 0; f < spec.frames; f++) {
    av_frame_make_writable(frame);
    const int grey = MpegFrameGrey(f);
    const int luma = 16 + grey * 219 / 255;
    const int cw = (vc->width + 1) / 2, ch = (vc->height + 1) / 2;
    for (int row = 0; row < vc->height; row++) {
      uint8_t* y = frame->data[0] + row * frame->linesize[0];
      std::memset(y, luma, vc->width);
      if (spec.detailed)
        for (int x = 0; x < vc->width; x++)
          y[x] = uint8_t(40 + 140 * x / vc->width + x / 2 % 2 * 20 + 12 * row / vc->height);
      if (spec.numbered && row < 8)
        for (int x = 0; x < std::min(vc->width, 64); x++) y[x] = f >> (x / 8) & 1 ? 235 : 16;
    }
    for (int row = 0; row < ch; row++) {
      uint8_t* u = frame->data[1] + row * frame->linesize[1];
      uint8_t* v = frame->data[2] + row * frame->linesize[2];
      std::memset(u, 128, cw);
      std::memset(v, 128, cw);
      if (spec.detailed)
        for (int x = 0; x < cw; x++) u[x] = uint8_t(64 + 128 * x / cw), v[x] = uint8_t(64 + 128 * row / ch);
    }
    frame->pts = f;
    Send(vc, frame, muxer.format, vs);
    // Sound up to the end of this picture.
    while (ac && samples_done < int64_t(f + 1) * 44100 / spec.fps) {
      av_frame_make_writable(sound);
      auto* s = reinterpret_cast<int16_t*>(sound->data[0]);
      for (int i = 0; i < sound->nb_samples; i++) {
        const int64_t at = samples_done + i;
        const int amplitude = spec.numbered ? MpegSoundAmplitude(int(at * spec.fps / 44100)) : 12000;
        s[2 * i] = s[2 * i + 1] = int16_t(amplitude * std::sin(2 * M_PI * 440.0 * double(at) / 44100));
      }
      sound->pts = samples_done;
      samples_done += sound->nb_samples;
      Send(ac, sound, muxer.format, as);
    }
  }
  Send(vc, nullptr, muxer.format, vs);
  if (ac) Send(ac, nullptr, muxer.format, as);
  av_write_trailer(muxer.format);
  av_frame_free(&frame);
  av_frame_free(&sound);
  avcodec_free_context(&vc);
  avcodec_free_context(&ac);
  av_freep(&muxer.format->pb->buffer);
  avio_context_free(&muxer.format->pb);
  avformat_free_context(muxer.format);
  return out;
}

DecodedFrame DecodeMovieFrame(const std::string& path, int wanted) {
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) throw std::runtime_error("cannot open " + path);
  avformat_find_stream_info(format, nullptr);
  const AVCodec* codec = nullptr;
  const int index = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
  AVCodecContext* decoder = index >= 0 ? avcodec_alloc_context3(codec) : nullptr;
  if (!decoder || avcodec_parameters_to_context(decoder, format->streams[index]->codecpar) < 0 ||
      avcodec_open2(decoder, codec, nullptr) < 0)
    throw std::runtime_error("no video decoder for " + path);
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  DecodedFrame out;
  for (int frames = 0;;) {
    const int got = avcodec_receive_frame(decoder, frame);
    if (got == 0) {
      if (frames++ < wanted) continue;
      if (frame->format != AV_PIX_FMT_YUV420P) break;
      out.y_width = frame->width, out.y_height = frame->height;
      out.uv_width = (frame->width + 1) / 2, out.uv_height = (frame->height + 1) / 2;
      for (int p = 0; p < 3; p++) {
        std::vector<uint8_t>& plane = p == 0 ? out.y : p == 1 ? out.u : out.v;
        const int width = p ? out.uv_width : out.y_width, height = p ? out.uv_height : out.y_height;
        for (int row = 0; row < height; row++)
          plane.insert(plane.end(), frame->data[p] + row * frame->linesize[p],
                       frame->data[p] + row * frame->linesize[p] + width);
      }
      break;
    }
    if (got != AVERROR(EAGAIN)) break;  // drained, or failed
    if (av_read_frame(format, packet) < 0) {
      avcodec_send_packet(decoder, nullptr);  // what the decoder still holds
      continue;
    }
    if (packet->stream_index == index) avcodec_send_packet(decoder, packet);
    av_packet_unref(packet);
  }
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&decoder);
  avformat_close_input(&format);
  if (out.y.empty()) throw std::runtime_error("no such 4:2:0 picture in " + path);
  return out;
}

std::vector<uint32_t> ReferenceRgb(const DecodedFrame& f) {
  std::vector<uint32_t> out((size_t)f.y_width * f.y_height);
  auto channel = [](double v) { return (uint32_t)std::clamp((int)std::lround(v), 0, 255); };
  for (int y = 0; y < f.y_height; y++)
    for (int x = 0; x < f.y_width; x++) {
      const size_t c = (size_t)(y * f.uv_height / f.y_height) * f.uv_width + x * f.uv_width / f.y_width;
      const double l = 1.164 * (f.y[(size_t)y * f.y_width + x] - 16), u = f.u[c] - 128.0, v = f.v[c] - 128.0;
      out[(size_t)y * f.y_width + x] =
          channel(l + 1.596 * v) << 16 | channel(l - 0.391 * u - 0.813 * v) << 8 | channel(l + 2.018 * u);
    }
  return out;
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) throw std::runtime_error("cannot write " + path);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

Bytes KeepOggSerial(const Bytes& ogg, uint32_t keep) {
  Bytes out;
  for (size_t i = 0; i + 27 <= ogg.size();) {
    size_t segments = ogg[i + 26], body = 0;
    for (size_t k = 0; k < segments; k++) body += ogg[i + 27 + k];
    size_t length = 27 + segments + body;
    uint32_t serial = ogg[i + 14] | ogg[i + 15] << 8 | ogg[i + 16] << 16 | uint32_t(ogg[i + 17]) << 24;
    if (serial == keep) out.insert(out.end(), ogg.begin() + i, ogg.begin() + i + length);
    i += length;
  }
  return out;
}
