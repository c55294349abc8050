// Input-method calls in the shape the engine's text input makes them, over
// SDL2's text-editing events. SDL gives the composition string being typed
// (with its cursor and the part being converted) but no candidate list and no
// open status: the context opens itself when a composition first appears,
// the converted part becomes the target clause, and finished text reaches the
// window as ordinary characters (the window layer turns SDL's text-input
// events into WM_CHAR), so the result string read here is always empty.
//
// ImeWatchSdlEvents (called by the engine's text-input start, once SDL's
// video runs) installs an SDL event watch: every SDL_TEXTEDITING and
// SDL_TEXTINPUT event that enters SDL's queue goes through
// ImeTranslateSdlEvent, and the messages it gives are posted to the window the
// event belongs to, so the window layer needs to do nothing for them. Text
// crosses this boundary as code page 932.
#pragma once

#include <cstdint>

#include "platform/win32/win32.h"

typedef void* HIMC;

#ifndef WM_IME_STARTCOMPOSITION
#define WM_IME_STARTCOMPOSITION 0x010Du
#define WM_IME_ENDCOMPOSITION 0x010Eu
#define WM_IME_COMPOSITION 0x010Fu
#define WM_IME_SETCONTEXT 0x0281u
#define WM_IME_NOTIFY 0x0282u
#endif

// ImmGetCompositionStringA
#define GCS_COMPREADSTR 0x0001u
#define GCS_COMPSTR 0x0008u
#define GCS_COMPCLAUSE 0x0020u
#define GCS_CURSORPOS 0x0080u
#define GCS_RESULTSTR 0x0800u
#define IMM_ERROR_NODATA (-1)
#define IMM_ERROR_GENERAL (-2)
// WM_IME_NOTIFY
#define IMN_CHANGECANDIDATE 0x0003u
#define IMN_CLOSECANDIDATE 0x0004u
#define IMN_OPENCANDIDATE 0x0005u
#define IMN_SETOPENSTATUS 0x0008u
#define IMN_SETCANDIDATEPOS 0x0009u
// ImmNotifyIME
#define NI_COMPOSITIONSTR 0x0015u
#define NI_SETCANDIDATE_PAGESTART 0x0016u
#define NI_SETCANDIDATE_PAGESIZE 0x0017u
#define CPS_CANCEL 0x0004u
// ImmSetCompositionStringA
#define SCS_SETSTR (GCS_COMPREADSTR | GCS_COMPSTR)

// A list of candidate strings: the header, then dwCount offsets from the
// start of the list to zero-terminated code page 932 strings.
struct CANDIDATELIST {
  DWORD dwSize;
  DWORD dwStyle;
  DWORD dwCount;
  DWORD dwSelection;
  DWORD dwPageStart;
  DWORD dwPageSize;
  DWORD dwOffset[1];
};

// Null for a null window.
HIMC ImmGetContext(void* window);
BOOL ImmReleaseContext(void* window, HIMC context);
// Bytes (GCS_COMPSTR, GCS_RESULTSTR; no terminating zero is counted or
// written), bytes of DWORD clause offsets (GCS_COMPCLAUSE), or the cursor's
// byte offset (GCS_CURSORPOS). With a size of 0 only the size is answered.
LONG ImmGetCompositionStringA(HIMC context, DWORD index, void* buffer, DWORD size);
// Bytes of the list (size 0: only the size); 0 when there is none.
DWORD ImmGetCandidateListA(HIMC context, DWORD index, CANDIDATELIST* list, DWORD size);
BOOL ImmGetOpenStatus(HIMC context);
BOOL ImmSetOpenStatus(HIMC context, BOOL open);
BOOL ImmNotifyIME(HIMC context, DWORD action, DWORD index, DWORD value);
BOOL ImmSetCompositionStringA(HIMC context, DWORD index, const void* composition, DWORD composition_size,
                              const void* reading, DWORD reading_size);

// ---- SDL events ---------------------------------------------------------------------------
void ImeWatchSdlEvents();
struct ImeMessage {
  uint32_t message;
  uintptr_t wparam;
  intptr_t lparam;
};
union SDL_Event;
// The messages (at most 4) an SDL event gives the window: a composition
// starting, changing or ending, and the open status changing. Other events
// give none. Returns the count.
int ImeTranslateSdlEvent(const SDL_Event* event, ImeMessage* out, int max);

// ---- test controls --------------------------------------------------------------------
// Candidate strings (code page 932) the context reports from now on; a null
// list or count 0 removes them.
void ImeSetCandidatesForTesting(const char* const* items, int count, int selection);
// The page the program last asked the candidate window to show.
void ImeLastCandidatePage(int* start, int* size);
// Back to a closed context with no composition and no candidates.
void ImeResetForTesting();
