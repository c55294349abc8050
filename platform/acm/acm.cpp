// Audio compression manager: stream bookkeeping, argument checks and the
// conversions. Block codecs (ADPCM, the G.711 laws, PCM widening) share one
// converter that works in whole blocks; MPEG audio goes through libmpg123.
#include "platform/acm/acm.h"

#include <mpg123.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/acm/acm_codecs.h"
#include "platform/acm/acm_testing.h"

namespace {

constexpr DWORD kPcmOutBits = 16;

// ---- injected failures -----------------------------------------------------
constexpr size_t kCallCount = static_cast<size_t>(AcmCall::StreamConvert) + 1;
std::array<std::atomic<MMRESULT>, kCallCount> g_injected{};

bool TakeInjected(AcmCall call, MMRESULT* result) {
  MMRESULT r = g_injected[static_cast<size_t>(call)].exchange(MMSYSERR_NOERROR);
  if (r == MMSYSERR_NOERROR) return false;
  *result = r;
  return true;
}

#define ACM_INJECTION_POINT(call)            \
  do {                                       \
    MMRESULT injected_;                      \
    if (TakeInjected(call, &injected_)) {    \
      return injected_;                      \
    }                                        \
  } while (0)

// ---- source formats --------------------------------------------------------
enum class Codec { Pcm8, Pcm16, MsAdpcm, ImaAdpcm, ALaw, MuLaw, Mpeg };

struct SourceInfo {
  Codec codec = Codec::Pcm16;
  unsigned channels = 0;
  DWORD rate = 0;
  DWORD avg_bytes = 0;
  unsigned block_align = 0;        // source bytes per block
  unsigned samples_per_block = 0;  // sample frames per block
  std::vector<acm_codecs::AdpcmCoef> coefs;
};

// Reads a source format and checks it the way a codec would before agreeing
// to convert it.
MMRESULT ParseSource(const WAVEFORMATEX* wfx, SourceInfo* info) {
  const unsigned ch = wfx->nChannels;
  const unsigned align = wfx->nBlockAlign;
  const unsigned bits = wfx->wBitsPerSample;
  info->channels = ch;
  info->rate = wfx->nSamplesPerSec;
  info->avg_bytes = wfx->nAvgBytesPerSec;
  info->block_align = align;
  if (ch == 0 || info->rate == 0) return ACMERR_NOTPOSSIBLE;
  const auto* bytes = reinterpret_cast<const BYTE*>(wfx);
  switch (wfx->wFormatTag) {
    case WAVE_FORMAT_PCM:
      if ((bits != 8 && bits != 16) || align != ch * bits / 8) return ACMERR_NOTPOSSIBLE;
      info->codec = bits == 8 ? Codec::Pcm8 : Codec::Pcm16;
      info->samples_per_block = 1;
      return MMSYSERR_NOERROR;
    case WAVE_FORMAT_ALAW:
    case WAVE_FORMAT_MULAW:
      if (bits != 8 || align != ch) return ACMERR_NOTPOSSIBLE;
      info->codec = wfx->wFormatTag == WAVE_FORMAT_ALAW ? Codec::ALaw : Codec::MuLaw;
      info->samples_per_block = 1;
      return MMSYSERR_NOERROR;
    case WAVE_FORMAT_IMA_ADPCM: {
      if (bits != 4 || ch > 2 || wfx->cbSize < 2) return ACMERR_NOTPOSSIBLE;
      // Stereo data comes in 4-byte runs per channel.
      if (align <= 4 * ch || (ch == 2 && (align - 8) % 8 != 0)) return ACMERR_NOTPOSSIBLE;
      WORD spb;
      std::memcpy(&spb, bytes + sizeof(WAVEFORMATEX), 2);
      if (spb < 1 || spb > acm_codecs::ImaSamplesPerBlock(align, ch)) return ACMERR_NOTPOSSIBLE;
      info->codec = Codec::ImaAdpcm;
      info->samples_per_block = spb;
      return MMSYSERR_NOERROR;
    }
    case WAVE_FORMAT_ADPCM: {
      if (bits != 4 || ch > 2 || wfx->cbSize < 4) return ACMERR_NOTPOSSIBLE;
      if (align < 7 * ch) return ACMERR_NOTPOSSIBLE;
      WORD spb, ncoef;
      std::memcpy(&spb, bytes + sizeof(WAVEFORMATEX), 2);
      std::memcpy(&ncoef, bytes + sizeof(WAVEFORMATEX) + 2, 2);
      if (ncoef < 1 || ncoef > 256 || wfx->cbSize < 4 + 4 * ncoef) return ACMERR_NOTPOSSIBLE;
      if (spb < 2 || spb > acm_codecs::MsAdpcmSamplesPerBlock(align, ch)) return ACMERR_NOTPOSSIBLE;
      info->coefs.resize(ncoef);
      for (unsigned i = 0; i < ncoef; ++i) {
        std::memcpy(&info->coefs[i].c1, bytes + sizeof(WAVEFORMATEX) + 4 + 4 * i, 2);
        std::memcpy(&info->coefs[i].c2, bytes + sizeof(WAVEFORMATEX) + 6 + 4 * i, 2);
      }
      info->codec = Codec::MsAdpcm;
      info->samples_per_block = spb;
      return MMSYSERR_NOERROR;
    }
    case WAVE_FORMAT_MPEGLAYER3:
      if (ch > 2 || wfx->cbSize < MPEGLAYER3_WFX_EXTRA_BYTES) return ACMERR_NOTPOSSIBLE;
      if (!acm_codecs::MpegRateSupported(info->rate)) return ACMERR_NOTPOSSIBLE;
      info->codec = Codec::Mpeg;
      info->samples_per_block = 0;
      return MMSYSERR_NOERROR;
    default:
      return ACMERR_NOTPOSSIBLE;
  }
}

bool IsPcmOut(const WAVEFORMATEX* dst, const SourceInfo& src) {
  return dst->wFormatTag == WAVE_FORMAT_PCM && dst->wBitsPerSample == kPcmOutBits &&
         dst->nChannels == src.channels && dst->nSamplesPerSec == src.rate &&
         dst->nBlockAlign == src.channels * 2;
}

// ---- streams ---------------------------------------------------------------
struct Prepared {
  LPBYTE src;
  DWORD src_len;
  LPBYTE dst;
  DWORD dst_len;
};

struct Stream {
  SourceInfo src;
  unsigned out_align = 0;  // destination bytes per sample frame
  mpg123_handle* mpeg = nullptr;
  std::unordered_map<const ACMSTREAMHEADER*, Prepared> prepared;

  ~Stream() {
    if (mpeg) mpg123_delete(mpeg);
  }
};

std::mutex g_streams_mutex;
std::unordered_set<Stream*> g_streams;

Stream* LookupStream(HACMSTREAM has) {
  auto* s = reinterpret_cast<Stream*>(has);
  std::lock_guard<std::mutex> lock(g_streams_mutex);
  return g_streams.count(s) ? s : nullptr;
}

// The stream and the header of a header call, checked in the order every
// such call answers: the handle, then the header record.
MMRESULT StreamAndHeader(HACMSTREAM has, const ACMSTREAMHEADER* pash, Stream** out) {
  *out = LookupStream(has);
  if (!*out) return MMSYSERR_INVALHANDLE;
  if (!pash || pash->cbStruct < sizeof(ACMSTREAMHEADER)) return MMSYSERR_INVALPARAM;
  return MMSYSERR_NOERROR;
}

// ---- MPEG through libmpg123 ------------------------------------------------
bool MpegLibraryReady() {
  static const bool ready = mpg123_init() == MPG123_OK;
  return ready;
}

// A fresh feed decoder that prints nothing, outputs every frame's samples
// (no gapless trimming, the info frame decoded as an ordinary frame) and
// decodes a frame as soon as it has been fed whole.
mpg123_handle* NewMpegDecoder(const SourceInfo& src) {
  if (!MpegLibraryReady()) return nullptr;
  int err = MPG123_OK;
  mpg123_handle* mh = mpg123_new(nullptr, &err);
  if (!mh) return nullptr;
  long flags = MPG123_QUIET | MPG123_IGNORE_INFOFRAME | MPG123_NO_READAHEAD |
               MPG123_IGNORE_STREAMLENGTH | MPG123_FORCE_ENDIAN;
  if (src.channels == 2) flags |= MPG123_FORCE_STEREO;
  if (src.channels == 1) flags |= MPG123_MONO_MIX;
  bool ok = mpg123_param(mh, MPG123_FLAGS, flags, 0.0) == MPG123_OK &&
            mpg123_format_none(mh) == MPG123_OK &&
            mpg123_format(mh, static_cast<long>(src.rate),
                          src.channels == 1 ? MPG123_MONO : MPG123_STEREO,
                          MPG123_ENC_SIGNED_16) == MPG123_OK &&
            mpg123_open_feed(mh) == MPG123_OK;
  if (!ok) {
    mpg123_delete(mh);
    return nullptr;
  }
  return mh;
}

void ConvertMpeg(Stream* s, const BYTE* src, DWORD src_len, BYTE* dst, DWORD dst_len, bool start,
                 DWORD* used, DWORD* produced) {
  if (start) {
    mpg123_close(s->mpeg);
    mpg123_open_feed(s->mpeg);
  }
  // A frame is fed only when its whole output fits, so nothing decoded is
  // ever left behind inside the decoder when the source runs out.
  const DWORD frame_out = acm_codecs::kMpegMaxFrameSamples * s->out_align;
  DWORD in = 0, out = 0;
  int stalls = 0;
  while (out < dst_len) {
    size_t got = 0;
    int r = mpg123_read(s->mpeg, dst + out, dst_len - out, &got);
    out += static_cast<DWORD>(got);
    if (r == MPG123_OK || r == MPG123_NEW_FORMAT) {
      stalls = got ? 0 : stalls + 1;
      if (stalls > 4) break;
      continue;
    }
    if (r != MPG123_NEED_MORE) {
      // A damaged frame: start a clean decoder on the next one.
      mpg123_close(s->mpeg);
      mpg123_open_feed(s->mpeg);
    }
    if (dst_len - out < frame_out) break;
    acm_codecs::MpegFrame frame;
    DWORD at = in;
    while (at + 4 <= src_len && !acm_codecs::ParseMpegFrame(src + at, &frame)) ++at;
    if (at + 4 > src_len || frame.size > src_len - at) {
      // No whole frame left: what precedes a cut frame stays for the caller
      // to hand in again; trailing bytes that hold no header are used up.
      if (at + 4 > src_len) in = src_len;
      else in = at;
      break;
    }
    // A frame of another sample rate cannot become this stream's PCM: it is
    // passed over.
    if (frame.rate == s->src.rate) mpg123_feed(s->mpeg, src + at, frame.size);
    in = at + frame.size;
    stalls = 0;
  }
  *used = in;
  *produced = out;
}

// ---- block codecs ----------------------------------------------------------
// Decodes `blocks` whole source blocks into 16-bit frames.
void DecodeBlocks(const Stream& s, const BYTE* src, DWORD blocks, int16_t* out) {
  const SourceInfo& f = s.src;
  const size_t frames = static_cast<size_t>(blocks) * f.samples_per_block;
  switch (f.codec) {
    case Codec::Pcm8:
      for (size_t i = 0; i < frames * f.channels; ++i) out[i] = acm_codecs::Pcm8ToLinear(src[i]);
      break;
    case Codec::Pcm16:
      // No whole block means nothing to copy, and `src` may then be null.
      if (frames) std::memcpy(out, src, frames * f.channels * 2);
      break;
    case Codec::ALaw:
      for (size_t i = 0; i < frames * f.channels; ++i) out[i] = acm_codecs::ALawToLinear(src[i]);
      break;
    case Codec::MuLaw:
      for (size_t i = 0; i < frames * f.channels; ++i) out[i] = acm_codecs::MuLawToLinear(src[i]);
      break;
    case Codec::ImaAdpcm:
      for (DWORD b = 0; b < blocks; ++b)
        acm_codecs::DecodeImaBlock(src + b * f.block_align, f.block_align, f.channels,
                                   f.samples_per_block, out + b * f.samples_per_block * f.channels);
      break;
    case Codec::MsAdpcm:
      for (DWORD b = 0; b < blocks; ++b)
        acm_codecs::DecodeMsAdpcmBlock(src + b * f.block_align, f.block_align, f.channels,
                                       f.samples_per_block, f.coefs,
                                       out + b * f.samples_per_block * f.channels);
      break;
    case Codec::Mpeg:
      break;
  }
}

// Sample frames a trailing part-block of `len` bytes holds (0 when it holds
// no whole header).
unsigned PartBlockFrames(const SourceInfo& f, DWORD len) {
  unsigned n = 0;
  if (f.codec == Codec::ImaAdpcm) n = acm_codecs::ImaSamplesPerBlock(len, f.channels);
  if (f.codec == Codec::MsAdpcm) n = acm_codecs::MsAdpcmSamplesPerBlock(len, f.channels);
  return std::min(n, f.samples_per_block);
}

void ConvertBlocks(const Stream& s, const BYTE* src, DWORD src_len, BYTE* dst, DWORD dst_len,
                   bool part_block, DWORD* used, DWORD* produced) {
  const SourceInfo& f = s.src;
  const DWORD out_block = f.samples_per_block * s.out_align;
  const DWORD blocks = std::min(src_len / f.block_align, dst_len / out_block);
  DWORD in = blocks * f.block_align;
  DWORD made = blocks * out_block;
  // A part-block counts only after every whole block has been taken.
  const DWORD rest = src_len - in;
  unsigned part_frames = 0;
  if (part_block && rest > 0 && rest < f.block_align) {
    part_frames = PartBlockFrames(f, rest);
    if (dst_len - made < part_frames * s.out_align) part_frames = 0;
  }
  // Decoding goes through an aligned scratch run: the caller's buffer may
  // sit at any byte address.
  std::vector<int16_t> pcm(static_cast<size_t>(blocks + (part_frames ? 1 : 0)) *
                           f.samples_per_block * f.channels);
  DecodeBlocks(s, src, blocks, pcm.data());
  if (part_frames) {
    std::vector<BYTE> padded(f.block_align, 0);
    std::memcpy(padded.data(), src + in, rest);
    int16_t* tail = pcm.data() + static_cast<size_t>(blocks) * f.samples_per_block * f.channels;
    if (f.codec == Codec::ImaAdpcm)
      acm_codecs::DecodeImaBlock(padded.data(), f.block_align, f.channels, part_frames, tail);
    else
      acm_codecs::DecodeMsAdpcmBlock(padded.data(), f.block_align, f.channels, part_frames,
                                     f.coefs, tail);
    in = src_len;
    made += part_frames * s.out_align;
  }
  if (made) std::memcpy(dst, pcm.data(), made);
  *used = in;
  *produced = made;
}

}  // namespace

// ---- injection -------------------------------------------------------------
void AcmFailNextCall(AcmCall call, MMRESULT result) {
  g_injected[static_cast<size_t>(call)].store(result);
}

void AcmClearInjectedFailures() {
  for (auto& slot : g_injected) slot.store(MMSYSERR_NOERROR);
}

// ---- public calls ----------------------------------------------------------
MMRESULT acmMetrics(HACMOBJ hao, UINT uMetric, LPVOID pMetric) {
  ACM_INJECTION_POINT(AcmCall::Metrics);
  if (!pMetric) return MMSYSERR_INVALPARAM;
  if (uMetric != ACM_METRIC_MAX_SIZE_FORMAT) return MMSYSERR_NOTSUPPORTED;
  if (hao && !LookupStream(reinterpret_cast<HACMSTREAM>(hao))) return MMSYSERR_INVALHANDLE;
  // The largest record any conversion here takes: Microsoft ADPCM with its
  // seven standard coefficient pairs.
  const DWORD size = sizeof(ADPCMWAVEFORMAT) + 6 * sizeof(ADPCMCOEFSET);
  std::memcpy(pMetric, &size, sizeof size);
  return MMSYSERR_NOERROR;
}

MMRESULT acmFormatSuggest(HACMDRIVER had, LPWAVEFORMATEX pwfxSrc, LPWAVEFORMATEX pwfxDst,
                          DWORD cbwfxDst, DWORD fdwSuggest) {
  ACM_INJECTION_POINT(AcmCall::FormatSuggest);
  if (fdwSuggest & ~ACM_FORMATSUGGESTF_TYPEMASK) return MMSYSERR_INVALFLAG;
  if (had) return MMSYSERR_INVALHANDLE;
  if (!pwfxSrc || !pwfxDst || cbwfxDst < sizeof(PCMWAVEFORMAT)) return MMSYSERR_INVALPARAM;
  SourceInfo src;
  if (MMRESULT r = ParseSource(pwfxSrc, &src)) return r;
  if ((fdwSuggest & ACM_FORMATSUGGESTF_WFORMATTAG) && pwfxDst->wFormatTag != WAVE_FORMAT_PCM)
    return ACMERR_NOTPOSSIBLE;
  if ((fdwSuggest & ACM_FORMATSUGGESTF_NCHANNELS) && pwfxDst->nChannels != src.channels)
    return ACMERR_NOTPOSSIBLE;
  if ((fdwSuggest & ACM_FORMATSUGGESTF_NSAMPLESPERSEC) && pwfxDst->nSamplesPerSec != src.rate)
    return ACMERR_NOTPOSSIBLE;
  if ((fdwSuggest & ACM_FORMATSUGGESTF_WBITSPERSAMPLE) && pwfxDst->wBitsPerSample != kPcmOutBits)
    return ACMERR_NOTPOSSIBLE;
  WAVEFORMATEX out = MakePcmWaveFormat(src.channels, (int)src.rate, kPcmOutBits);
  std::memcpy(pwfxDst, &out, std::min<size_t>(cbwfxDst, sizeof out));
  return MMSYSERR_NOERROR;
}

MMRESULT acmStreamOpen(LPHACMSTREAM phas, HACMDRIVER had, LPWAVEFORMATEX pwfxSrc,
                       LPWAVEFORMATEX pwfxDst, LPWAVEFILTER pwfltr, DWORD_PTR dwCallback,
                       DWORD_PTR dwInstance, DWORD fdwOpen) {
  (void)dwInstance;
  ACM_INJECTION_POINT(AcmCall::StreamOpen);
  const DWORD known = ACM_STREAMOPENF_QUERY | ACM_STREAMOPENF_ASYNC | ACM_STREAMOPENF_NONREALTIME |
                      CALLBACK_TYPEMASK;
  if (fdwOpen & ~known) return MMSYSERR_INVALFLAG;
  const bool query = fdwOpen & ACM_STREAMOPENF_QUERY;
  if (phas) *phas = nullptr;
  if ((!phas && !query) || !pwfxSrc || !pwfxDst) return MMSYSERR_INVALPARAM;
  if (had) return MMSYSERR_INVALHANDLE;
  if ((fdwOpen & ACM_STREAMOPENF_ASYNC) || (fdwOpen & CALLBACK_TYPEMASK) || dwCallback || pwfltr)
    return MMSYSERR_NOTSUPPORTED;
  SourceInfo src;
  if (MMRESULT r = ParseSource(pwfxSrc, &src)) return r;
  if (!IsPcmOut(pwfxDst, src)) return ACMERR_NOTPOSSIBLE;
  if (query) return MMSYSERR_NOERROR;

  auto* s = new (std::nothrow) Stream;
  if (!s) return MMSYSERR_NOMEM;
  s->src = std::move(src);
  s->out_align = s->src.channels * 2;
  if (s->src.codec == Codec::Mpeg) {
    s->mpeg = NewMpegDecoder(s->src);
    if (!s->mpeg) {
      delete s;
      return MMSYSERR_NOMEM;
    }
  }
  {
    std::lock_guard<std::mutex> lock(g_streams_mutex);
    g_streams.insert(s);
  }
  *phas = reinterpret_cast<HACMSTREAM>(s);
  return MMSYSERR_NOERROR;
}

MMRESULT acmStreamClose(HACMSTREAM has, DWORD fdwClose) {
  ACM_INJECTION_POINT(AcmCall::StreamClose);
  if (fdwClose) return MMSYSERR_INVALFLAG;
  Stream* s;
  {
    std::lock_guard<std::mutex> lock(g_streams_mutex);
    s = reinterpret_cast<Stream*>(has);
    if (!g_streams.count(s)) return MMSYSERR_INVALHANDLE;
    if (!s->prepared.empty()) return ACMERR_BUSY;
    g_streams.erase(s);
  }
  delete s;
  return MMSYSERR_NOERROR;
}

MMRESULT acmStreamSize(HACMSTREAM has, DWORD cbInput, LPDWORD pdwOutputBytes, DWORD fdwSize) {
  ACM_INJECTION_POINT(AcmCall::StreamSize);
  if (fdwSize & ~ACM_STREAMSIZEF_QUERYMASK) return MMSYSERR_INVALFLAG;
  const DWORD query = fdwSize & ACM_STREAMSIZEF_QUERYMASK;
  if (query != ACM_STREAMSIZEF_SOURCE && query != ACM_STREAMSIZEF_DESTINATION)
    return MMSYSERR_INVALFLAG;
  Stream* s = LookupStream(has);
  if (!s) return MMSYSERR_INVALHANDLE;
  if (!pdwOutputBytes) return MMSYSERR_INVALPARAM;
  const SourceInfo& f = s->src;
  uint64_t result;
  if (f.codec == Codec::Mpeg) {
    // Frames carry no fixed sample count per byte; the answer follows the
    // declared bit rate, with one frame of room for rounding on output.
    const uint64_t out_rate = static_cast<uint64_t>(f.rate) * s->out_align;
    if (f.avg_bytes == 0) return ACMERR_NOTPOSSIBLE;
    if (query == ACM_STREAMSIZEF_SOURCE) {
      const uint64_t frames_out = (static_cast<uint64_t>(cbInput) * out_rate + f.avg_bytes - 1) /
                                  f.avg_bytes / s->out_align;
      result = (frames_out + acm_codecs::kMpegMaxFrameSamples) * s->out_align;
    } else {
      result = static_cast<uint64_t>(cbInput) * f.avg_bytes / out_rate;
    }
  } else {
    const uint64_t out_block = static_cast<uint64_t>(f.samples_per_block) * s->out_align;
    if (query == ACM_STREAMSIZEF_SOURCE)
      result = cbInput / f.block_align * out_block;
    else
      result = cbInput / out_block * f.block_align;
  }
  if (result == 0) return ACMERR_NOTPOSSIBLE;
  if (result > 0xFFFFFFFFu) return ACMERR_NOTPOSSIBLE;
  *pdwOutputBytes = static_cast<DWORD>(result);
  return MMSYSERR_NOERROR;
}

MMRESULT acmStreamPrepareHeader(HACMSTREAM has, LPACMSTREAMHEADER pash, DWORD fdwPrepare) {
  ACM_INJECTION_POINT(AcmCall::StreamPrepareHeader);
  Stream* s;
  if (MMRESULT r = StreamAndHeader(has, pash, &s)) return r;
  if (fdwPrepare) return MMSYSERR_INVALFLAG;
  if (!pash->pbSrc || !pash->pbDst || pash->cbSrcLength == 0 || pash->cbDstLength == 0)
    return MMSYSERR_INVALPARAM;
  if (pash->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED) return MMSYSERR_NOERROR;
  try {
    s->prepared[pash] = Prepared{pash->pbSrc, pash->cbSrcLength, pash->pbDst, pash->cbDstLength};
  } catch (const std::bad_alloc&) {
    return MMSYSERR_NOMEM;
  }
  pash->fdwStatus = ACMSTREAMHEADER_STATUSF_PREPARED;
  pash->cbSrcLengthUsed = 0;
  pash->cbDstLengthUsed = 0;
  return MMSYSERR_NOERROR;
}

MMRESULT acmStreamUnprepareHeader(HACMSTREAM has, LPACMSTREAMHEADER pash, DWORD fdwUnprepare) {
  ACM_INJECTION_POINT(AcmCall::StreamUnprepareHeader);
  Stream* s;
  if (MMRESULT r = StreamAndHeader(has, pash, &s)) return r;
  if (fdwUnprepare) return MMSYSERR_INVALFLAG;
  auto it = s->prepared.find(pash);
  if (!(pash->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED) || it == s->prepared.end())
    return ACMERR_UNPREPARED;
  const Prepared& p = it->second;
  if (p.src != pash->pbSrc || p.src_len != pash->cbSrcLength || p.dst != pash->pbDst ||
      p.dst_len != pash->cbDstLength)
    return MMSYSERR_INVALPARAM;
  s->prepared.erase(it);
  pash->fdwStatus &= ~ACMSTREAMHEADER_STATUSF_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT acmStreamConvert(HACMSTREAM has, LPACMSTREAMHEADER pash, DWORD fdwConvert) {
  ACM_INJECTION_POINT(AcmCall::StreamConvert);
  Stream* s;
  if (MMRESULT r = StreamAndHeader(has, pash, &s)) return r;
  const DWORD known =
      ACM_STREAMCONVERTF_BLOCKALIGN | ACM_STREAMCONVERTF_START | ACM_STREAMCONVERTF_END;
  if (fdwConvert & ~known) return MMSYSERR_INVALFLAG;
  auto it = s->prepared.find(pash);
  if (!(pash->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED) || it == s->prepared.end())
    return ACMERR_UNPREPARED;
  const Prepared& p = it->second;
  if (p.src != pash->pbSrc || p.dst != pash->pbDst || pash->cbSrcLength > p.src_len ||
      pash->cbDstLength > p.dst_len)
    return MMSYSERR_INVALPARAM;
  pash->fdwStatus &= ~ACMSTREAMHEADER_STATUSF_DONE;
  DWORD used = 0, produced = 0;
  if (s->src.codec == Codec::Mpeg) {
    ConvertMpeg(s, pash->pbSrc, pash->cbSrcLength, pash->pbDst, pash->cbDstLength,
                fdwConvert & ACM_STREAMCONVERTF_START, &used, &produced);
  } else {
    const bool part_block = (fdwConvert & ACM_STREAMCONVERTF_END) &&
                            !(fdwConvert & ACM_STREAMCONVERTF_BLOCKALIGN);
    ConvertBlocks(*s, pash->pbSrc, pash->cbSrcLength, pash->pbDst, pash->cbDstLength, part_block,
                  &used, &produced);
  }
  pash->cbSrcLengthUsed = used;
  pash->cbDstLengthUsed = produced;
  pash->fdwStatus |= ACMSTREAMHEADER_STATUSF_DONE;
  return MMSYSERR_NOERROR;
}
