// Wrapped drawing: a string or a box laid into the draw area line after line
// at a fixed line step, continuing at the left edge where it runs past the
// right one. Every loop here moves on by at least one pixel of a non-empty
// area per turn, and an empty area draws nothing, so none can spin.
#include <cstring>

#include "engine/graphics/graphics.h"
#include "engine/image/font_internal.h"
#include "engine/softrender/blend.h"

namespace {

struct WrapArea {
  int32_t clip[4];
  int width() const { return clip[2] - clip[0]; }
};

// The start clamped into the area and wrapped below the right edge; false
// for an area without width.
bool WrapStart(int x, int y, int line_step, WrapArea* area, int* cx, int* cy) {
  GetPaintClipRect(area->clip);
  int w = area->width();
  if (w <= 0 || area->clip[3] <= area->clip[1]) return false;
  *cx = x > area->clip[0] ? x : area->clip[0];
  *cy = y > area->clip[1] ? y : area->clip[1];
  if (*cx >= area->clip[2]) {
    int lines = (*cx - area->clip[0]) / w;
    *cx -= lines * w;
    *cy += lines * line_step;
  }
  return true;
}

// Draws a piece `width` wide at (cx, cy) and its continuation on the lines
// below at the left edge, each shifted left by what the lines above showed.
template <class Draw>
void DrawAcrossLines(int cx, int cy, int width, int line_step, const WrapArea& area, Draw&& draw) {
  draw(cx, cy);
  int32_t r[4] = {cx, cy, cx + width, cy + (line_step > 0 ? line_step : 1)};
  IntersectClipRect(r, area.clip);
  int shown = r[2] - r[0];
  if (cx < area.clip[0]) shown += area.clip[0] - cx;  // pieces left of the area count as shown
  while (shown < width) {
    cy += line_step;
    if (line_step > 0 && cy >= area.clip[3]) break;  // nothing below is visible
    draw(area.clip[0] - shown, cy);
    shown += area.width();
  }
}

}  // namespace

int DrawWrappedString(int x, int y, int line_step, const char* text, uint32_t colour, uint32_t edge_colour, int font,
                      uint32_t selected_colour, uint32_t selected_edge_colour, uint32_t selection_back_colour,
                      int selection_start, int selection_end) {
  if (!text || !*text) return 0;
  if (font == -1) {
    RefreshDefaultFont();
    font = FetchDefaultFont();
  }
  FONTRECORD* f = GetFontRecord(font);
  if (!f) return 0;
  WrapArea area;
  int cx, cy;
  if (!WrapStart(x, y, line_step, &area, &cx, &cy)) return 0;
  if (selection_start == -1 || selection_end == -1) {
    int width = MeasureStringWidthByFont(text, -1, font, 0);
    DrawAcrossLines(cx, cy, width, line_step, area, [&](int px, int py) {
      DrawTextWithFont(px, py, text, colour, font, edge_colour, 0);
    });
    return 0;
  }
  const int lo = selection_start < selection_end ? selection_start : selection_end;
  const int hi = selection_start < selection_end ? selection_end : selection_start;
  const int length = (int)std::strlen(text);
  for (int off = 0; off < length;) {
    char one[3] = {text[off], 0, 0};
    int n = 1;
    if (IsLeadByte(text + off, f->charset) && off + 1 < length) {
      one[1] = text[off + 1];
      n = 2;
    }
    int cw = MeasureStringWidthByFont(one, -1, font, 0);
    if (cw < 0) return 0;
    const bool selected = off >= lo && off < hi;
    auto draw = [&](int px, int py) {
      if (selected) PaintRectangle(px, py, px + cw, py + f->size, selection_back_colour, 1);
      DrawTextWithFont(px, py, one, selected ? selected_colour : colour, font,
                       selected ? selected_edge_colour : edge_colour, 0);
    };
    draw(cx, cy);
    if (cx + cw >= area.clip[2]) {
      int left_over = area.clip[2] - cx;
      cy += line_step;
      cx = area.clip[0] - left_over;
      draw(cx, cy);
    }
    cx += cw;
    off += n;
  }
  return 0;
}

int FillWrappedBox(int x1, int y1, int x2, int y2, int line_step, uint32_t colour, int filled) {
  WrapArea area;
  int cx, cy;
  if (x2 <= x1 || !WrapStart(x1, y1, line_step, &area, &cx, &cy)) return 0;
  const int height = y2 - y1;
  DrawAcrossLines(cx, cy, x2 - x1, line_step, area, [&](int px, int py) {
    PaintRectangle(px, py, px + (x2 - x1), py + height, colour, filled);
  });
  return 0;
}
