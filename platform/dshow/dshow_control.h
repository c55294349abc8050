// Controls of the multimedia-stream stand-in for tests: a clock to replace
// the system clock of streams without sound, failures of the calls the
// engine makes, whether the default sound renderer may be made, and where
// the streams module is looked for.
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

// Whether a stream's thread has done all that the stream's clock lets it do
// now: no seek and no picture left to decode, and a pending sample update
// answered, or waiting for a picture that is not due yet. With a clock that
// stands still nothing more happens until it moves; a pending update not
// answered by then is not due.
int DshowStreamSettled(IAMMultiMediaStream* stream);
// Times a stream's thread has found its sound ring written far enough ahead
// of the play cursor, counted over all streams. Once the count has risen by
// two after the cursor moved, the ring has been filled past the new cursor.
uint64_t DshowSoundFeeds();

// The streams module is looked for by this name alone (as LoadLibraryA takes
// it) from now on; null: in the usual places. A module once loaded stays
// for the rest of the run.
void DshowSetModuleName(const char* name);
