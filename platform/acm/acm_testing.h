// Failure injection for tests of the callers' fallback paths: the next call of
// the named function returns `result` without doing anything.
#pragma once

#include "platform/acm/acm.h"

enum class AcmCall {
  Metrics,
  FormatSuggest,
  StreamOpen,
  StreamClose,
  StreamSize,
  StreamPrepareHeader,
  StreamUnprepareHeader,
  StreamConvert,
};

void AcmFailNextCall(AcmCall call, MMRESULT result);
// Forgets every pending injected failure.
void AcmClearInjectedFailures();
