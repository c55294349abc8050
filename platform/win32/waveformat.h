// The platform's wave format record, shared by the sound buffer stand-in and
// the compression manager stand-in (and by every engine sound decoder).
#pragma once

#include "platform/win32/win32.h"

#define WAVE_FORMAT_PCM 1

// 18 bytes on the platform; kept packed so that the raw "fmt " chunk bytes of a
// file map onto it as they do there.
#pragma pack(push, 2)
struct WAVEFORMATEX {
  WORD wFormatTag;
  WORD nChannels;
  DWORD nSamplesPerSec;
  DWORD nAvgBytesPerSec;
  WORD nBlockAlign;
  WORD wBitsPerSample;
  WORD cbSize;  // bytes of format-specific data that follow the record
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18, "WAVEFORMATEX must be 18 bytes");
