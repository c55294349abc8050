// Ogg Vorbis streams from interleaved float samples, with libvorbisenc: the
// asset generator's music and the tests' sound and movie fixtures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct VorbisSettings {
  int channels = 2;
  int rate = 44100;
  float quality = 0.4f;  // -0.1 .. 1
  int serial = 1;  // of the logical stream
  const char* title = nullptr;  // a TITLE comment when set
};

// One logical stream's pages in the groups a file that interleaves it with
// other streams lays out apart: the page that begins it (the identification
// header alone), the pages of the comment and setup headers, and the audio
// pages, the last of them marked as the stream's end.
struct VorbisPages {
  std::vector<uint8_t> begin, headers, audio;
  // The stream as a file of its own.
  std::vector<uint8_t> File() const;
};

// Encodes `frames` frames (full scale +-1, channels interleaved); the
// stream holds exactly those frames, so a sound made to loop still loops
// without a gap. False when the encoder refuses the settings.
bool EncodeVorbisPages(const float* samples, size_t frames, const VorbisSettings& settings, VorbisPages* out);
