// Text inputs: one-line editors behind engine handles, fed from the
// character ring by every message-processing step.

#include <cstring>

#include "engine/core/alloc.h"
#include "engine/core/util.h"
#include "engine/core/window.h"
#include "engine/font/font.h"
#include "engine/graphics/graphics.h"
#include "engine/input/input_internal.h"

namespace {

bool IsLead(char c) { return vox_win32::IsCp932LeadByte((unsigned char)c); }

// Size of the character that starts at `at` (a lead byte at the very end of
// the string stands alone).
int CharSizeAt(const TextInputRecord& r, int at) {
  return (at + 1 < r.length && IsLead(r.string[at])) ? 2 : 1;
}

// Start of the character that ends at `at`, found by walking from the
// string's start: a trail byte can look like a lead byte, so the bytes just
// before `at` cannot tell.
int PreviousCharStart(const char* text, int length, int at) {
  int i = 0, previous = 0;
  while (i < at) {
    previous = i;
    i += (i + 1 < length && IsLead(text[i])) ? 2 : 1;
  }
  return previous;
}

bool ShiftDown() { return IsKeyDown(0x2A) || IsKeyDown(0x36); }

void RemoveBytes(TextInputRecord& r, int at, int count) {
  std::memmove(r.string + at, r.string + at + count, (size_t)(r.length - at - count + 1));
  r.length -= count;
  if (r.scroll > r.length) r.scroll = r.length;
}

int DeleteTextSelection(TextInputRecord& r) {
  if (r.selection_start < 0 || r.selection_end < 0) return 0;
  int low = r.selection_start < r.selection_end ? r.selection_start : r.selection_end;
  int high = r.selection_start < r.selection_end ? r.selection_end : r.selection_start;
  r.cursor = low;
  RemoveBytes(r, low, high - low);
  r.string[r.length] = 0;
  r.selection_start = r.selection_end = -1;
  return 0;
}

bool HasSelection(const TextInputRecord& r) { return r.selection_start >= 0 && r.selection_end >= 0; }

void CopySelectionToClipboard(const TextInputRecord& r) {
  int low = r.selection_start < r.selection_end ? r.selection_start : r.selection_end;
  int high = r.selection_start < r.selection_end ? r.selection_end : r.selection_start;
  char* copy = static_cast<char*>(TrackedAlloc((size_t)(high - low + 1), "", 0));
  if (!copy) return;
  std::memcpy(copy, r.string + low, (size_t)(high - low));
  copy[high - low] = 0;
  WriteClipboardText(copy);
  TrackedFree(copy);
}

void MoveCursor(TextInputRecord& r, int to) {
  if (ShiftDown()) {
    if (r.selection_start < 0) r.selection_start = r.cursor;
    r.selection_end = to;
  } else {
    r.selection_start = r.selection_end = -1;
  }
  r.cursor = to;
}

void InsertCharacter(TextInputRecord& r, const char* ch, int n) {
  DeleteTextSelection(r);
  unsigned char first = (unsigned char)ch[0];
  if (r.digits_only) {
    bool digit = first >= '0' && first <= '9';
    bool minus = first == '-' && r.cursor == 0;
    bool point = first == '.' && !FindCharMb(r.string, '.');
    if (!digit && !minus && !point) return;
  }
  if (r.single_byte_only && n == 2) return;
  // A character larger than the whole input can never fit.
  if (n > r.max_length) return;
  while (r.length + n > r.max_length) {
    bool at_end = r.cursor == r.length;
    int last = PreviousCharStart(r.string, r.length, r.length);
    r.length = last;
    r.string[r.length] = 0;
    if (at_end || r.cursor > r.length) r.cursor = r.length;
  }
  std::memmove(r.string + r.cursor + n, r.string + r.cursor, (size_t)(r.length - r.cursor + 1));
  std::memcpy(r.string + r.cursor, ch, (size_t)n);
  r.cursor += n;
  r.length += n;
}

// Pasted text goes straight to the insert path, character by character, so
// that a control byte in it (a line break, another Ctrl+V) is not taken for a
// key.
void Paste(TextInputRecord& r) {
  int size = ReadClipboardText(nullptr, 0);
  if (size <= 0) return;
  char* text = static_cast<char*>(TrackedAlloc((size_t)size + 1, "", 0));
  if (!text) return;
  if (ReadClipboardText(text, (size_t)size) < 0) {
    TrackedFree(text);
    return;
  }
  text[size] = 0;
  int length = (int)std::strlen(text);
  for (int i = 0; i < length;) {
    bool lead = IsLead(text[i]);
    if (lead && i + 1 >= length) break;  // a first byte without its second is no character
    int n = lead ? 2 : 1;
    if ((unsigned char)text[i] >= 0x20) InsertCharacter(r, text + i, n);
    i += n;
  }
  TrackedFree(text);
}

void HandleCharacter(TextInputRecord& r, const char* ch, int n) {
  switch ((unsigned char)ch[0]) {
    case 0x03:
      if (HasSelection(r)) CopySelectionToClipboard(r);
      break;
    case 0x08:
      if (HasSelection(r)) {
        DeleteTextSelection(r);
      } else if (r.cursor > 0) {
        int start = PreviousCharStart(r.string, r.length, r.cursor);
        RemoveBytes(r, start, r.cursor - start);
        r.cursor = start;
      }
      break;
    case 0x0D:
      r.ended = 1;
      break;
    case 0x10:
      if (HasSelection(r)) {
        if (ShiftDown()) CopySelectionToClipboard(r);
        DeleteTextSelection(r);
      } else if (r.cursor < r.length) {
        RemoveBytes(r, r.cursor, CharSizeAt(r, r.cursor));
      }
      break;
    case 0x16:
      Paste(r);
      break;
    case 0x18:
      if (HasSelection(r)) {
        CopySelectionToClipboard(r);
        DeleteTextSelection(r);
      }
      break;
    case 0x19:
      MoveCursor(r, r.length);
      break;
    case 0x1A:
      MoveCursor(r, 0);
      break;
    case 0x1B:
      if (r.cancel_allowed) r.cancelled = r.ended = 1;
      break;
    case 0x1C:
      if (r.cursor < r.length) MoveCursor(r, r.cursor + CharSizeAt(r, r.cursor));
      break;
    case 0x1D:
      if (r.cursor > 0) MoveCursor(r, PreviousCharStart(r.string, r.length, r.cursor));
      break;
    default:
      // Tab, up and down do nothing; the other control codes (Ctrl+A, Page
      // Up, Page Down) have no editing action and are not text either.
      if ((unsigned char)ch[0] < 0x20) break;
      InsertCharacter(r, ch, n);
      break;
  }
}

}  // namespace

HandleTable<TextInputRecord>& TextInputs() {
  static HandleTable<TextInputRecord> table(HANDLE_TEXT_INPUT, TEXT_INPUT_SLOTS);
  return table;
}

int NewTextInput(int max_length, int cancel_allowed, int single_byte_only, int digits_only) {
  if (max_length < 0) return -1;
  char* string = static_cast<char*>(TrackedCalloc((size_t)max_length + 1, "", 0));
  if (!string) return -1;
  TextInputRecord* r = nullptr;
  int handle = TextInputs().Allocate(&r);
  if (handle < 0) {
    TrackedFree(string);
    return -1;
  }
  r->string = string;
  r->max_length = max_length;
  r->cancel_allowed = cancel_allowed;
  r->single_byte_only = single_byte_only;
  r->digits_only = digits_only;
  r->selection_start = r->selection_end = -1;
  EnableImeInput(1);
  ClearInputChars();
  return handle;
}

int FreeTextInput(int handle) {
  TextInputRecord* r = TextInputs().Lookup(handle);
  if (!r) return -1;
  TrackedFree(r->string);
  TextInputs().Release(handle);
  if (g_text.active == handle) g_text.active = -1;
  if (TextInputs().live_count() == 0) EnableImeInput(0);
  return 0;
}

int FreeAllTextInputs() {
  for (int slot = TextInputs().high_water() - 1; slot >= 0; --slot) {
    int handle = TextInputs().HandleAt(slot);
    if (handle >= 0) FreeTextInput(handle);
  }
  g_text.active = -1;
  return 0;
}

int FocusTextInput(int handle) {
  if (handle == g_text.active) return 0;
  if (TextInputRecord* previous = TextInputs().Lookup(g_text.active))
    previous->selection_start = previous->selection_end = -1;
  if (handle == -1) {
    g_text.active = -1;
    return 0;
  }
  TextInputRecord* r = TextInputs().Lookup(handle);
  if (!r) return -1;
  g_text.active = handle;
  r->ended = r->cancelled = 0;
  return 0;
}

int PollTextInputState(int handle) {
  TextInputRecord* r = TextInputs().Lookup(handle);
  if (!r) return -1;
  return r->cancelled ? 2 : r->ended ? 1 : 0;
}

int UpdateTextInput() {
  RunImeRestore();
  if (g_text.active == -1) return 0;
  TextInputRecord* r = TextInputs().Lookup(g_text.active);
  if (!r) return -1;
  while (!r->ended) {
    char ch[2];
    int n = TakeInputCharPair(ch, 1);
    if (n == 0) return 0;
    HandleCharacter(*r, ch, n);
  }
  return 0;
}

int CopyTextInputString(char* buffer, int handle) {
  TextInputRecord* r = TextInputs().Lookup(handle);
  if (!r || !buffer) return -1;
  std::memcpy(buffer, r->string, (size_t)r->length + 1);
  return 0;
}

int RenderTextInput(int x, int y, int handle) {
  TextInputRecord* r = TextInputs().Lookup(handle);
  if (!r || r->ended) return -1;
  int font = TextInputFontHandle();
  int f = TextInputFontSize();
  int s = TextInputLineStep(f);
  int clip[4];
  GetPaintClipRect(clip);
  int clip_width = clip[2] - clip[0];
  if (clip_width <= 0 || clip[3] <= clip[1]) return 0;
  int xs = x > clip[0] ? x : clip[0], ys = y > clip[1] ? y : clip[1];
  if (xs > clip[2]) {
    int lines = (xs - clip[2] + clip_width - 1) / clip_width;
    xs -= lines * clip_width;
    ys += lines * s;
  }
  int lines = (clip[3] - ys) / s;
  int available = lines == 0 ? clip[2] - xs : (lines - 1) * clip_width + (clip[2] - xs);

  if (MeasureTextBytes(r->string, r->length) + 4 < available) {
    r->scroll = 0;
  } else if (r->cursor < r->scroll) {
    r->scroll = r->cursor;
  } else if (MeasureTextBytes(r->string + r->scroll, r->cursor - r->scroll) > available) {
    r->scroll = r->cursor;
    while (r->scroll > 0) {
      int previous = PreviousCharStart(r->string, r->length, r->scroll);
      if (MeasureTextBytes(r->string + previous, r->cursor - previous) > available) break;
      r->scroll = previous;
    }
  }
  int cursor_x = x + MeasureTextBytes(r->string + r->scroll, r->cursor - r->scroll);
  bool active = handle == g_text.active;
  const uint32_t* c = g_text.colours;
  if (active) FillWrappedBox(cursor_x, y, cursor_x + 2, y + f, s, c[COLOUR_CURSOR], 1);
  int sel_start = -1, sel_end = -1;
  if (HasSelection(*r)) {
    sel_start = r->selection_start - r->scroll < 0 ? 0 : r->selection_start - r->scroll;
    sel_end = r->selection_end - r->scroll < 0 ? 0 : r->selection_end - r->scroll;
  }
  DrawWrappedString(x, y, s, r->string + r->scroll, c[COLOUR_TEXT], c[COLOUR_TEXT_EDGE], font,
                    c[COLOUR_SELECTED_TEXT], c[COLOUR_SELECTED_TEXT_EDGE], c[COLOUR_SELECTION_BACK], sel_start,
                    sel_end);
  if (active) DrawImeState(cursor_x, y, 5);
  return 0;
}
