// Controls of the sound buffer stand-in for tests, benchmarks and headless
// runs: mixing without an audio device, failure injection for every call the
// engine makes, and the capabilities the device reports.
#pragma once

#include <cstdint>

#include "platform/dsound/dsound.h"

enum DsCall {
  DS_CALL_CREATE_INSTANCE,
  DS_CALL_INITIALIZE,
  DS_CALL_SET_COOPERATIVE_LEVEL,
  DS_CALL_CREATE_PRIMARY,
  DS_CALL_CREATE_BUFFER,  // secondary buffers
  DS_CALL_DUPLICATE,
  DS_CALL_GET_CAPS,
  DS_CALL_PLAY,
  DS_CALL_STOP,
  DS_CALL_GET_STATUS,
  DS_CALL_LOCK,
  DS_CALL_UNLOCK,
  DS_CALL_SET_FORMAT,
  DS_CALL_SET_VOLUME,
  DS_CALL_SET_FREQUENCY,
  DS_CALL_GET_POSITION,
  DS_CALL_SET_POSITION,
  DS_CALL_ENUMERATE,
  DS_CALL_KIND_COUNT
};

// After `after` more successful calls of that kind, every call fails with
// `result` until cleared.
void DsFailCall(DsCall call, HRESULT result, int after = 0);
void DsClearFailures();

// Manual mixing (read at Initialize): no audio device is opened and the
// voices advance only through DsMixOutput. Default off.
void DsSetManualMixing(int on);
// Mixes `frames` output frames of the most recently initialised device into
// `out` (frames x 2 samples; may be null to only advance). -1 without one.
int DsMixOutput(int16_t* out, int frames);
// Number of secondary buffers of that device that are playing (-1 without one).
int DsPlayingBufferCount();

// What GetCaps reports as the highest secondary rate (0: the stand-in's own).
void DsSetMaxSecondaryRate(DWORD hz);
// The primary buffer's format as last set (0), or -1 when there is none.
int DsGetPrimaryFormat(WAVEFORMATEX* out);
