// The character ring between the window procedure and the text inputs, the
// shared text-input state and colours, what the window procedure feeds in,
// and the drawing of text wrapped inside the clip rectangle.

#include <cstring>

#include "engine/core/log.h"
#include "engine/font/font.h"
#include "engine/graphics/graphics.h"
#include "engine/input/input_internal.h"
#include "platform/win32/cp932.h"

TextInputState g_text;

namespace {

// Editing keys (virtual key) and the codes they put into the ring.
constexpr uint8_t kEditKeys[][2] = {
    {0x2E, 0x10}, {0x25, 0x1D}, {0x27, 0x1C}, {0x26, 0x1E}, {0x28, 0x1F},
    {0x24, 0x1A}, {0x23, 0x19}, {0x21, 0x17}, {0x22, 0x15}, {0, 0},
};

constexpr uint8_t kColourValues[COLOUR_COUNT][3] = {
    {255, 255, 255}, {255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {255, 255, 255},
    {255, 0, 0},     {255, 255, 20},  {0, 0, 0},     {0, 0, 0},     {0, 0, 0},
    {255, 255, 0},   {0, 0, 0},       {255, 255, 255}, {0, 0, 0},   {128, 128, 128},
};

bool RingEmpty() { return g_text.ring_start == g_text.ring_end; }
bool RingFull() {
  return g_text.ring_end + 1 == g_text.ring_start || (g_text.ring_start == 0 && g_text.ring_end == RING_SIZE - 1);
}
int RingNext(int i) { return i + 1 == RING_SIZE ? 0 : i + 1; }
int RingPrevious(int i) { return i == 0 ? RING_SIZE - 1 : i - 1; }

struct ClickRecord {
  int button, x, y;
};
ClickRecord g_clicks[32];
int g_click_count;
int g_input_flag_a, g_input_flag_b;

// The clip rectangle and the start of wrapped drawing inside it; false when
// the clip rectangle has no width, where nothing can be drawn (and the wrap
// would never end).
bool WrapStart(int x, int y, int line_step, int clip[4], int* sx, int* sy) {
  GetPaintClipRect(clip);
  int width = clip[2] - clip[0];
  if (width <= 0 || clip[3] <= clip[1] || line_step <= 0) return false;
  *sx = x > clip[0] ? x : clip[0];
  *sy = y > clip[1] ? y : clip[1];
  if (*sx > clip[2]) {
    int lines = (*sx - clip[2] + width - 1) / width;
    *sx -= lines * width;
    *sy += lines * line_step;
  }
  return true;
}

int ResolveFont(int font) { return font == -1 ? FetchDefaultFont() : font; }

}  // namespace

// ---- the state ----------------------------------------------------------------------------------

int StartTextInputSystem() {
  WriteLogText("文字コードバッファの初期化を行います... ");
  FreeAllTextInputs();
  if (g_text.ime.candidates) TrackedFree(g_text.ime.candidates);
  std::memset(&g_text, 0, sizeof g_text);
  for (int c = 0; c < COLOUR_COUNT; ++c)
    g_text.colours[c] = PackScreenColor(kColourValues[c][0], kColourValues[c][1], kColourValues[c][2]);
  g_text.active = -1;
  g_text.font = -1;
  ImeWatchSdlEvents();
  WriteLogText("完了しました\n");
  return 0;
}

int TextInputFontHandle() { return ResolveFont(g_text.font); }
int TextInputFontSize() {
  int size = ReadFontSize(TextInputFontHandle());
  return size > 0 ? size : 16;
}
int TextInputLineStep(int size) { return size + 3 * (size / 10); }
int MeasureTextBytes(const char* text, int length) {
  if (length <= 0) return 0;
  int width = MeasureStringWidthByFont(text, length, TextInputFontHandle(), 0);
  return width > 0 ? width : 0;
}

// ---- the ring ------------------------------------------------------------------------------------

int QueueInputChar(int byte) {
  if (RingFull()) return -1;
  g_text.ring[g_text.ring_end] = (uint8_t)byte;
  g_text.ring_end = RingNext(g_text.ring_end);
  return 0;
}

int TakeInputChar(int advance) {
  if (RingEmpty()) return 0;
  uint8_t b = g_text.ring[g_text.ring_start];
  if (advance) g_text.ring_start = RingNext(g_text.ring_start);
  if (b == 0xFF) {
    WriteLogText("文字バッファエラー\n");
    return -1;
  }
  return b;
}

int IsEditControlCode(int byte) {
  for (int i = 0; kEditKeys[i][0]; ++i)
    if (kEditKeys[i][1] == (uint8_t)byte) return 1;
  return 0;
}

int TakeInputCharPair(char* buffer, int advance) {
  buffer[0] = buffer[1] = 0;
  if (RingEmpty()) return 0;
  uint8_t first = g_text.ring[g_text.ring_start];
  buffer[0] = (char)first;
  g_text.ring_start = RingNext(g_text.ring_start);
  int count = 1;
  if (!IsEditControlCode(first) && vox_win32::IsCp932LeadByte((unsigned char)buffer[0])) {
    if (RingEmpty()) {
      // The second byte has not come yet: the lead byte waits for it.
      g_text.ring_start = RingPrevious(g_text.ring_start);
      buffer[0] = 0;
      return 0;
    }
    buffer[1] = (char)g_text.ring[g_text.ring_start];
    if (advance) g_text.ring_start = RingNext(g_text.ring_start);
    count = 2;
  }
  if (!advance) g_text.ring_start = RingPrevious(g_text.ring_start);
  return count;
}

int ClearInputChars() {
  for (;;) {
    if (HostProcessMessages() != 0) break;
    if ((TakeInputChar(1) & 0xFF) == 0) break;
  }
  g_text.ring_start = g_text.ring_end = 0;
  return 0;
}

// ---- what the window procedure feeds in -------------------------------------------------------------

int QueueCharMessage(uintptr_t wparam) {
  uint8_t c = (uint8_t)wparam;
  if (c == 0x0A) c = 0x0D;
  switch (c) {
    case 0x08: case 0x09: case 0x0D: case 0x10: case 0x1B: case 0x03: case 0x16: case 0x18: case 0x01:
      break;
    default:
      if (c < 0x20) return 0;
  }
  return QueueInputChar(c);
}

int QueueEditKeyMessage(uintptr_t virtual_key) {
  if (RingFull()) return 0;
  for (int i = 0; kEditKeys[i][0]; ++i)
    if (kEditKeys[i][0] == virtual_key) return QueueInputChar(kEditKeys[i][1]);
  return 0;
}

void LogMouseClick(int button, int x, int y) {
  if (g_click_count >= 32) return;
  g_clicks[g_click_count++] = {button, x, y};
}
int SetInputFlagA() { return g_input_flag_a = 1, 0; }
int ClearInputFlagA() { return g_input_flag_a = 0, 0; }
int SetInputFlagB() { return g_input_flag_b = 1, 0; }
int ClearInputFlagB() { return g_input_flag_b = 0, 0; }

// ---- wrapped drawing ---------------------------------------------------------------------------------

int DrawWrappedString(int x, int y, int line_step, const char* text, uint32_t colour, uint32_t edge, int font,
                      uint32_t selected_colour, uint32_t selected_edge, uint32_t selection_back, int selection_start,
                      int selection_end) {
  int clip[4], sx, sy;
  if (!text || !*text || !WrapStart(x, y, line_step, clip, &sx, &sy)) return 0;
  font = ResolveFont(font);
  int clip_width = clip[2] - clip[0];
  int length = (int)std::strlen(text);
  if (selection_start < 0 || selection_end < 0) {
    int width = MeasureStringWidthByFont(text, length, font, 0);
    DrawTextWithFont(sx, sy, text, colour, font, edge, 0);
    // What runs past the right edge goes on at the left edge, one line lower.
    int shown = (clip[2] - sx) < width ? clip[2] - sx : width;
    if (shown < 0) shown = 0;
    int line_y = sy;
    while (shown < width) {
      line_y += line_step;
      if (line_y >= clip[3]) break;
      DrawTextWithFont(clip[0] - shown, line_y, text, colour, font, edge, 0);
      shown += clip_width;
    }
    return 0;
  }
  int low = selection_start < selection_end ? selection_start : selection_end;
  int high = selection_start < selection_end ? selection_end : selection_start;
  int size = ReadFontSize(font);
  if (size <= 0) size = 16;
  int cx = sx, cy = sy;
  for (int i = 0; i < length;) {
    int n = (int)vox_win32::Cp932CharBytes(text + i);
    char ch[3] = {text[i], n == 2 ? text[i + 1] : (char)0, 0};
    int w = MeasureStringWidthByFont(ch, n, font, 0);
    bool selected = i >= low && i < high;
    for (int part = 0; part < 2; ++part) {
      // A character that crosses the right edge shows again on the next line.
      int px = part == 0 ? cx : clip[0] - (clip[2] - cx);
      int py = part == 0 ? cy : cy + line_step;
      if (selected) {
        PaintRectangle(px, py, px + w, py + size, selection_back, 1);
        DrawTextWithFont(px, py, ch, selected_colour, font, selected_edge, 0);
      } else {
        DrawTextWithFont(px, py, ch, colour, font, edge, 0);
      }
      if (cx + w <= clip[2]) break;
    }
    cx += w;
    if (cx >= clip[2]) cx -= clip_width, cy += line_step;
    i += n;
  }
  return 0;
}

int FillWrappedBox(int x1, int y1, int x2, int y2, int line_step, uint32_t colour, int filled) {
  int clip[4], sx, sy;
  if (!WrapStart(x1, y1, line_step, clip, &sx, &sy)) return 0;
  int width = x2 - x1, height = y2 - y1;
  if (width <= 0) return 0;
  int clip_width = clip[2] - clip[0];
  PaintRectangle(sx, sy, sx + width, sy + height, colour, filled);
  int shown = clip[2] - sx;
  int line_y = sy;
  while (shown < width) {
    line_y += line_step;
    if (line_y >= clip[3]) break;
    PaintRectangle(clip[0] - shown, line_y, clip[0] - shown + width, line_y + height, colour, filled);
    shown += clip_width;
  }
  return 0;
}
