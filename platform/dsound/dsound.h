// Sound buffer interface in the shape the engine's sound module calls: one
// device object that creates secondary buffers of any PCM format (static
// buffers, duplicates sharing their samples, looping rings written while they
// play), mixed in software into 44.1 kHz 16-bit stereo and played through an
// SDL2 audio device. Test controls (manual mixing, failure injection) live in
// dsound_control.h.
#pragma once

#include <cstdint>

#include "platform/acm/mmreg.h"
#include "platform/win32/win32.h"

typedef int32_t HRESULT;

#define DS_OK ((HRESULT)0)
#define DSERR_GENERIC ((HRESULT)0x80004005)
#define DSERR_OUTOFMEMORY ((HRESULT)0x8007000E)
#define DSERR_INVALIDPARAM ((HRESULT)0x80070057)
#define DSERR_ALLOCATED ((HRESULT)0x8878000A)
#define DSERR_CONTROLUNAVAIL ((HRESULT)0x8878001E)
#define DSERR_INVALIDCALL ((HRESULT)0x88780032)
#define DSERR_PRIOLEVELNEEDED ((HRESULT)0x88780046)
#define DSERR_BADFORMAT ((HRESULT)0x88780064)
#define DSERR_NODRIVER ((HRESULT)0x88780078)
#define DSERR_ALREADYINITIALIZED ((HRESULT)0x88780082)
#define DSERR_BUFFERLOST ((HRESULT)0x88780096)
#define DSERR_UNINITIALIZED ((HRESULT)0x887800AA)
#ifndef FAILED
#define FAILED(hr) (((HRESULT)(hr)) < 0)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#endif

// Buffer description flags.
#define DSBCAPS_PRIMARYBUFFER 0x00000001u
#define DSBCAPS_STATIC 0x00000002u
#define DSBCAPS_CTRLFREQUENCY 0x00000020u
#define DSBCAPS_CTRLPAN 0x00000040u
#define DSBCAPS_CTRLVOLUME 0x00000080u
#define DSBCAPS_GLOBALFOCUS 0x00008000u
#define DSBCAPS_GETCURRENTPOSITION2 0x00010000u

#define DSBPLAY_LOOPING 0x00000001u
#define DSBSTATUS_PLAYING 0x00000001u
#define DSBSTATUS_LOOPING 0x00000004u
#define DSBLOCK_FROMWRITECURSOR 0x00000001u
#define DSBLOCK_ENTIREBUFFER 0x00000002u

#define DSSCL_NORMAL 1u
#define DSSCL_PRIORITY 2u
#define DSSCL_EXCLUSIVE 3u
#define DSSCL_WRITEPRIMARY 4u

#define DSBVOLUME_MIN (-10000)
#define DSBVOLUME_MAX 0
#define DSBPAN_LEFT (-10000)
#define DSBPAN_RIGHT 10000
#define DSBFREQUENCY_ORIGINAL 0u
#define DSBFREQUENCY_MIN 100u
#define DSBFREQUENCY_MAX 200000u
#define DSBSIZE_MIN 4u
#define DSBSIZE_MAX 0x0FFFFFFFu

// Device capability flags.
#define DSCAPS_PRIMARYMONO 0x00000001u
#define DSCAPS_PRIMARYSTEREO 0x00000002u
#define DSCAPS_PRIMARY8BIT 0x00000004u
#define DSCAPS_PRIMARY16BIT 0x00000008u
#define DSCAPS_SECONDARYMONO 0x00000100u
#define DSCAPS_SECONDARYSTEREO 0x00000200u
#define DSCAPS_SECONDARY8BIT 0x00000400u
#define DSCAPS_SECONDARY16BIT 0x00000800u

struct DSBUFFERDESC {
  DWORD dwSize;  // the engine passes 36; any non-zero size is accepted
  DWORD dwFlags;
  DWORD dwBufferBytes;  // 0 for the primary buffer
  DWORD dwReserved;
  WAVEFORMATEX* lpwfxFormat;  // null for the primary buffer
};

struct DSCAPS {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwMinSecondarySampleRate;
  DWORD dwMaxSecondarySampleRate;
  DWORD dwPrimaryBuffers;
  DWORD dwMaxHwMixingAllBuffers;
  DWORD dwMaxHwMixingStaticBuffers;
  DWORD dwMaxHwMixingStreamingBuffers;
  DWORD dwFreeHwMixingAllBuffers;
  DWORD dwFreeHwMixingStaticBuffers;
  DWORD dwFreeHwMixingStreamingBuffers;
  DWORD dwMaxHw3DAllBuffers;
  DWORD dwMaxHw3DStaticBuffers;
  DWORD dwMaxHw3DStreamingBuffers;
  DWORD dwFreeHw3DAllBuffers;
  DWORD dwFreeHw3DStaticBuffers;
  DWORD dwFreeHw3DStreamingBuffers;
  DWORD dwTotalHwMemBytes;
  DWORD dwFreeHwMemBytes;
  DWORD dwMaxContigFreeHwMemBytes;
  DWORD dwUnlockTransferRateHwBuffers;
  DWORD dwPlayCpuOverheadSwBuffers;
  DWORD dwReserved1;
  DWORD dwReserved2;
};

// One playback buffer. A duplicate shares the original's samples and has its
// own play state (playing, position, volume, frequency, pan). Lock hands out
// pointers into the sample memory without stopping the mixer, so a looping
// ring can be written ahead of its play cursor while it plays.
class IDirectSoundBuffer {
 public:
  virtual DWORD AddRef() = 0;
  virtual DWORD Release() = 0;
  virtual HRESULT Play(DWORD reserved, DWORD priority, DWORD flags) = 0;
  virtual HRESULT Stop() = 0;
  virtual HRESULT GetStatus(DWORD* status) = 0;
  virtual HRESULT Lock(DWORD offset, DWORD bytes, void** first, DWORD* first_bytes, void** second,
                       DWORD* second_bytes, DWORD flags) = 0;
  virtual HRESULT Unlock(void* first, DWORD first_bytes, void* second, DWORD second_bytes) = 0;
  virtual HRESULT GetCurrentPosition(DWORD* play, DWORD* write) = 0;
  virtual HRESULT SetCurrentPosition(DWORD offset) = 0;
  virtual HRESULT SetVolume(LONG hundredths_of_db) = 0;
  virtual HRESULT GetVolume(LONG* hundredths_of_db) = 0;
  virtual HRESULT SetPan(LONG pan) = 0;
  virtual HRESULT GetPan(LONG* pan) = 0;
  virtual HRESULT SetFrequency(DWORD hz) = 0;  // 0: the format's own rate
  virtual HRESULT GetFrequency(DWORD* hz) = 0;
  virtual HRESULT SetFormat(const WAVEFORMATEX* format) = 0;  // primary buffer only
  virtual HRESULT GetFormat(WAVEFORMATEX* format) = 0;

 protected:
  virtual ~IDirectSoundBuffer() = default;
};

// Callback of the device listing: (device id or null for the default,
// description, module name, context) -> TRUE to go on.
typedef BOOL (*LPDSENUMCALLBACKA)(const void* guid, LPCSTR description, LPCSTR module, LPVOID context);

class IDirectSound {
 public:
  virtual DWORD AddRef() = 0;
  virtual DWORD Release() = 0;
  // Opens the output device (null: the default one). Every other call
  // answers DSERR_UNINITIALIZED before this succeeds.
  virtual HRESULT Initialize(const void* device_guid) = 0;
  virtual HRESULT SetCooperativeLevel(void* window, DWORD level) = 0;
  virtual HRESULT CreateSoundBuffer(const DSBUFFERDESC* desc, IDirectSoundBuffer** out, void* outer) = 0;
  virtual HRESULT DuplicateSoundBuffer(IDirectSoundBuffer* original, IDirectSoundBuffer** out) = 0;
  virtual HRESULT GetCaps(DSCAPS* caps) = 0;

 protected:
  virtual ~IDirectSound() = default;
};

// The class-object creation of the device (what COM creation of the sound
// device class yields): an object that still needs Initialize.
HRESULT CreateDirectSoundInstance(IDirectSound** out);

// Lists the output devices: the default device first, then each device SDL
// reports. Returns DS_OK, or DSERR_NODRIVER when audio cannot be reached.
HRESULT DirectSoundEnumerateA(LPDSENUMCALLBACKA callback, LPVOID context);
