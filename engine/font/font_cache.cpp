// The glyph cache of a font: strings cut into characters, new characters
// rasterised from the system font into the next cell of the sheet (round
// robin, evicting what the cell held), cells written by font kind, and for
// the texture cache the written area carried into the cache graph.
//
// Every write stays inside its cell: a glyph whose box (with its edge) is
// larger than the cell, as italic, bold or another face's metrics can make
// it, is cut at the cell's border, and its box is cut to match.
#include <cstring>

#include "engine/core/alloc.h"
#include "engine/core/log.h"
#include "engine/font/font_internal.h"
#include "engine/graphics/graphics.h"

namespace {

FontChar g_new_chars[FONT_STATIC_STRING_BYTES];

// Rows of the fixed edge stamps for edge sizes 2 to 4; '#' is covered.
const char* const kStamp2[] = {".###.", "#####", "#####", "#####", ".###."};
const char* const kStamp3[] = {"...#...", ".#####.", ".#####.", "#######", ".#####.", ".#####.", "...#..."};
const char* const kStamp4[] = {"..#####..", ".#######.", "#########", "#########", "#########",
                               "#########", "#########", ".#######.", "..#####.."};

// One fetched glyph bitmap: 17 levels whatever the form it came in.
struct GlyphBits {
  const uint8_t* rows;
  int pitch;
  int width, height;
  bool grey;
  int Level(int x, int y) const {
    const uint8_t* row = rows + (size_t)y * pitch;
    if (!grey) return (row[x >> 3] & (0x80 >> (x & 7))) ? 16 : 0;
    return row[x] > 16 ? 16 : row[x];
  }
  // fn(x + offset, y + offset, level) for every pixel with ink on it.
  template <class Fn>
  void ForEachInked(int offset, Fn&& fn) const {
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        if (int g = Level(x, y)) fn(x + offset, y + offset, g);
  }
};

// The writer of one cell: pixel (x, y) of the cell, clipped to the cell.
struct CellWriter {
  FONTRECORD* f;
  int cell_x, cell_y;  // of the cell on the sheet
  bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < f->cell_side && y < f->cell_side; }
  // Software sheet, 8 bits per pixel.
  uint8_t* Soft8(int x, int y) const {
    return f->soft_buffer + (size_t)(cell_y + y) * f->soft_pitch + x;
  }
  // Texture sheet, 16-bit pixels; half 1 is the edge half.
  uint16_t Tex(int x, int y, int half) const {
    uint16_t v;
    std::memcpy(&v, TexAt(x, y, half), 2);
    return v;
  }
  void SetTex(int x, int y, int half, uint32_t value) const {
    uint16_t v = (uint16_t)value;
    std::memcpy(TexAt(x, y, half), &v, 2);
  }
  uint8_t* TexAt(int x, int y, int half) const {
    BASEIMAGE& im = f->cache_image;
    return im.pixels + (size_t)(cell_y + y) * im.pitch + (size_t)(cell_x + x + half * f->sheet_width) * 2;
  }
};

template <class Fn>
void ForEachStampPixel(int edge, int x, int y, Fn&& fn) {
  for (int dy = -edge; dy <= edge; ++dy)
    for (int dx = -edge; dx <= edge; ++dx)
      if (FontEdgeStampCovers(edge, dx, dy)) fn(x + dx, y + dy);
}

uint32_t ColourMasks(const PIXELFORMAT& p) { return p.red_mask | p.green_mask | p.blue_mask; }
uint32_t AntialiasPixel(const PIXELFORMAT& p, int level) {
  uint32_t rgb = ColourMasks(p);
  if (level <= 0) return rgb;
  int shift = p.alpha_width + p.alpha_shift - 4;
  uint32_t a = shift >= 0 ? ((uint32_t)level << shift) : ((uint32_t)level >> -shift);
  return ((a - 1) & 0xFFFF) | rgb;
}

void WriteCell(FONTRECORD* f, const CellWriter& cell, const GlyphBits& bits) {
  const bool edged = (f->type & FONT_TYPE_EDGE) != 0;
  const bool antialias = (f->type & FONT_TYPE_ANTIALIAS) != 0;
  const int off = edged ? f->edge_size : 0;
  const int e = f->edge_size;
  if (!f->texture_cache) {
    if (!edged && !antialias) {
      int rows = bits.height < f->cell_side ? bits.height : f->cell_side;
      int bytes = bits.pitch < f->soft_pitch ? bits.pitch : f->soft_pitch;
      for (int y = 0; y < rows; ++y)
        std::memcpy(f->soft_buffer + (size_t)(cell.cell_y + y) * f->soft_pitch, bits.rows + (size_t)y * bits.pitch,
                    (size_t)bytes);
      return;
    }
    bits.ForEachInked(off, [&](int px, int py, int g) {
      if (!edged) {
        if (cell.Inside(px, py)) *cell.Soft8(px, py) = (uint8_t)(g - 1);
      } else if (!antialias) {
        if (cell.Inside(px, py)) *cell.Soft8(px, py) = 1;
        ForEachStampPixel(e, px, py, [&](int sx, int sy) {
          if (cell.Inside(sx, sy) && *cell.Soft8(sx, sy) != 1) *cell.Soft8(sx, sy) = 2;
        });
      } else {
        if (cell.Inside(px, py)) *cell.Soft8(px, py) |= (uint8_t)(g - 1);
        ForEachStampPixel(e, px, py, [&](int sx, int sy) {
          if (!cell.Inside(sx, sy)) return;
          uint8_t* p = cell.Soft8(sx, sy);
          if ((*p >> 4) < g - 1) *p = (uint8_t)((*p & 0x0F) | ((g - 1) << 4));
        });
      }
    });
    return;
  }
  const PIXELFORMAT& pf = f->cache_image.format;
  const uint32_t white = pf.alpha_mask | ColourMasks(pf);
  if (!edged) {
    for (int y = 0; y < bits.height; ++y)
      for (int x = 0; x < bits.width; ++x) {
        if (!cell.Inside(x, y)) continue;
        int g = bits.Level(x, y);
        cell.SetTex(x, y, 0, antialias ? AntialiasPixel(pf, g) : (g ? white : ColourMasks(pf)));
      }
    return;
  }
  bits.ForEachInked(off, [&](int px, int py, int g) {
    if (!antialias) {
      if (cell.Inside(px, py)) cell.SetTex(px, py, 0, white);
      ForEachStampPixel(e, px, py, [&](int sx, int sy) {
        if (cell.Inside(sx, sy)) cell.SetTex(sx, sy, 1, white);
      });
    } else {
      if (cell.Inside(px, py)) cell.SetTex(px, py, 0, (uint32_t)g);
      ForEachStampPixel(e, px, py, [&](int sx, int sy) {
        if (!cell.Inside(sx, sy)) return;
        int p = cell.Tex(sx, sy, 1);
        cell.SetTex(sx, sy, 1, (uint32_t)((256 - (16 - p) * (16 - g)) / 16));
      });
    }
  });
  if (antialias) {
    int pad = 2 * e;
    for (int half = 0; half < 2; ++half)
      for (int y = 0; y < bits.height + pad; ++y)
        for (int x = 0; x < bits.width + pad; ++x)
          if (cell.Inside(x, y)) cell.SetTex(x, y, half, AntialiasPixel(pf, cell.Tex(x, y, half)));
  }
}

int Min(int a, int b) { return a < b ? a : b; }

}  // namespace

bool FontEdgeStampCovers(int edge, int dx, int dy) {
  if (dx < -edge || dx > edge || dy < -edge || dy > edge) return false;
  switch (edge) {
    case 0: return false;
    case 1: return (dx == 0) != (dy == 0);
    case 2: return kStamp2[dy + 2][dx + 2] == '#';
    case 3: return kStamp3[dy + 3][dx + 3] == '#';
    case 4: return kStamp4[dy + 4][dx + 4] == '#';
    default: return true;
  }
}

int ClearFontCache(int handle) {
  FONTRECORD* f = GetFontRecord(handle);
  if (!f) return -1;
  // A code slot is set only while a cell holds its character, and that
  // cell's entry names it; clearing those leaves the rest of the table of
  // 65536, zero from the start, untouched. Only the entries below the cell
  // count are ever used.
  for (int i = 0; i <= f->cell_count; ++i) {
    FontGlyph& g = f->glyphs[i];
    if (g.in_use) *g.code_slot = FontCodeSlot{};
    g = FontGlyph{};
    g.cell = i < f->cell_count ? i : -1;
  }
  f->next_cell = 0;
  return 0;
}

int CacheStringGlyphs(int handle, const char* text, int length, FontChar* chars, int* count) {
  FONTRECORD* f = GetFontRecord(handle);
  if (!f) return -1;
  int text_length = text ? (int)std::strlen(text) : 0;
  if (length < 0 || length > text_length) length = text_length;
  FontChar* fresh = g_new_chars;
  if (length > FONT_STATIC_STRING_BYTES) {
    fresh = static_cast<FontChar*>(VOX_ALLOC((uint32_t)length * sizeof(FontChar)));
    if (!fresh) return -1;
  }
  int n = 0, fresh_count = 0;
  for (int i = 0; i < length;) {
    FontChar c{};
    c.bytes[0] = (uint8_t)text[i];
    // A lead byte at the end of the string takes the terminating zero with it.
    if (IsLeadByte(text + i, f->charset)) {
      c.bytes[1] = (uint8_t)text[i + 1];
      i += c.bytes[1] ? 2 : 1;
      if (!c.bytes[1]) i = length;
    } else {
      i += 1;
    }
    if (chars) chars[n] = c;
    ++n;
    FontCodeSlot& slot = f->codes[FontCharCode(c)];
    if (!slot.cached && fresh_count < f->cell_count) {
      fresh[fresh_count++] = c;
      slot.cached = 1;  // listed once; taken back below
    }
  }
  for (int i = 0; i < fresh_count; ++i) f->codes[FontCharCode(fresh[i])].cached = 0;
  if (fresh_count) RasteriseGlyph(fresh_count, fresh, handle);
  if (fresh != g_new_chars) VOX_FREE(fresh);
  if (count) *count = n;
  return 0;
}

FontGlyph* RasteriseGlyph(int count, const FontChar* chars, int handle) {
  if (!IsGraphicsStarted()) return nullptr;
  FONTRECORD* f = GetFontRecord(handle);
  if (!f || count <= 0 || !chars) return nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  if (!dc) AbortWithLog("テキストキャッシュサーフェスのＤＣの取得に失敗しました");
  HGDIOBJ old = SelectObject(dc, f->system_font);
  TEXTMETRICA tm{};
  if (!GetTextMetricsA(dc, &tm)) AbortWithLog("テキストキャッシュサーフェスのＤＣの取得に失敗しました");
  const bool edged = (f->type & FONT_TYPE_EDGE) != 0;
  const bool antialias = (f->type & FONT_TYPE_ANTIALIAS) != 0;
  const int pad = edged ? 2 * f->edge_size : 0;
  const MAT2 identity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
  FontGlyph* last = nullptr;
  for (int k = 0; k < count; ++k) {
    const FontChar& c = chars[k];
    FontGlyph* g = &f->glyphs[f->next_cell];
    if (g->in_use) {
      g->code_slot->cached = 0;
      g->code_slot->glyph = nullptr;
      g->in_use = 0;
    }
    FontCodeSlot* slot = &f->codes[FontCharCode(c)];
    slot->cached = 1;
    slot->glyph = g;
    g->code_slot = slot;
    g->in_use = 1;
    g->origin_x = g->top = 0;
    g->width = g->height = 0;

    CellWriter cell{f, FontCellX(f, g->cell), FontCellY(f, g->cell)};
    if (f->texture_cache) {
      ZeroBaseImageRect(&f->cache_image, cell.cell_x, cell.cell_y, f->cell_side, f->cell_side);
      if (edged) ZeroBaseImageRect(&f->cache_image, cell.cell_x + f->sheet_width, cell.cell_y, f->cell_side, f->cell_side);
    } else {
      std::memset(f->soft_buffer + (size_t)cell.cell_y * f->soft_pitch, 0, (size_t)f->soft_pitch * f->cell_side);
    }

    UINT format = antialias ? GGO_GRAY4_BITMAP : GGO_BITMAP;
    UINT code = c.bytes[1] ? ((UINT)c.bytes[0] << 8 | c.bytes[1]) : c.bytes[0];
    GLYPHMETRICS gm{};
    DWORD size = GetGlyphOutlineA(dc, code, format, &gm, 0, nullptr, &identity);
    if (size == GDI_ERROR) AbortWithLog("GetGlyphOutline 関数が失敗しました");
    g->advance = gm.gmCellIncX;
    if (!IsFontSpace(c)) {
      g->origin_x = (int16_t)gm.gmptGlyphOrigin.x;
      g->top = (int16_t)(tm.tmAscent - gm.gmptGlyphOrigin.y);
      g->width = (uint16_t)gm.gmBlackBoxX;
      g->height = (uint16_t)gm.gmBlackBoxY;
      if (size > 0 && gm.gmBlackBoxY > 0) {
        int pitch = (int)(size / gm.gmBlackBoxY);
        uint8_t* buffer = static_cast<uint8_t*>(VOX_CALLOC(size + 2u * (uint32_t)pitch));
        if (!buffer) AbortWithLog("アンチエイリアス文字取得用バッファの確保に失敗しました");
        if (GetGlyphOutlineA(dc, code, format, &gm, size, buffer + pitch, &identity) == GDI_ERROR)
          AbortWithLog("GetGlyphOutline 関数が失敗しました");
        GlyphBits bits{buffer + pitch, pitch, (int)gm.gmBlackBoxX, (int)gm.gmBlackBoxY, antialias};
        WriteCell(f, cell, bits);
        VOX_FREE(buffer);
      }
      if (f->texture_cache && f->cache_graph >= 0) {
        int w = edged ? Min(g->width + pad, f->cell_side) : f->cell_side;
        int h = edged ? Min(g->height + pad, f->cell_side) : f->cell_side;
        int32_t rect[4] = {cell.cell_x, cell.cell_y, cell.cell_x + w, cell.cell_y + h};
        TransferImageToGraph(nullptr, &f->cache_image, nullptr, rect, cell.cell_x, cell.cell_y, f->cache_graph, 0);
        if (edged) {
          int32_t right[4] = {rect[0] + f->sheet_width, rect[1], rect[2] + f->sheet_width, rect[3]};
          TransferImageToGraph(nullptr, &f->cache_image, nullptr, right, right[0], right[1], f->cache_graph, 0);
        }
      }
    }
    g->advance = (int16_t)(g->advance + pad);
    g->width = (uint16_t)Min(g->width + pad, f->cell_side);
    g->height = (uint16_t)Min(g->height + pad, f->cell_side);
    f->next_cell = (f->next_cell + 1) % f->cell_count;
    last = g;
  }
  SelectObject(dc, old);
  DeleteDC(dc);
  return last;
}
