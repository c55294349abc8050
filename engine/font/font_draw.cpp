// Strings: the one layout walk that measures a string or draws it, glyph by
// glyph from the cache, through the graph functions (texture cache) or into
// a memory image (software cache); the drawing call and the width queries.
#include <cstring>

#include "engine/core/alloc.h"
#include "engine/core/log.h"
#include "engine/font/font_internal.h"
#include "engine/graphics/graphics.h"
#include "engine/graphics/graphics_host.h"
#include "engine/graphics/text_target.h"
#include "engine/softrender/blend.h"

namespace {

FontChar g_string_chars[FONT_STATIC_STRING_BYTES];

bool IsBlank(const FontChar& c, const FontGlyph* g) {
  return IsFontSpace(c) || (g->width == 0 && g->height == 0);
}

// Texture-cache glyph: blend graph off, the edge and then the body drawn
// white-on-transparent through the brightness.
struct GraphGlyphPainter {
  const FONTRECORD* f;
  const FontGlyph* g;
  const TextColours* colours;
  int x, y;
  double pen, xs, ys;
  int vertical, scaled;

  void Paint() const {
    int keep_cross, keep_param, keep_range;
    GetCrossfadeGraph(&keep_cross, &keep_param, &keep_range);
    int r, gg, b;
    GetPaintBrightness(&r, &gg, &b);
    if (keep_cross != -1) SetCrossfadeGraph(-1, keep_param, keep_range);
    if (f->type & FONT_TYPE_EDGE) {
      SetPaintBrightness(colours->rgb[1][0], colours->rgb[1][1], colours->rgb[1][2]);
      PaintOne(f->edge_graph);
    }
    SetPaintBrightness(colours->rgb[0][0], colours->rgb[0][1], colours->rgb[0][2]);
    PaintOne(f->cache_graph);
    SetPaintBrightness(r, gg, b);
    if (keep_cross != -1) SetCrossfadeGraph(keep_cross, keep_param, keep_range);
  }

  void PaintOne(int graph) const {
    if (graph < 0) return;
    int cx = FontCellX(f, g->cell), cy = FontCellY(f, g->cell);
    int pen_i = (int)pen;
    if (!vertical) {
      if (!scaled) {
        PaintGraphPart(x + pen_i + g->origin_x, y + g->top, cx, cy, g->width, g->height, graph, 1);
      } else {
        int x1 = x + (int)(g->origin_x * xs + pen), y1 = y + (int)(g->top * ys);
        PaintGraphPartStretched(x1, y1, x1 + (int)(g->width * xs), y1 + (int)(g->height * ys), cx, cy, g->width,
                                g->height, graph, 1);
      }
      return;
    }
    int32_t keep[4];
    GetPaintClipRect(keep);
    if (!scaled) {
      // Box pixel (i, j) lands on (a - j, b + i): the sheet turned clockwise.
      int a = x + f->line_height - g->top - 1, bpos = y + pen_i + g->origin_x;
      int32_t area[4] = {a - g->height + 1 - 1, bpos, a + 1 + 1, bpos + g->width};
      IntersectClipRect(area, keep);
      SetPaintClipRect(area[0], area[1], area[2], area[3]);
      // The whole graph: twice the sheet for the bodies of an edged font.
      int w = 0, h = 0;
      QueryGraphSize(graph, &w, &h);
      float ox = (float)(a + 1 + cy), oy = (float)(bpos - cx);
      PaintGraphQuad(ox - 0.5f, oy - 0.5f, ox - 0.5f, oy + w - 0.5f, ox - h - 0.5f, oy + w - 0.5f, ox - h - 0.5f,
                     oy - 0.5f, graph, 1);
    } else {
      int right = x + (int)((f->line_height - g->top) * xs), top = y + (int)(g->origin_x * ys + pen);
      int left = right - (int)(g->height * xs), bottom = top + (int)(g->width * ys);
      int32_t area[4] = {left - 1, top, right + 1, bottom};
      IntersectClipRect(area, keep);
      SetPaintClipRect(area[0], area[1], area[2], area[3]);
      int part = CreatePartGraph(cx, cy, g->width, g->height, graph);
      if (part >= 0) {
        PaintGraphQuad(right - 0.5f, top - 0.5f, right - 0.5f, bottom - 0.5f, left - 0.5f, bottom - 0.5f,
                       left - 0.5f, top - 0.5f, part, 1);
        ReleaseGraph(part);
      }
    }
    SetPaintClipRect(keep[0], keep[1], keep[2], keep[3]);
  }
};

}  // namespace

void FontTextColours(uint32_t colour, uint32_t edge_colour, TextColours* out) {
  int br, bg, bb;
  GetPaintBrightness(&br, &bg, &bb);
  const uint32_t in[2] = {colour, edge_colour};
  uint32_t black = PackScreenColor(0, 0, 0);
  for (int k = 0; k < 2; ++k) {
    int r = 0, g = 0, b = 0;
    UnpackScreenColor(in[k], &r, &g, &b);
    r = r * br / 255;
    g = g * bg / 255;
    b = b * bb / 255;
    out->rgb[k][0] = r;
    out->rgb[k][1] = g;
    out->rgb[k][2] = b;
    out->pixel[k] = PackScreenColor(r, g, b) & ~black;
    out->argb[k] = 0xFF000000u | ((uint32_t)r << 16) | ((uint32_t)g << 8) | (uint32_t)b;
  }
}

int RenderFontString(int mode, int x, int y, int scaled, double x_scale, double y_scale, const char* text,
                     uint32_t colour, MEMIMG* target, const int32_t* clip, int transparent, int handle,
                     uint32_t edge_colour, int length, int vertical, int* size_out) {
  (void)transparent;  // pixels outside a glyph are never written
  if (!IsGraphicsStarted()) return -1;
  FONTRECORD* f = GetFontRecord(handle);
  if (!f) return -1;
  if (!f->texture_cache || (mode == 1 && !scaled)) x_scale = y_scale = 1.0;
  TextColours colours;
  FontTextColours(colour, edge_colour, &colours);
  if (size_out) size_out[0] = size_out[1] = 0;
  if (!text || !*text) return 0;
  int text_length = (int)std::strlen(text);
  if (length < 0 || length > text_length) length = text_length;
  FontChar* chars = g_string_chars;
  if (length > FONT_STATIC_STRING_BYTES) {
    chars = static_cast<FontChar*>(VOX_ALLOC((uint32_t)length * sizeof(FontChar)));
    if (!chars) return -1;
  }
  int count = 0;
  if (CacheStringGlyphs(handle, text, length, chars, &count) < 0) {
    if (chars != g_string_chars) VOX_FREE(chars);
    return -1;
  }
  const double along = vertical ? y_scale : x_scale;
  double pen = 0;
  for (int i = 0; i < count; ++i) {
    FontCodeSlot& slot = f->codes[FontCharCode(chars[i])];
    FontGlyph* g = slot.cached ? slot.glyph : nullptr;
    if (!g) g = RasteriseGlyph(1, &chars[i], handle);
    if (!g) {
      WriteLogText("テキストキャッシュの作成に失敗しました");
      if (chars != g_string_chars) VOX_FREE(chars);
      return -1;
    }
    if (mode == 1 && !IsBlank(chars[i], g)) {
      if (target) {
        WriteGlyphToMEMIMG(target, clip, f, g, x, y, pen, colours.pixel[0], colours.pixel[1], vertical);
      } else if (f->texture_cache) {
        GraphGlyphPainter{f, g, &colours, x, y, pen, x_scale, y_scale, vertical, scaled}.Paint();
      }
    }
    pen += (g->advance + f->char_gap) * along;
  }
  if (chars != g_string_chars) VOX_FREE(chars);
  if (size_out) {
    size_out[0] = vertical ? f->line_height : (int)pen;
    size_out[1] = vertical ? (int)pen : f->line_height;
  }
  return (int)pen;
}

int MeasureStringWidthByFont(const char* text, int length, int handle, int vertical) {
  return RenderFontString(0, 0, 0, 0, 1.0, 1.0, text, 0, nullptr, nullptr, 1, handle, 0, length, vertical, nullptr);
}

int MeasureStringWidth(const char* text, int length, int vertical) {
  RefreshDefaultFont();
  return MeasureStringWidthByFont(text, length, FetchDefaultFont(), vertical);
}

namespace {
int DrawTextureCached(int x, int y, int scaled, double xs, double ys, const char* text, uint32_t colour, int handle,
                      uint32_t edge_colour, int vertical) {
  FONTRECORD* f = GetFontRecord(handle);
  if (!f || !f->texture_cache) return 0;
  RestoreFontCacheGraph(handle);
  int32_t clip[4];
  GetPaintClipRect(clip);
  RenderFontString(1, x, y, scaled, xs, ys, text, colour, nullptr, clip, 1, handle, edge_colour, -1, vertical,
                   nullptr);
  return 0;
}
}  // namespace

int DrawTextTextureCache(int x, int y, const char* text, uint32_t colour, int handle, uint32_t edge_colour,
                         int vertical) {
  return DrawTextureCached(x, y, 0, 1.0, 1.0, text, colour, handle, edge_colour, vertical);
}

int DrawTextTextureCacheScaled(int x, int y, double x_scale, double y_scale, const char* text, uint32_t colour,
                               int handle, uint32_t edge_colour, int vertical) {
  return DrawTextureCached(x, y, 1, x_scale, y_scale, text, colour, handle, edge_colour, vertical);
}

int DrawTextWithFont(int x, int y, const char* text, uint32_t colour, int handle, uint32_t edge_colour,
                     int vertical) {
  if (!text || !*text || !IsGraphicsStarted() || IsPaintClipEmpty()) return 0;
  FONTRECORD* f = GetFontRecord(handle);
  if (!f) {
    WriteLogText("フォントハンドル値が異常です\n");
    return -1;
  }
  GetGraphicsHost().wait_while_inactive();
  int mode = 0, param = 0;
  GetBlendMode(&mode, &param);
  int32_t clip[4];
  GetPaintClipRect(clip);
  const int masked = IsMaskScreenActive();
  int32_t rect[4] = {0, 0, 0, 0};
  if ((mode == 3 && f->texture_cache) || masked || CurrentDrawScreen() == DRAW_SCREEN_FRONT) {
    // The line height, not the size: an edged font reaches below size + 3.
    int extent = (f->line_height > f->size ? f->line_height : f->size) + 3;
    if (!vertical) {
      rect[0] = x, rect[1] = y, rect[2] = clip[2], rect[3] = y + extent;
    } else {
      rect[0] = x, rect[1] = y, rect[2] = x + extent, rect[3] = clip[3];
    }
    if (rect[0] >= clip[2]) return 0;
  }
  if (masked) BeginMaskedPaint(rect[0], rect[1], rect[2], rect[3]);
  if (f->texture_cache) {
    // A device that cannot subtract gets the string between two inversions
    // of its rectangle, drawn in the add mode.
    const bool invert = mode == 3 && TextNeedsInvertPasses();
    if (invert) InvertTextAreaBefore(rect);
    DrawTextTextureCache(x, y, text, colour, handle, edge_colour, vertical);
    if (invert) InvertTextAreaAfter(rect);
  } else {
    DrawTextSoftware(x, y, text, colour, handle, edge_colour, vertical);
  }
  if (masked) EndMaskedPaint(rect[0], rect[1], rect[2], rect[3]);
  return 0;
}
