// The font record with its glyph cache, and what the font, cache and string
// files share.
#pragma once

#include <cstdint>

#include "engine/font/font.h"
#include "engine/image/base_image.h"
#include "platform/gdi/font.h"

struct MEMIMG;

constexpr int FONT_GLYPH_ENTRIES = 2025;
constexpr int FONT_MAX_CELLS = 2024;
constexpr int FONT_CODE_SLOTS = 65536;
constexpr int FONT_STATIC_STRING_BYTES = 256;

struct FontCodeSlot;

// Entry i always describes cell i of the cache sheet.
struct FontGlyph {
  uint16_t in_use;
  int16_t origin_x;  // pen to the left edge of the glyph box
  int16_t top;       // line top to the top of the glyph box
  int16_t advance;   // pen step, edges included
  int32_t cell;
  uint16_t width;  // glyph box, edges included
  uint16_t height;
  FontCodeSlot* code_slot;
};

struct FontCodeSlot {
  uint32_t cached;
  FontGlyph* glyph;
};

struct FONTRECORD {
  uint32_t check;
  int* deleted_flag;
  // The glyph entries (FONT_GLYPH_ENTRIES, entry i for cell i) and the code
  // table (FONT_CODE_SLOTS, indexed by the 16-bit character code), each a
  // zero-filled block of its own made with the record: a font touches only
  // the pages of the cells and codes it uses, and the record itself stays
  // small enough to construct.
  FontGlyph* glyphs;
  FontCodeSlot* codes;
  int32_t next_cell;
  int32_t cell_count;
  uint8_t* soft_buffer;
  int32_t soft_pitch;
  int32_t soft_depth;  // 1 for a plain font, 8 for every other kind
  char face[FONT_FACE_BYTES];
  int32_t thickness;
  int32_t size;
  int32_t line_height;
  int32_t italic;
  int32_t char_gap;
  int32_t cell_side;
  HFONT system_font;
  uint32_t type;
  int32_t charset;
  int32_t edge_size;
  int32_t sheet_width, sheet_height;
  int32_t cells_per_column;
  int32_t cache_graph;
  int32_t edge_graph;
  int32_t graph_lost;
  BASEIMAGE cache_image;
  int32_t texture_cache;
};

// A character as the string functions pass it on: first byte, second byte
// (0 for one byte), 0.
struct FontChar {
  uint8_t bytes[3];
};

inline uint32_t FontCharCode(const FontChar& c) { return (uint32_t)c.bytes[0] | ((uint32_t)c.bytes[1] << 8); }
// The space and the ideographic space: they advance the pen and draw nothing.
inline bool IsFontSpace(const FontChar& c) { return c.bytes[0] == 0x20 || (c.bytes[0] == 0x81 && c.bytes[1] == 0x40); }
inline int FontCellX(const FONTRECORD* f, int cell) { return (cell / f->cells_per_column) * f->cell_side; }
inline int FontCellY(const FONTRECORD* f, int cell) { return (cell % f->cells_per_column) * f->cell_side; }

FONTRECORD* GetFontRecord(int handle);
int CacheStringGlyphs(int handle, const char* text, int length, FontChar* chars, int* count);
FontGlyph* RasteriseGlyph(int count, const FontChar* chars, int handle);

// The edge of edge size e around one pixel: offsets within a (2e+1) square.
bool FontEdgeStampCovers(int edge_size, int dx, int dy);

// The text and edge colours of one call after the draw brightness (each
// channel x brightness / 255): red, green, blue bytes, a pixel of the
// screen's format without the bits black sets, and 0xFFRRGGBB.
struct TextColours {
  int rgb[2][3];
  uint32_t pixel[2];
  uint32_t argb[2];
};
void FontTextColours(uint32_t colour, uint32_t edge_colour, TextColours* out);

// mode: 0 measure, 1 draw. target null: through the graph functions.
// clip: x1, y1, x2, y2. size_out: laid-out width and height, may be null.
int RenderFontString(int mode, int x, int y, int scaled, double x_scale, double y_scale, const char* text,
                     uint32_t colour, MEMIMG* target, const int32_t* clip, int transparent, int handle,
                     uint32_t edge_colour, int length, int vertical, int* size_out);

// Writes one cached glyph into a memory image (software cache fonts).
// colour and edge are pixel values of the target's format.
void WriteGlyphToMEMIMG(MEMIMG* target, const int32_t* clip, const FONTRECORD* font, const FontGlyph* glyph,
                        int x, int y, double pen, uint32_t colour, uint32_t edge, int vertical);
// The edged anti-aliased mix of one pixel: glyph level g and edge level e
// (0..15) between two colours of 5/6/5-bit (16) or 8-bit (32) channels.
uint32_t MixEdgedAntialiasPixel(int g, int e, uint32_t colour, uint32_t edge, int depth, uint32_t* alpha);

// Test hooks: answer whether new fonts use the texture cache (-1: follow
// the hardware renderer, the default), and whether the main window is being
// destroyed.
void SetFontTextureCacheOverride(int use);
// Test hook: the check number the next font made without one takes.
void SetFontCreationCounter(int next);
