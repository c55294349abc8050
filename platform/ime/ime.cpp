// One input context for the program's window, kept from SDL's text-editing
// events.

#include "platform/ime/ime.h"

#include <SDL2/SDL.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/cp932.h"

namespace {

struct Context {
  bool open = false;
  bool composing = false;
  std::string composition;      // code page 932
  int cursor = 0;               // byte offset in the composition
  std::vector<DWORD> clauses;   // byte offsets of the clause boundaries
  std::vector<std::string> candidates;
  int selection = 0;
  int page_start = 0, page_size = 0;
};
Context g_context;
int g_context_tag;  // its address is the context handle

bool IsContext(HIMC context) { return context == &g_context_tag; }

// Code page 932 text of UTF-8, dropping what code page 932 cannot show; the
// byte offset of each UTF-8 character's start is recorded in `starts`.
std::string ConvertComposition(const char* utf8, std::vector<int>* starts) {
  std::string out;
  starts->clear();
  for (size_t i = 0; utf8[i];) {
    size_t n = 1;
    unsigned char c = (unsigned char)utf8[i];
    if (c >= 0xF0) n = 4;
    else if (c >= 0xE0) n = 3;
    else if (c >= 0xC0) n = 2;
    size_t len = strnlen(utf8 + i, n);
    std::string piece;
    starts->push_back((int)out.size());
    if (vox_win32::Utf8ToCp932(std::string_view(utf8 + i, len), &piece)) out += piece;
    i += len;
  }
  starts->push_back((int)out.size());
  return out;
}

int Emit(ImeMessage* out, int max, int count, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  if (count < max) out[count] = {message, wparam, lparam};
  return count + 1;
}

LONG CopyOut(const void* data, DWORD bytes, void* buffer, DWORD size) {
  if (size == 0) return (LONG)bytes;
  if (!buffer) return IMM_ERROR_GENERAL;
  DWORD n = bytes < size ? bytes : size;
  std::memcpy(buffer, data, n);
  return (LONG)n;
}

// The composition gone (its text finished, or emptied): an empty
// composition string, then its end; nothing when none was going on.
int EndComposition(ImeMessage* out, int max) {
  if (!g_context.composing) return 0;
  g_context.composing = false;
  g_context.composition.clear();
  g_context.clauses.clear();
  g_context.cursor = 0;
  const int count = Emit(out, max, 0, WM_IME_COMPOSITION, 0, GCS_COMPSTR | GCS_CURSORPOS | GCS_COMPCLAUSE);
  return Emit(out, max, count, WM_IME_ENDCOMPOSITION, 0, 0);
}

}  // namespace

HIMC ImmGetContext(void* window) { return window ? &g_context_tag : nullptr; }

BOOL ImmReleaseContext(void* window, HIMC context) { return window && IsContext(context); }

LONG ImmGetCompositionStringA(HIMC context, DWORD index, void* buffer, DWORD size) {
  if (!IsContext(context)) return IMM_ERROR_GENERAL;
  switch (index) {
    case GCS_COMPSTR:
      return CopyOut(g_context.composition.data(), (DWORD)g_context.composition.size(), buffer, size);
    case GCS_RESULTSTR:
      return 0;
    case GCS_CURSORPOS:
      return g_context.cursor;
    case GCS_COMPCLAUSE:
      return CopyOut(g_context.clauses.data(), (DWORD)(g_context.clauses.size() * sizeof(DWORD)), buffer, size);
    default:
      return IMM_ERROR_NODATA;
  }
}

DWORD ImmGetCandidateListA(HIMC context, DWORD index, CANDIDATELIST* list, DWORD size) {
  if (!IsContext(context) || index != 0 || g_context.candidates.empty()) return 0;
  DWORD count = (DWORD)g_context.candidates.size();
  DWORD header = (DWORD)(offsetof(CANDIDATELIST, dwOffset) + count * sizeof(DWORD));
  DWORD total = header;
  for (const std::string& c : g_context.candidates) total += (DWORD)c.size() + 1;
  if (size == 0) return total;
  if (!list || size < total) return 0;
  std::memset(list, 0, total);
  list->dwSize = total;
  list->dwCount = count;
  list->dwSelection = (DWORD)g_context.selection;
  list->dwPageStart = (DWORD)g_context.page_start;
  list->dwPageSize = (DWORD)g_context.page_size;
  DWORD at = header;
  char* base = reinterpret_cast<char*>(list);
  for (DWORD i = 0; i < count; ++i) {
    list->dwOffset[i] = at;
    std::memcpy(base + at, g_context.candidates[i].c_str(), g_context.candidates[i].size() + 1);
    at += (DWORD)g_context.candidates[i].size() + 1;
  }
  return total;
}

BOOL ImmGetOpenStatus(HIMC context) { return IsContext(context) && g_context.open; }

BOOL ImmSetOpenStatus(HIMC context, BOOL open) {
  if (!IsContext(context)) return FALSE;
  g_context.open = open != 0;
  return TRUE;
}

BOOL ImmNotifyIME(HIMC context, DWORD action, DWORD index, DWORD value) {
  if (!IsContext(context)) return FALSE;
  switch (action) {
    case NI_COMPOSITIONSTR:
      if (index != CPS_CANCEL) return FALSE;
      g_context.composition.clear();
      g_context.clauses.clear();
      g_context.cursor = 0;
      // SDL offers no cancel of its own: restarting text input drops what
      // the system's input method was composing.
      if (SDL_WasInit(SDL_INIT_VIDEO) && SDL_IsTextInputActive()) {
        SDL_StopTextInput();
        SDL_StartTextInput();
      }
      return TRUE;
    case NI_SETCANDIDATE_PAGESTART:
      g_context.page_start = (int)value;
      return TRUE;
    case NI_SETCANDIDATE_PAGESIZE:
      g_context.page_size = (int)value;
      return TRUE;
    default:
      return FALSE;
  }
}

BOOL ImmSetCompositionStringA(HIMC context, DWORD index, const void* composition, DWORD composition_size,
                              const void*, DWORD) {
  if (!IsContext(context) || index != SCS_SETSTR) return FALSE;
  g_context.composition.assign(composition ? static_cast<const char*>(composition) : "",
                               composition ? composition_size : 0);
  g_context.cursor = (int)g_context.composition.size();
  g_context.clauses.clear();
  return TRUE;
}

int ImeTranslateSdlEvent(const SDL_Event* event, ImeMessage* out, int max) {
  if (!event || (!out && max > 0)) return 0;
  int count = 0;
  // The finished text itself comes to the window as characters.
  if (event->type == SDL_TEXTINPUT) return EndComposition(out, max);
  if (event->type != SDL_TEXTEDITING) return 0;
  std::vector<int> starts;
  std::string text = ConvertComposition(event->edit.text, &starts);
  if (text.empty()) return EndComposition(out, max);
  if (!g_context.open) {
    g_context.open = true;
    count = Emit(out, max, count, WM_IME_NOTIFY, IMN_SETOPENSTATUS, 0);
  }
  if (!g_context.composing) {
    g_context.composing = true;
    count = Emit(out, max, count, WM_IME_STARTCOMPOSITION, 0, 0);
  }
  int characters = (int)starts.size() - 1;
  auto offset = [&](int character) { return starts[SDL_clamp(character, 0, characters)]; };
  g_context.composition = text;
  g_context.cursor = offset(event->edit.start);
  // The part being converted is the target clause between the others.
  g_context.clauses.clear();
  std::vector<int> bounds = {0};
  if (event->edit.length > 0) {
    bounds.push_back(offset(event->edit.start));
    bounds.push_back(offset(event->edit.start + event->edit.length));
  }
  bounds.push_back((int)text.size());
  for (int b : bounds)
    if (g_context.clauses.empty() || (int)g_context.clauses.back() < b) g_context.clauses.push_back((DWORD)b);
  return Emit(out, max, count, WM_IME_COMPOSITION, 0, GCS_COMPSTR | GCS_CURSORPOS | GCS_COMPCLAUSE);
}

void ImeSetCandidatesForTesting(const char* const* items, int count, int selection) {
  g_context.candidates.clear();
  for (int i = 0; items && i < count; ++i) g_context.candidates.emplace_back(items[i] ? items[i] : "");
  g_context.selection = selection;
}

void ImeLastCandidatePage(int* start, int* size) {
  if (start) *start = g_context.page_start;
  if (size) *size = g_context.page_size;
}

void ImeResetForTesting() { g_context = Context(); }
