// The sample codecs behind the compression manager, free of its bookkeeping:
// G.711 A-law and mu-law expansion, IMA ADPCM and Microsoft ADPCM block
// decoding, and MPEG audio frame headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace acm_codecs {

int16_t Pcm8ToLinear(uint8_t v);
int16_t ALawToLinear(uint8_t v);
int16_t MuLawToLinear(uint8_t v);

struct AdpcmCoef {
  int16_t c1;
  int16_t c2;
};

// Sample frames that `block_bytes` of a block hold (0 when the bytes do not
// even hold the block header).
unsigned ImaSamplesPerBlock(unsigned block_bytes, unsigned channels);
unsigned MsAdpcmSamplesPerBlock(unsigned block_bytes, unsigned channels);

// Decode one block of `block_bytes` into `frames` interleaved sample frames
// (frames <= the block's samples per block).
void DecodeImaBlock(const uint8_t* block, unsigned block_bytes, unsigned channels, unsigned frames,
                    int16_t* out);
// Predictor indices beyond the table make the block decode as silence.
void DecodeMsAdpcmBlock(const uint8_t* block, unsigned block_bytes, unsigned channels,
                        unsigned frames, const std::vector<AdpcmCoef>& coefs, int16_t* out);

// MPEG audio (versions 1, 2 and 2.5; layers I to III) frame header.
struct MpegFrame {
  unsigned version;  // 1 = MPEG-1, 2 = MPEG-2, 25 = MPEG-2.5
  unsigned layer;    // 1..3
  unsigned bitrate_kbps;
  unsigned rate;
  unsigned channels;
  unsigned padding;
  unsigned samples;  // per channel
  unsigned size;     // bytes, header included
};
constexpr unsigned kMpegMaxFrameSamples = 1152;
// False for anything but a complete, fixed-rate frame header (free format and
// reserved fields are refused).
bool ParseMpegFrame(const uint8_t* p, MpegFrame* frame);
bool MpegRateSupported(unsigned rate);

}  // namespace acm_codecs
