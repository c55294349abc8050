#include "tools/assetgen/ogg_vorbis.h"

#include <vorbis/vorbisenc.h>

#include <algorithm>

namespace {

void AppendPage(std::vector<uint8_t>* out, const ogg_page& page) {
  out->insert(out->end(), page.header, page.header + page.header_len);
  out->insert(out->end(), page.body, page.body + page.body_len);
}

void FlushPages(ogg_stream_state* stream, std::vector<uint8_t>* out) {
  ogg_page page;
  while (ogg_stream_flush(stream, &page)) AppendPage(out, page);
}

}  // namespace

std::vector<uint8_t> VorbisPages::File() const {
  std::vector<uint8_t> file = begin;
  file.insert(file.end(), headers.begin(), headers.end());
  file.insert(file.end(), audio.begin(), audio.end());
  return file;
}

bool EncodeVorbisPages(const float* samples, size_t frames, const VorbisSettings& settings, VorbisPages* out) {
  vorbis_info info;
  vorbis_info_init(&info);
  if (vorbis_encode_init_vbr(&info, settings.channels, settings.rate, settings.quality) != 0) {
    vorbis_info_clear(&info);
    return false;
  }
  vorbis_comment comment;
  vorbis_comment_init(&comment);
  if (settings.title) vorbis_comment_add_tag(&comment, "TITLE", settings.title);
  vorbis_dsp_state dsp;
  vorbis_block block;
  vorbis_analysis_init(&dsp, &info);
  vorbis_block_init(&dsp, &block);
  ogg_stream_state stream;
  ogg_stream_init(&stream, settings.serial);
  ogg_packet identification, comment_header, setup;
  vorbis_analysis_headerout(&dsp, &comment, &identification, &comment_header, &setup);
  ogg_stream_packetin(&stream, &identification);
  FlushPages(&stream, &out->begin);
  ogg_stream_packetin(&stream, &comment_header);
  ogg_stream_packetin(&stream, &setup);
  FlushPages(&stream, &out->headers);

  const int channels = settings.channels;
  for (size_t at = 0;;) {
    // An empty chunk tells the encoder the sound has ended.
    const size_t chunk = std::min<size_t>(1024, frames - at);
    if (chunk == 0) {
      vorbis_analysis_wrote(&dsp, 0);
    } else {
      float** buffer = vorbis_analysis_buffer(&dsp, (int)chunk);
      for (size_t i = 0; i < chunk; ++i)
        for (int c = 0; c < channels; ++c) buffer[c][i] = samples[(at + i) * channels + c];
      vorbis_analysis_wrote(&dsp, (int)chunk);
      at += chunk;
    }
    while (vorbis_analysis_blockout(&dsp, &block) == 1) {
      vorbis_analysis(&block, nullptr);
      vorbis_bitrate_addblock(&block);
      ogg_packet packet;
      while (vorbis_bitrate_flushpacket(&dsp, &packet)) {
        ogg_stream_packetin(&stream, &packet);
        ogg_page page;
        while (ogg_stream_pageout(&stream, &page)) AppendPage(&out->audio, page);
      }
    }
    if (chunk == 0) break;
  }
  // The end-of-stream packet forces its page out above; nothing is left
  // unless the encoder gave no such packet.
  FlushPages(&stream, &out->audio);
  ogg_stream_clear(&stream);
  vorbis_block_clear(&block);
  vorbis_dsp_clear(&dsp);
  vorbis_comment_clear(&comment);
  vorbis_info_clear(&info);
  return true;
}
