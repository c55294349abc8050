// Controls of the multimedia-stream stand-in for tests: a clock to replace
// the system clock of streams without sound, failures of the calls the
// engine makes, and whether the default sound renderer may be made.
#pragma once

#include <cstdint>

#include "platform/dshow/dshow.h"

enum DshowCall {
  DSHOW_CALL_CREATE_GRAPH,
  DSHOW_CALL_CREATE_STREAM,
  DSHOW_CALL_OPEN_FILE,
  DSHOW_CALL_CREATE_SAMPLE,
  DSHOW_CALL_UPDATE,
  DSHOW_CALL_KIND_COUNT
};
// Every later call of that kind fails with `result` until cleared.
void DshowFailCall(DshowCall call, HRESULT result);
void DshowClearFailures();

// The clock of streams without sound, in 100 ns units (null: the system's
// monotonic clock). Read on the streams' own threads.
void DshowSetClock(int64_t (*now)());
// 0: the default sound renderer is never made (the sound is dropped).
void DshowSetAudioRenderer(int on);
