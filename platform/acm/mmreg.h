// Wave format records as the multimedia layer lays them out: the common
// 18-byte WAVEFORMATEX and the extensions of the compressed formats that the
// compression manager converts. All of them are byte-packed, exactly as they
// stand in a WAVE file's "fmt " chunk.
#pragma once

#include "platform/win32/win32.h"

// Format tags.
#define WAVE_FORMAT_PCM 0x0001
#define WAVE_FORMAT_ADPCM 0x0002      // Microsoft ADPCM (4 bits, coefficient sets)
#define WAVE_FORMAT_ALAW 0x0006
#define WAVE_FORMAT_MULAW 0x0007
#define WAVE_FORMAT_IMA_ADPCM 0x0011  // IMA/DVI ADPCM (4 bits)
#define WAVE_FORMAT_DVI_ADPCM 0x0011
#define WAVE_FORMAT_MPEGLAYER3 0x0055 // MPEG audio frames (layers I to III decode alike here)

#pragma pack(push, 1)

struct WAVEFORMATEX {
  WORD wFormatTag;
  WORD nChannels;
  DWORD nSamplesPerSec;
  DWORD nAvgBytesPerSec;
  WORD nBlockAlign;
  WORD wBitsPerSample;
  WORD cbSize;  // bytes of extension that follow this record
};
typedef WAVEFORMATEX* LPWAVEFORMATEX;
typedef const WAVEFORMATEX* LPCWAVEFORMATEX;

// The 16-byte form (no cbSize) that old PCM "fmt " chunks carry.
struct WAVEFORMAT {
  WORD wFormatTag;
  WORD nChannels;
  DWORD nSamplesPerSec;
  DWORD nAvgBytesPerSec;
  WORD nBlockAlign;
};
struct PCMWAVEFORMAT {
  WAVEFORMAT wf;
  WORD wBitsPerSample;
};

// Microsoft ADPCM: cbSize = 4 + 4 * wNumCoef. The coefficient table runs past
// the declared single entry; read it through the record's bytes.
struct ADPCMCOEFSET {
  int16_t iCoef1;
  int16_t iCoef2;
};
struct ADPCMWAVEFORMAT {
  WAVEFORMATEX wfx;
  WORD wSamplesPerBlock;
  WORD wNumCoef;
  ADPCMCOEFSET aCoef[1];
};

// IMA ADPCM: cbSize = 2.
struct IMAADPCMWAVEFORMAT {
  WAVEFORMATEX wfx;
  WORD wSamplesPerBlock;
};

// MPEG audio frames: cbSize = MPEGLAYER3_WFX_EXTRA_BYTES (12).
struct MPEGLAYER3WAVEFORMAT {
  WAVEFORMATEX wfx;
  WORD wID;
  DWORD fdwFlags;
  WORD nBlockSize;
  WORD nFramesPerBlock;
  WORD nCodecDelay;
};

#pragma pack(pop)

// A plain PCM format: whole sample frames of `channels` x `bits`.
inline WAVEFORMATEX MakePcmWaveFormat(int channels, int rate, int bits) {
  WAVEFORMATEX f{};
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = (WORD)channels;
  f.nSamplesPerSec = (DWORD)rate;
  f.wBitsPerSample = (WORD)bits;
  f.nBlockAlign = (WORD)(channels * bits / 8);
  f.nAvgBytesPerSec = f.nBlockAlign * f.nSamplesPerSec;
  return f;
}

static_assert(sizeof(WAVEFORMATEX) == 18);
static_assert(sizeof(PCMWAVEFORMAT) == 16);
static_assert(sizeof(ADPCMWAVEFORMAT) == 26);
static_assert(sizeof(IMAADPCMWAVEFORMAT) == 20);
static_assert(sizeof(MPEGLAYER3WAVEFORMAT) == 30);

#define MPEGLAYER3_WFX_EXTRA_BYTES 12
#define MPEGLAYER3_ID_UNKNOWN 0
#define MPEGLAYER3_ID_MPEG 1
#define MPEGLAYER3_ID_CONSTANTFRAMESIZE 2
#define MPEGLAYER3_FLAG_PADDING_ISO 0x00000000u
#define MPEGLAYER3_FLAG_PADDING_ON 0x00000001u
#define MPEGLAYER3_FLAG_PADDING_OFF 0x00000002u
