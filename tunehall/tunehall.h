// Tunehall: the MIDI music library the game loads by name at start-up. It
// plays one Standard MIDI File at a time through a software synthesiser with
// a General MIDI sound font, to the default audio output, or rendered and
// discarded in real time where no output opens (the state word still follows
// the music then). Every function returns TH_OK (0) or a TH_ERR_* code.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define TH_API extern "C" __declspec(dllexport) int __stdcall
#else
#define TH_API extern "C" __attribute__((visibility("default"))) int
#endif

#define TH_OK 0
#define TH_ERR_NOT_OPEN 1       // no device is open
#define TH_ERR_ALREADY_OPEN 2
#define TH_ERR_NO_SOUNDFONT 3   // no General MIDI sound font was found
#define TH_ERR_SYNTH 4          // the synthesiser could not be set up
#define TH_ERR_FILE 5           // the music file could not be read
#define TH_ERR_NOT_MIDI 6       // the file is not a Standard MIDI File
#define TH_ERR_NO_MUSIC 7       // nothing loaded to play
#define TH_ERR_BAD_ARGUMENT 8
#define TH_ERR_BAD_CAPABILITY 9

// Capability numbers for THSetCaps.
#define TH_CAP_VOLUME 9  // value: volume in percent, 0..100 (clamped)

// The status block: the caller sets `size` (32) before THGetStatus.
struct THStatus {
  int32_t size;
  int32_t device_open;  // 1 while a device is open
  int32_t state;        // 1 exactly while music plays
  int32_t volume;       // percent
  int32_t tick;         // playing position in MIDI ticks
  int32_t total_ticks;  // length of the loaded music in ticks
  int32_t reserved[2];
};
static_assert(sizeof(THStatus) == 32);

// device: -1 for the default output; flags: 0. The sound font is found at
// once (TH_ERR_NO_SOUNDFONT without one) and read in the background;
// THPlayMusic waits for it and answers TH_ERR_SYNTH when it could not be read.
TH_API THOpenDevice(int device, int flags);
// Waits for no more than the block being rendered and a sound font still
// being read.
TH_API THCloseDevice();
// path: code page 932 text, "\" or "/" separators, relative to the current
// folder or absolute. Stops what plays and makes this file the current music.
// A file that cannot be read as a Standard MIDI File is refused
// (TH_ERR_NOT_MIDI) and the current music stays as it was.
TH_API THLoadMusic(const char* path);
// Plays the current music from its start, looping. A song of no length
// (every track ends at tick 0) plays as silence: the state word reads 0.
TH_API THPlayMusic();
// These three never wait for the music being rendered: a stop is heard at
// once and a volume from the next rendered block.
TH_API THStopMusic();
TH_API THGetStatus(THStatus* status);
TH_API THSetCaps(int capability, int value);
// Writes a pointer to a short message for a TH_ERR_* code into *text.
TH_API THGetErrorString(int error, const char** text);

// For tests: the largest absolute sample value rendered since the previous
// call (0..32767); reading it starts a new measurement.
TH_API THTestTakePeak();
// For tests: manual rendering (read at THOpenDevice, default off) opens no
// output and renders nothing by itself; the music then advances only as
// THTestRender renders its next `frames` frames (16-bit stereo at 44100 Hz,
// what the output would have played) into `out`.
TH_API THTestRenderManually(int on);
TH_API THTestRender(int16_t* out, int frames);
