#include "tests/engine/sound/sound_fixtures.h"

#include "tools/assetgen/ogg_vorbis.h"

Bytes EncodeOggVorbis(const std::vector<int16_t>& samples, int channels, int rate, int serial) {
  std::vector<float> scaled(samples.size());
  for (size_t i = 0; i < samples.size(); ++i) scaled[i] = samples[i] / 32768.f;
  VorbisSettings settings;
  settings.channels = channels;
  settings.rate = rate;
  settings.quality = 0.4f;
  settings.serial = serial;
  VorbisPages pages;
  if (!EncodeVorbisPages(scaled.data(), samples.size() / channels, settings, &pages)) return {};
  return pages.File();
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
