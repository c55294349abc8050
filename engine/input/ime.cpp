// The input method: a copy of the composition, its cursor and clauses and the
// candidate list, kept from the input method's messages; finished strings go
// into the character ring; the composition and a candidate window of our own
// are drawn beside the active text input.

#include <cstdio>
#include <cstring>

#include "engine/core/alloc.h"
#include "engine/core/log.h"
#include "engine/core/util.h"
#include "engine/core/window.h"
#include "engine/font/font.h"
#include "engine/graphics/graphics.h"
#include "engine/input/input_internal.h"

namespace {

intptr_t DefaultProc(void* window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  return DefWindowProcA(static_cast<HWND>(window), message, wparam, lparam);
}

void FreeCandidates() {
  TrackedFree(g_text.ime.candidates);
  g_text.ime.candidates = nullptr;
  g_text.ime.candidates_size = 0;
}

// Reads a composition string into a buffer of IME_STRING_BYTES, leaving room
// for its terminating zero. Returns the bytes read.
int ReadCompositionString(HIMC context, DWORD index, char* buffer) {
  std::memset(buffer, 0, IME_STRING_BYTES);
  LONG n = ImmGetCompositionStringA(context, index, buffer, IME_STRING_BYTES - 1);
  if (n < 0) n = 0;
  if (n > IME_STRING_BYTES - 1) n = IME_STRING_BYTES - 1;
  buffer[n] = 0;
  return (int)n;
}

void HandleComposition(void* window, intptr_t flags) {
  ImeState& ime = g_text.ime;
  HIMC context = ImmGetContext(window);
  if (flags & GCS_COMPSTR) ReadCompositionString(context, GCS_COMPSTR, ime.composition);
  if (flags & GCS_RESULTSTR) {
    int n = ReadCompositionString(context, GCS_RESULTSTR, ime.composition);
    for (int i = 0; i < n; ++i) QueueInputChar((uint8_t)ime.composition[i]);
    ReadCompositionString(context, GCS_COMPSTR, ime.composition);
  }
  if (flags & GCS_CURSORPOS) {
    LONG position = ImmGetCompositionStringA(context, GCS_CURSORPOS, nullptr, 0);
    ime.composition_cursor = ByteOffsetToCharCount(ime.composition, position < 0 ? 0 : (int)position);
  }
  if (flags & GCS_COMPCLAUSE) {
    std::memset(ime.clauses, 0, sizeof ime.clauses);
    LONG n = ImmGetCompositionStringA(context, GCS_COMPCLAUSE, ime.clauses, sizeof ime.clauses);
    if (n > (LONG)sizeof ime.clauses) n = sizeof ime.clauses;
    ime.clause_count = n > 0 ? (int)(n / 4) : 0;
  }
  ImmReleaseContext(window, context);
}

void CopyCandidateList(void* window) {
  ImeState& ime = g_text.ime;
  HIMC context = ImmGetContext(window);
  DWORD size = ImmGetCandidateListA(context, 0, nullptr, 0);
  ime.candidates_size = (int)size;
  if (size == 0) {
    WriteLogFormat("漢字変換候補のデータサイズが０でした  DefHWND:%x IMC:%x", (unsigned)(uintptr_t)window,
                   (unsigned)(uintptr_t)context);
  } else {
    TrackedFree(ime.candidates);
    ime.candidates = static_cast<CANDIDATELIST*>(TrackedAlloc(size, "", 0));
    if (!ime.candidates)
      AbortWithLogFormat("漢字変換候補を保存するメモリの確保に失敗しました( 確保しようとしたサイズ %d バイト )",
                         (int)size);
    if (ImmGetCandidateListA(context, 0, ime.candidates, size) == 0) {
      TrackedFree(ime.candidates);
      ime.candidates = nullptr;
      WriteLogFormat("漢字変換候補の取得に失敗しました  BufSize:%d", (int)size);
    }
  }
  ImmReleaseContext(window, context);
}

// The candidate at index i of the held list, or null when the list does not
// hold it whole.
const char* CandidateText(DWORD i) {
  const CANDIDATELIST* list = g_text.ime.candidates;
  DWORD size = (DWORD)g_text.ime.candidates_size;
  if (!list || i >= list->dwCount) return nullptr;
  if (offsetof(CANDIDATELIST, dwOffset) + (size_t)(i + 1) * sizeof(DWORD) > size) return nullptr;
  DWORD at = list->dwOffset[i];
  const char* base = reinterpret_cast<const char*>(list);
  if (at >= size || !std::memchr(base + at, 0, size - at)) return nullptr;
  return base + at;
}

}  // namespace

intptr_t ProcessImeMessage(void* window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  ImeState& ime = g_text.ime;
  switch (message) {
    case WM_IME_SETCONTEXT:
      return DefaultProc(window, message, wparam, 0);
    case WM_IME_STARTCOMPOSITION:
      ime.composition_cursor = 0;
      return 0;
    case WM_IME_ENDCOMPOSITION:
      std::memset(ime.composition, 0, sizeof ime.composition);
      return 0;
    case WM_IME_COMPOSITION:
      HandleComposition(window, lparam);
      return 0;
    case WM_IME_NOTIFY:
      switch (wparam) {
        case IMN_CHANGECANDIDATE:
        case IMN_OPENCANDIDATE:
        case IMN_SETCANDIDATEPOS:
          CopyCandidateList(window);
          return 0;
        case IMN_CLOSECANDIDATE:
          FreeCandidates();
          return 0;
        case IMN_SETOPENSTATUS: {
          if (ime.in_open_status) return 0;
          ime.in_open_status = 1;
          DefaultProc(window, message, wparam, lparam);
          int64_t start = GetMicrosecondCount(0);
          while (HostProcessMessages() == 0 && GetMicrosecondCount(0) - start < 2000) {
          }
          HIMC context = ImmGetContext(window);
          ime.open = ImmGetOpenStatus(context) ? 1 : 0;
          ImmReleaseContext(window, context);
          ime.in_open_status = 0;
          return 0;
        }
        default:
          return DefaultProc(window, message, wparam, lparam);
      }
    default:
      return DefaultProc(window, message, wparam, lparam);
  }
}

int EnableImeInput(int on) {
  ImeState& ime = g_text.ime;
  if (on == ime.enabled) return 0;
  WINNLSEnableIME(static_cast<HWND>(HostMainWindow()), on ? TRUE : FALSE);
  ime.enabled = on;
  if (on) ImeWatchSdlEvents();
  if (!on) {
    FreeCandidates();
    std::memset(ime.composition, 0, sizeof ime.composition);
  }
  return 0;
}

int SetImeOpenState(int open) {
  void* window = HostMainWindow();
  HIMC context = ImmGetContext(window);
  ImmSetOpenStatus(context, open == 1);
  ImmReleaseContext(window, context);
  return 0;
}

int IsImeEnabledAndOpen() { return g_text.ime.enabled && g_text.ime.open; }

int ReapplyImeState() {
  if (IsImeEnabledAndOpen()) g_text.ime.restore_step = 1;
  return 0;
}

void RunImeRestore() {
  ImeState& ime = g_text.ime;
  if (!ime.restore_step) return;
  std::memset(ime.composition, 0, sizeof ime.composition);
  void* window = HostMainWindow();
  HIMC context = ImmGetContext(window);
  if (window && context) {
    ReadCompositionString(context, GCS_COMPSTR, ime.spare);
    ImmNotifyIME(context, NI_COMPOSITIONSTR, CPS_CANCEL, 0);
  }
  SetImeOpenState(0);
  SetImeOpenState(1);
  if (window && context) {
    ImmSetOpenStatus(context, TRUE);
    ImmSetCompositionStringA(context, SCS_SETSTR, ime.spare, (DWORD)std::strlen(ime.spare), nullptr, 0);
  }
  ImmReleaseContext(window, context);
  ime.restore_step = 0;
}

int CharCountToByteOffset(const char* text, int count) {
  int offset = 0;
  for (int i = 0; i < count && text[offset]; ++i) offset += (int)vox_win32::Cp932CharBytes(text + offset);
  return offset;
}

int ByteOffsetToCharCount(const char* text, int offset) {
  int count = 0;
  for (int at = 0; at < offset && text[at]; at += (int)vox_win32::Cp932CharBytes(text + at)) ++count;
  return count;
}

int DrawImeState(int x, int y, int n) {
  const ImeState& ime = g_text.ime;
  if (!ime.enabled || !ime.open) return -1;
  if (!ime.composition[0]) return 0;
  const uint32_t* c = g_text.colours;
  int font = TextInputFontHandle();
  int f = TextInputFontSize(), s = TextInputLineStep(f), t = f / 10, d = f / 3;
  int clip[4];
  GetPaintClipRect(clip);
  int xs = x > clip[0] ? x : clip[0], ys = y > clip[1] ? y : clip[1];
  const char* text = ime.composition;
  int w = MeasureTextBytes(text, (int)std::strlen(text));

  FillWrappedBox(xs, ys, xs + w, ys + f, s, c[COLOUR_COMPOSITION_BACK], 1);
  if (ime.clause_count != 2) {
    int p = CharCountToByteOffset(text, ime.composition_cursor);
    for (int i = 0; i + 1 < ime.clause_count; ++i) {
      if ((int)ime.clauses[i] != p) continue;
      int bx = xs + MeasureTextBytes(text, p);
      int bw = MeasureTextBytes(text + p, (int)ime.clauses[i + 1] - p);
      FillWrappedBox(bx, ys, bx + bw, ys + f, s, c[COLOUR_TARGET_CLAUSE], 1);
      break;
    }
  }
  DrawWrappedString(xs, ys, s, text, 0, c[COLOUR_COMPOSITION_BACK], font, 0, 0, 0, -1, -1);
  int cursor_bytes = CharCountToByteOffset(text, ime.composition_cursor);
  int cx = xs + (cursor_bytes ? MeasureTextBytes(text, cursor_bytes) : 0);
  if (!ime.candidates) PaintRectangle(cx, ys, cx + 2, ys + f, c[COLOUR_COMPOSITION_CURSOR], 1);

  int length = (int)std::strlen(text);
  int lx = xs, previous = 0;
  for (int i = 0; i < ime.clause_count; ++i) {
    int end = (int)ime.clauses[i];
    if (end < previous || end > length) break;
    int wi = MeasureTextBytes(text + previous, end - previous);
    if (wi - 4 * t > 0)
      PaintRectangle(lx + 2 * t, ys + f + t, lx + wi - 2 * t, ys + f + 2 * t, c[COLOUR_CLAUSE_LINE], 1);
    lx += wi;
    previous = end;
  }

  if (ime.candidates && n > 0) {
    const CANDIDATELIST* list = ime.candidates;
    int count = (int)list->dwCount, selection = (int)list->dwSelection;
    int page = (selection / n) * n;
    int rows = 0;
    char lines[64][300];
    int widest = 0;
    for (int i = 0; i < n && page + i < count && i < 64; ++i) {
      const char* entry = CandidateText((DWORD)(page + i));
      std::snprintf(lines[i], sizeof lines[i], "%d:%s", i + 1, entry ? entry : "");
      int lw = MeasureTextBytes(lines[i], (int)std::strlen(lines[i]));
      if (lw > widest) widest = lw;
      ++rows;
    }
    char footer[32];
    std::snprintf(footer, sizeof footer, "%d/%d", selection + 1, count);
    int footer_width = MeasureTextBytes(footer, (int)std::strlen(footer));
    if (footer_width > widest) widest = footer_width;

    int left = cx, top = ys + f + f / 2, right = cx + widest + 2 * d;
    int bottom = ys + (rows + 2) * f + f / 2 + 2 * d;
    if (bottom > clip[3]) {
      int above = ys - (rows + 1) * f - f / 2 - 2 * d;
      int shift = above >= clip[1] ? top - above : bottom - clip[3];
      top -= shift, bottom -= shift;
    }
    if (right > clip[2]) left -= right - clip[2], right = clip[2];
    PaintRectangle(left, top, right, bottom, c[COLOUR_CANDIDATE_BACK], 1);
    PaintRectangle(left, top, right, bottom, c[COLOUR_CANDIDATE_FRAME], 0);
    for (int i = 0; i < rows; ++i) {
      bool selected = page + i == selection;
      DrawTextWithFont(left + d, top + d + i * f, lines[i], selected ? c[COLOUR_TARGET_CLAUSE] : c[COLOUR_TEXT], font,
                       selected ? c[COLOUR_SELECTED_CANDIDATE_EDGE] : c[COLOUR_TEXT_EDGE], 0);
    }
    DrawTextWithFont(left + d + widest - footer_width, top + d + rows * f, footer, c[COLOUR_TEXT], font,
                     c[COLOUR_TEXT_EDGE], 0);
    void* window = HostMainWindow();
    HIMC context = ImmGetContext(window);
    ImmNotifyIME(context, NI_SETCANDIDATE_PAGESIZE, 0, (DWORD)n);
    ImmNotifyIME(context, NI_SETCANDIDATE_PAGESTART, 0, (DWORD)page);
    ImmReleaseContext(window, context);
  }
  return 0;
}
