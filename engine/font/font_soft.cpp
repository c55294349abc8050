// Software string drawing: the glyph writer that puts a cached cell into a
// memory image by screen depth and font kind, and the drawing of a whole
// string either straight into the draw screen's image or through a work
// image and the blit, when blending or grey levels need one.
#include <cstring>

#include "engine/font/font_internal.h"
#include "engine/graphics/graphics.h"
#include "engine/graphics/text_target.h"
#include "engine/softrender/blend.h"
#include "engine/softrender/blit.h"
#include "engine/softrender/memimg.h"

namespace {

int FloorDiv256(int v) { return v >= 0 ? v / 256 : -((-v + 255) / 256); }

// Cell pixel (i, j) of a glyph on the software sheet.
int CellValue(const FONTRECORD* f, const FontGlyph* g, int i, int j) {
  const uint8_t* row = f->soft_buffer + (size_t)(g->cell * f->cell_side + j) * f->soft_pitch;
  if (f->soft_depth == 1) return (row[i >> 3] >> (7 - (i & 7))) & 1;
  return row[i];
}

void StorePixel(uint8_t* p, int bytes, uint32_t v) {
  switch (bytes) {
    case 1: *p = (uint8_t)v; break;
    case 2: StorePixel16(p, v); break;
    default: StorePixel32(p, v); break;
  }
}

}  // namespace

uint32_t MixEdgedAntialiasPixel(int g, int e, uint32_t colour, uint32_t edge, int depth, uint32_t* alpha) {
  if (g == 0) {
    *alpha = (uint32_t)e * 16;
    return edge;
  }
  if (g == 15) {
    *alpha = 255;
    return colour;
  }
  int a = g * 16 + (15 - g) * e;
  int t = g * 4096 / a;
  *alpha = (uint32_t)a;
  // Channel fields: 5/6/5 bits of a 16-bit colour, bytes of a 32-bit one.
  static const int kShift16[3] = {11, 5, 0}, kMask16[3] = {31, 63, 31};
  static const int kShift32[3] = {16, 8, 0}, kMask32[3] = {255, 255, 255};
  const int* shift = depth == 16 ? kShift16 : kShift32;
  const int* mask = depth == 16 ? kMask16 : kMask32;
  uint32_t out = 0;
  for (int k = 0; k < 3; ++k) {
    int tc = (int)((colour >> shift[k]) & (uint32_t)mask[k]);
    int ec = (int)((edge >> shift[k]) & (uint32_t)mask[k]);
    int c = ec + FloorDiv256((tc - ec) * t);
    out |= (uint32_t)(c & mask[k]) << shift[k];
  }
  return out;
}

void WriteGlyphToMEMIMG(MEMIMG* target, const int32_t* clip, const FONTRECORD* f, const FontGlyph* g, int x, int y,
                        double pen, uint32_t colour, uint32_t edge, int vertical) {
  if (!target || !IsMEMIMGValid(target) || !f->soft_buffer) return;
  const int w = g->width, h = g->height;
  if (w <= 0 || h <= 0) return;
  const int pen_i = (int)pen;
  // The glyph's box on the target.
  int32_t box[4];
  if (!vertical) {
    box[0] = x + pen_i + g->origin_x;
    box[1] = y + g->top;
    box[2] = box[0] + w;
    box[3] = box[1] + h;
  } else {
    box[0] = x + f->line_height - g->top - h;
    box[1] = y + pen_i + g->origin_x;
    box[2] = x + f->line_height - g->top;
    box[3] = box[1] + w;
  }
  int32_t area[4] = {0, 0, target->width, target->height};
  if (clip) IntersectClipRect(area, clip);
  int32_t r[4] = {box[0], box[1], box[2], box[3]};
  IntersectClipRect(r, area);
  if (r[0] >= r[2] || r[1] >= r[3]) return;

  const PIXELSTORE* store = target->store;
  const int bytes = store->format->bytes_per_pixel;
  const int depth = store->format_code == MEMIMG_R5G6B5 ? 16 : (bytes == 1 ? 8 : 32);
  const int alpha_shift = depth == 16 ? 16 : 24;
  const uint32_t colour_mask = depth == 16 ? 0xFFFFu : 0x00FFFFFFu;
  const bool edged = (f->type & FONT_TYPE_EDGE) != 0;
  const bool antialias = (f->type & FONT_TYPE_ANTIALIAS) != 0;
  const int pitch = store->pitch;
  for (int ty = r[1]; ty < r[3]; ++ty) {
    uint8_t* row = target->pixels + (ptrdiff_t)ty * pitch;
    for (int tx = r[0]; tx < r[2]; ++tx) {
      // Back from the target pixel to the cell: horizontal (i, j) = offset
      // in the box; vertical the box's pixel (i, j) lands at
      // (box right - 1 - j, box top + i).
      int i, j;
      if (!vertical) {
        i = tx - box[0];
        j = ty - box[1];
      } else {
        i = ty - box[1];
        j = box[2] - 1 - tx;
      }
      int v = CellValue(f, g, i, j);
      if (!v) continue;
      uint8_t* p = row + (ptrdiff_t)tx * bytes;
      uint32_t out;
      if (!antialias) {
        if (edged) {
          if (v == 1) out = colour;
          else if (v == 2) out = edge;
          else continue;
        } else {
          out = colour;
        }
      } else if (!edged) {
        out = (colour & colour_mask) | ((uint32_t)v * 16) << alpha_shift;
      } else {
        uint32_t a;
        uint32_t c = MixEdgedAntialiasPixel(v & 15, v >> 4, colour & colour_mask, edge & colour_mask, depth, &a);
        out = c | (a << alpha_shift);
      }
      StorePixel(p, bytes, out);
    }
  }
}

namespace {

// The work image of a font kind: with an alpha channel for grey levels.
MEMIMG* WorkImageFor(const FONTRECORD* f) {
  return GetTextWorkImage((f->type & FONT_TYPE_ANTIALIAS) ? 1 : 0);
}

// A transparent key no written pixel takes: the colours compared are those
// the glyphs are written with, after the draw brightness, so text under a
// dimmed brightness cannot fall onto the key and vanish.
uint32_t FreeKey(const MEMIMG* work, const FONTRECORD* f, uint32_t text_colour, uint32_t edge_colour) {
  if (f->type & FONT_TYPE_ANTIALIAS) return 0;
  TextColours colours;
  FontTextColours(text_colour, edge_colour, &colours);
  const uint32_t mask = work->store->format->bytes_per_pixel >= 4 ? 0xFFFFFFFFu
                        : work->store->format->bytes_per_pixel == 2 ? 0xFFFFu : 0xFFu;
  uint32_t key = work->store->transparent_color & mask;
  while (key == (colours.pixel[0] & mask) || key == (colours.pixel[1] & mask)) key = (key + 1) & mask;
  return key;
}

struct SavedDrawState {
  int32_t clip[4];
  int r, g, b;
  SavedDrawState() {
    GetPaintClipRect(clip);
    GetPaintBrightness(&r, &g, &b);
  }
  void Restore() const {
    SetPaintClipRect(clip[0], clip[1], clip[2], clip[3]);
    SetPaintBrightness(r, g, b);
  }
};

void ClipToImage(int32_t* rect, const MEMIMG* image) {
  int32_t whole[4] = {0, 0, image->width, image->height};
  IntersectClipRect(rect, whole);
}

// Narrows the paint clip to target within the clip saved.
void ClipPaintTo(int32_t* target, const SavedDrawState& saved) {
  IntersectClipRect(target, saved.clip);
  SetPaintClipRect(target[0], target[1], target[2], target[3]);
}

// A string as the text functions were asked to draw it.
struct TextRun {
  const char* text;
  uint32_t colour;
  int handle;
  uint32_t edge_colour;
  int vertical;

  // The size the string takes; false when it cannot be laid out.
  bool Measure(int size[2]) const {
    return RenderFontString(0, 0, 0, 0, 1.0, 1.0, text, colour, nullptr, nullptr, 1, handle, edge_colour, -1,
                            vertical, size) >= 0;
  }
  // Lays the string out into the work image at (0, 0), within width x
  // height of it, over a transparent key no glyph takes; the blit from the
  // work image then runs at full brightness.
  void IntoWork(MEMIMG* work, const FONTRECORD* f, int width, int height) const {
    int32_t area[4] = {0, 0, width, height};
    ClipToImage(area, work);
    const uint32_t key = FreeKey(work, f, colour, edge_colour);
    work->store->transparent_color = key;
    FillMEMIMGRect(work, area, key);
    RenderFontString(1, 0, 0, 0, 1.0, 1.0, text, colour, work, area, 1, handle, edge_colour, -1, vertical, nullptr);
    SetPaintBrightness(255, 255, 255);
  }
};

}  // namespace

int DrawTextSoftware(int x, int y, const char* text, uint32_t colour, int handle, uint32_t edge_colour,
                     int vertical) {
  FONTRECORD* f = GetFontRecord(handle);
  if (!f) return -1;
  const TextRun run{text, colour, handle, edge_colour, vertical};
  int size[2] = {0, 0};
  if (!run.Measure(size)) return 0;
  int mode = 0, param = 0;
  GetBlendMode(&mode, &param);
  MEMIMG* screen = GetSoftDrawTarget();
  if (!screen || !IsMEMIMGValid(screen)) return 0;
  if (!(f->type & FONT_TYPE_ANTIALIAS) && (mode == 0 || (mode == 1 && param == 255))) {
    int32_t clip[4];
    GetPaintClipRect(clip);
    RenderFontString(1, x, y, 0, 1.0, 1.0, text, colour, screen, clip, 1, handle, edge_colour, -1, vertical, nullptr);
    return 0;
  }
  MEMIMG* work = WorkImageFor(f);
  if (!work) return 0;
  SavedDrawState saved;
  run.IntoWork(work, f, size[0], size[1]);
  int32_t target[4] = {x, y, x + size[0], y + size[1]};
  ClipPaintTo(target, saved);
  if (!IsPaintClipEmpty()) BlitToMEMIMG(screen, work, x, y, 1, GetCrossfadeImage());
  saved.Restore();
  return 0;
}

int DrawTextSoftwareScaled(int x, int y, double x_scale, double y_scale, const char* text, uint32_t colour,
                           int handle, uint32_t edge_colour, int vertical) {
  FONTRECORD* f = GetFontRecord(handle);
  if (!f) return -1;
  const TextRun run{text, colour, handle, edge_colour, vertical};
  int size[2] = {0, 0};
  if (!run.Measure(size)) return 0;
  MEMIMG* screen = GetSoftDrawTarget();
  MEMIMG* work = WorkImageFor(f);
  if (!screen || !IsMEMIMGValid(screen) || !work) return 0;
  SavedDrawState saved;
  run.IntoWork(work, f, size[0] + 4, size[1] + 4);
  int32_t target[4] = {x, y, x + (int)(size[0] * x_scale) + 3, y + (int)(size[1] * y_scale) + 3};
  ClipPaintTo(target, saved);
  int32_t stretched[4] = {x, y, x + (int)(work->width * x_scale) + 3, y + (int)(work->height * y_scale) + 3};
  if (!IsPaintClipEmpty()) StretchBlitToMEMIMG(screen, work, stretched, 1, GetCrossfadeImage());
  saved.Restore();
  return 0;
}
