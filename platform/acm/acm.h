// Audio compression manager: converts compressed wave data to 16-bit PCM.
// Conversions offered (source -> destination, same channels and rate):
//   WAVE_FORMAT_ADPCM, WAVE_FORMAT_IMA_ADPCM, WAVE_FORMAT_ALAW,
//   WAVE_FORMAT_MULAW, WAVE_FORMAT_MPEGLAYER3 (MPEG audio layers I-III)
//   and WAVE_FORMAT_PCM 8/16-bit  ->  WAVE_FORMAT_PCM 16-bit.
// Every call is synchronous; no drivers, filters or callbacks are offered.
//
// Use: acmFormatSuggest picks the PCM format for a source, acmStreamOpen
// opens a conversion, acmStreamSize sizes buffers, and each conversion runs
// acmStreamPrepareHeader, acmStreamConvert, acmStreamUnprepareHeader on one
// ACMSTREAMHEADER whose cbStruct is sizeof(ACMSTREAMHEADER).
//
// Block rules: ADPCM sources convert whole blocks (nBlockAlign bytes) only;
// a trailing part-block is decoded only by a convert that carries
// ACM_STREAMCONVERTF_END without ACM_STREAMCONVERTF_BLOCKALIGN. A-law and
// mu-law convert whole sample frames. MPEG sources convert whole frames and
// never take more source than the destination has room to receive, so the
// unused rest (cbSrcLength - cbSrcLengthUsed) is handed in again next time.
#pragma once

#include "platform/acm/mmreg.h"
#include "platform/win32/win32.h"

typedef uintptr_t DWORD_PTR;
typedef DWORD* LPDWORD;
typedef BYTE* LPBYTE;

struct HACMSTREAM__;
struct HACMDRIVER__;
struct HACMOBJ__;
typedef HACMSTREAM__* HACMSTREAM;
typedef HACMSTREAM* LPHACMSTREAM;
typedef HACMDRIVER__* HACMDRIVER;
typedef HACMOBJ__* HACMOBJ;
struct WAVEFILTER;  // filters are not offered: pass nullptr
typedef WAVEFILTER* LPWAVEFILTER;

// ---- results ---------------------------------------------------------------
#ifndef MMSYSERR_NOERROR
#define MMSYSERR_NOERROR 0u
#define MMSYSERR_ERROR 1u
#define MMSYSERR_BADDEVICEID 2u
#define MMSYSERR_NOTENABLED 3u
#define MMSYSERR_ALLOCATED 4u
#define MMSYSERR_INVALHANDLE 5u
#define MMSYSERR_NODRIVER 6u
#define MMSYSERR_NOMEM 7u
#define MMSYSERR_NOTSUPPORTED 8u
#define MMSYSERR_BADERRNUM 9u
#define MMSYSERR_INVALFLAG 10u
#define MMSYSERR_INVALPARAM 11u
#endif
#define ACMERR_BASE 512u
#define ACMERR_NOTPOSSIBLE (ACMERR_BASE + 0)
#define ACMERR_BUSY (ACMERR_BASE + 1)
#define ACMERR_UNPREPARED (ACMERR_BASE + 2)
#define ACMERR_CANCELED (ACMERR_BASE + 3)

// ---- acmMetrics ------------------------------------------------------------
#define ACM_METRIC_COUNT_DRIVERS 1u
#define ACM_METRIC_COUNT_CODECS 2u
#define ACM_METRIC_MAX_SIZE_FORMAT 50u
#define ACM_METRIC_MAX_SIZE_FILTER 51u
// uMetric ACM_METRIC_MAX_SIZE_FORMAT writes a DWORD: the largest format record
// any conversion here takes. Other metrics: MMSYSERR_NOTSUPPORTED.
MMRESULT acmMetrics(HACMOBJ hao, UINT uMetric, LPVOID pMetric);

// ---- acmFormatSuggest ------------------------------------------------------
// Flags say which destination fields are fixed by the caller; the others are
// filled in (PCM, 16 bits, the source's channels and rate).
#define ACM_FORMATSUGGESTF_WFORMATTAG 0x00010000u
#define ACM_FORMATSUGGESTF_NCHANNELS 0x00020000u
#define ACM_FORMATSUGGESTF_NSAMPLESPERSEC 0x00040000u
#define ACM_FORMATSUGGESTF_WBITSPERSAMPLE 0x00080000u
#define ACM_FORMATSUGGESTF_TYPEMASK 0x00FF0000u
// cbwfxDst: bytes available at pwfxDst (at least 16; with 18 or more cbSize is
// written as 0). ACMERR_NOTPOSSIBLE when no conversion fits.
MMRESULT acmFormatSuggest(HACMDRIVER had, LPWAVEFORMATEX pwfxSrc, LPWAVEFORMATEX pwfxDst,
                          DWORD cbwfxDst, DWORD fdwSuggest);

// ---- streams ---------------------------------------------------------------
#define ACM_STREAMOPENF_QUERY 0x00000001u
#define ACM_STREAMOPENF_ASYNC 0x00000002u  // not offered: MMSYSERR_NOTSUPPORTED
#define ACM_STREAMOPENF_NONREALTIME 0x00000004u
#define CALLBACK_TYPEMASK 0x00070000u
#define CALLBACK_NULL 0x00000000u

// With ACM_STREAMOPENF_QUERY only answers whether the conversion is possible
// (phas may be nullptr). Errors: MMSYSERR_INVALPARAM (missing formats or
// handle pointer, malformed source format), MMSYSERR_INVALFLAG,
// MMSYSERR_NOTSUPPORTED (async, callbacks, filters), ACMERR_NOTPOSSIBLE
// (no such conversion), MMSYSERR_NOMEM.
MMRESULT acmStreamOpen(LPHACMSTREAM phas, HACMDRIVER had, LPWAVEFORMATEX pwfxSrc,
                       LPWAVEFORMATEX pwfxDst, LPWAVEFILTER pwfltr, DWORD_PTR dwCallback,
                       DWORD_PTR dwInstance, DWORD fdwOpen);
// MMSYSERR_INVALHANDLE for a handle that is not open; ACMERR_BUSY while a
// header is still prepared on the stream.
MMRESULT acmStreamClose(HACMSTREAM has, DWORD fdwClose);

#define ACM_STREAMSIZEF_SOURCE 0x00000000u       // cbInput source bytes -> destination bytes
#define ACM_STREAMSIZEF_DESTINATION 0x00000001u  // cbInput destination bytes -> source bytes
#define ACM_STREAMSIZEF_QUERYMASK 0x0000000Fu
// ACMERR_NOTPOSSIBLE when cbInput holds less than one block (or frame).
MMRESULT acmStreamSize(HACMSTREAM has, DWORD cbInput, LPDWORD pdwOutputBytes, DWORD fdwSize);

#define ACMSTREAMHEADER_STATUSF_DONE 0x00010000u
#define ACMSTREAMHEADER_STATUSF_PREPARED 0x00020000u
#define ACMSTREAMHEADER_STATUSF_INQUEUE 0x00100000u

struct ACMSTREAMHEADER {
  DWORD cbStruct;  // sizeof(ACMSTREAMHEADER)
  DWORD fdwStatus;
  DWORD_PTR dwUser;
  LPBYTE pbSrc;
  DWORD cbSrcLength;
  DWORD cbSrcLengthUsed;  // set by acmStreamConvert
  DWORD_PTR dwSrcUser;
  LPBYTE pbDst;
  DWORD cbDstLength;
  DWORD cbDstLengthUsed;  // set by acmStreamConvert
  DWORD_PTR dwDstUser;
  DWORD dwReservedDriver[10];  // the stream's own bookkeeping; leave alone
};
typedef ACMSTREAMHEADER* LPACMSTREAMHEADER;

// fdwPrepare / fdwUnprepare must be 0. Unprepare wants the buffers and
// lengths as they were prepared (else MMSYSERR_INVALPARAM).
MMRESULT acmStreamPrepareHeader(HACMSTREAM has, LPACMSTREAMHEADER pash, DWORD fdwPrepare);
MMRESULT acmStreamUnprepareHeader(HACMSTREAM has, LPACMSTREAMHEADER pash, DWORD fdwUnprepare);

#define ACM_STREAMCONVERTF_BLOCKALIGN 0x00000004u
#define ACM_STREAMCONVERTF_START 0x00000010u  // forget the state of earlier data
#define ACM_STREAMCONVERTF_END 0x00000020u    // no more source follows
// ACMERR_UNPREPARED for an unprepared header; MMSYSERR_INVALPARAM when the
// header's buffers are not those prepared or its lengths exceed them.
// Sets cbSrcLengthUsed, cbDstLengthUsed and ACMSTREAMHEADER_STATUSF_DONE.
MMRESULT acmStreamConvert(HACMSTREAM has, LPACMSTREAMHEADER pash, DWORD fdwConvert);
