// Hostile bytes through the compression manager. Input layout: a 64-byte
// format record (WAVEFORMATEX and extension, cbSize cut to what fits), one
// byte of step size, one of room, then the data, converted in steps the way
// the sound decoder reads.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/acm/acm.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr size_t kFormatBytes = 64;
  if (size < kFormatBytes + 2 || size > (1u << 16)) return 0;
  std::vector<uint8_t> record(data, data + kFormatBytes);
  auto* src = reinterpret_cast<WAVEFORMATEX*>(record.data());
  src->cbSize = static_cast<WORD>(std::min<size_t>(src->cbSize, kFormatBytes - sizeof(WAVEFORMATEX)));
  const size_t step = 1 + data[kFormatBytes] * 16u;
  const DWORD room = 1 + data[kFormatBytes + 1] * 256u;
  const uint8_t* payload = data + kFormatBytes + 2;
  const size_t payload_size = size - kFormatBytes - 2;

  WAVEFORMATEX dst{};
  dst.wFormatTag = WAVE_FORMAT_PCM;
  if (acmFormatSuggest(nullptr, src, &dst, sizeof dst, ACM_FORMATSUGGESTF_WFORMATTAG) !=
      MMSYSERR_NOERROR)
    return 0;
  HACMSTREAM has = nullptr;
  if (acmStreamOpen(&has, nullptr, src, &dst, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME) !=
      MMSYSERR_NOERROR)
    return 0;
  DWORD out_size = 0;
  acmStreamSize(has, static_cast<DWORD>(payload_size), &out_size, ACM_STREAMSIZEF_SOURCE);
  acmStreamSize(has, room, &out_size, ACM_STREAMSIZEF_DESTINATION);
  std::vector<uint8_t> in, out(room);
  size_t at = 0;
  for (int rounds = 0; at < payload_size && rounds < 4096; ++rounds) {
    const size_t n = std::min(step, payload_size - at);
    in.assign(payload + at, payload + at + n);  // exact size, so overreads show
    ACMSTREAMHEADER h{};
    h.cbStruct = sizeof h;
    h.pbSrc = in.data();
    h.cbSrcLength = static_cast<DWORD>(n);
    h.pbDst = out.data();
    h.cbDstLength = room;
    if (acmStreamPrepareHeader(has, &h, 0) != MMSYSERR_NOERROR) break;
    const bool last = at + n == payload_size;
    acmStreamConvert(has, &h, last ? ACM_STREAMCONVERTF_END : ACM_STREAMCONVERTF_BLOCKALIGN);
    acmStreamUnprepareHeader(has, &h, 0);
    if (h.cbSrcLengthUsed > n || h.cbDstLengthUsed > room) __builtin_trap();
    if (h.cbDstLengthUsed == 0 && h.cbSrcLengthUsed == 0) break;
    at += h.cbSrcLengthUsed;
  }
  acmStreamClose(has, 0);
  return 0;
}
