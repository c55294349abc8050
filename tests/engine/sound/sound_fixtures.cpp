#include "tests/engine/sound/sound_fixtures.h"

#include <vorbis/vorbisenc.h>

#include <cstdlib>

Bytes EncodeOggVorbis(const std::vector<int16_t>& samples, int channels, int rate, int serial) {
  Bytes out;
  vorbis_info vi;
  vorbis_info_init(&vi);
  if (vorbis_encode_init_vbr(&vi, channels, rate, 0.4f) != 0) {
    vorbis_info_clear(&vi);
    return out;
  }
  vorbis_comment vc;
  vorbis_comment_init(&vc);
  vorbis_dsp_state vd;
  vorbis_block vb;
  vorbis_analysis_init(&vd, &vi);
  vorbis_block_init(&vd, &vb);
  ogg_stream_state os;
  ogg_stream_init(&os, serial);
  ogg_packet header, comment, code;
  vorbis_analysis_headerout(&vd, &vc, &header, &comment, &code);
  ogg_stream_packetin(&os, &header);
  ogg_stream_packetin(&os, &comment);
  ogg_stream_packetin(&os, &code);
  ogg_page page;
  auto append = [&](const ogg_page& p) {
    out.insert(out.end(), p.header, p.header + p.header_len);
    out.insert(out.end(), p.body, p.body + p.body_len);
  };
  while (ogg_stream_flush(&os, &page)) append(page);

  const size_t frames = samples.size() / channels;
  size_t done = 0;
  bool eos = false;
  while (!eos) {
    const size_t n = std::min<size_t>(1024, frames - done);
    if (n == 0) {
      vorbis_analysis_wrote(&vd, 0);
    } else {
      float** buffer = vorbis_analysis_buffer(&vd, int(n));
      for (size_t i = 0; i < n; ++i)
        for (int c = 0; c < channels; ++c) buffer[c][i] = samples[(done + i) * channels + c] / 32768.f;
      vorbis_analysis_wrote(&vd, int(n));
      done += n;
    }
    while (vorbis_analysis_blockout(&vd, &vb) == 1) {
      vorbis_analysis(&vb, nullptr);
      vorbis_bitrate_addblock(&vb);
      ogg_packet packet;
      while (vorbis_bitrate_flushpacket(&vd, &packet)) {
        ogg_stream_packetin(&os, &packet);
        while (ogg_stream_pageout(&os, &page)) {
          append(page);
          if (ogg_page_eos(&page)) eos = true;
        }
      }
    }
    if (n == 0 && !eos) {
      while (ogg_stream_flush(&os, &page)) {
        append(page);
        if (ogg_page_eos(&page)) eos = true;
      }
      eos = true;
    }
  }
  ogg_stream_clear(&os);
  vorbis_block_clear(&vb);
  vorbis_dsp_clear(&vd);
  vorbis_comment_clear(&vc);
  vorbis_info_clear(&vi);
  return out;
}

Bytes MpegFrames(const uint8_t header[4], int frame_size, int count) {
  Bytes out;
  for (int i = 0; i < count; ++i) {
    out.insert(out.end(), header, header + 4);
    out.insert(out.end(), size_t(frame_size - 4), 0);
  }
  return out;
}

Bytes MpegWave(const Bytes& frames, int channels, int rate, uint32_t average_bytes) {
  MPEGLAYER3WAVEFORMAT f{};
  f.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
  f.wfx.nChannels = WORD(channels);
  f.wfx.nSamplesPerSec = DWORD(rate);
  f.wfx.nAvgBytesPerSec = average_bytes;
  f.wfx.nBlockAlign = 1;
  f.wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
  f.wID = MPEGLAYER3_ID_MPEG;
  f.nBlockSize = 417;
  f.nFramesPerBlock = 1;
  return WaveFile(FormatBody(&f, sizeof f, sizeof f), frames);
}
