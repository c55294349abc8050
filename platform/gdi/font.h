// GDI fonts as the engine uses them: a font object made from a face name, a
// height and a weight, selected into a memory context, its text metrics, and
// the bitmap of one character in the 1-bit or the 17-level grey form.
//
// Character codes are code page 932 (lead byte << 8 | trail byte, or the
// single byte). Face names are code page 932 too; "ＭＳ 明朝" and the other
// faces the program names are mapped onto the Japanese fonts installed here.
// Glyphs come from a GdiFontSource: FreeType over fontconfig by default;
// tests put in a source of their own with exact, hand-made glyphs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/gdi/gdi.h"

#define DEFAULT_CHARSET 1u
#define SHIFTJIS_CHARSET 128u
#define HANGEUL_CHARSET 129u
#define OUT_DEFAULT_PRECIS 0u
#define CLIP_DEFAULT_PRECIS 0u
#define DEFAULT_QUALITY 0u
#define NONANTIALIASED_QUALITY 3u
#define DEFAULT_PITCH 0u
#define FIXED_PITCH 1u
#define FW_NORMAL 400
#define FW_SEMIBOLD 600
#define FW_BOLD 700

#define GGO_METRICS 0u
#define GGO_BITMAP 1u
#define GGO_GRAY4_BITMAP 5u
#define GDI_ERROR 0xFFFFFFFFu

typedef GdiObject* HFONT;

struct GdiPoint {
  LONG x;
  LONG y;
};

struct TEXTMETRICA {
  LONG tmHeight;  // ascent + descent: the cell height
  LONG tmAscent;
  LONG tmDescent;
  LONG tmInternalLeading;
  LONG tmExternalLeading;
  LONG tmAveCharWidth;
  LONG tmMaxCharWidth;
  LONG tmWeight;
  LONG tmOverhang;
  LONG tmDigitizedAspectX;
  LONG tmDigitizedAspectY;
  BYTE tmFirstChar;
  BYTE tmLastChar;
  BYTE tmDefaultChar;
  BYTE tmBreakChar;
  BYTE tmItalic;
  BYTE tmUnderlined;
  BYTE tmStruckOut;
  BYTE tmPitchAndFamily;
  BYTE tmCharSet;
};

struct GLYPHMETRICS {
  UINT gmBlackBoxX;  // at least 1, also for a blank glyph
  UINT gmBlackBoxY;
  GdiPoint gmptGlyphOrigin;  // left bearing; top of the box above the baseline
  int16_t gmCellIncX;        // advance
  int16_t gmCellIncY;
};

struct FIXED {
  WORD fract;
  int16_t value;
};

struct MAT2 {
  FIXED eM11;
  FIXED eM12;
  FIXED eM21;
  FIXED eM22;
};

// height > 0: the cell height (ascent + descent); height < 0: the character
// height (the em); 0: a default of 16 pixels. Weights from 600 up are drawn
// bold even when the face has no bold member. Null only when no font at all
// can be found.
HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                  DWORD underline, DWORD strike_out, DWORD charset, DWORD out_precision, DWORD clip_precision,
                  DWORD quality, DWORD pitch_and_family, LPCSTR face);
// Metrics of the font selected into the context; FALSE when none is.
BOOL GetTextMetricsA(HDC dc, TEXTMETRICA* metrics);
// GGO_METRICS, GGO_BITMAP (1 bit per pixel, most significant bit first) or
// GGO_GRAY4_BITMAP (one byte per pixel, 0..16); rows are padded to 4 bytes.
// With no buffer (or size 0) the result is the size the bitmap needs; with
// a buffer, the bytes written. Only the identity matrix is drawn. A code the
// face lacks, and a blank character, give a blank 1 x 1 box with an advance
// (half an em for one byte, a whole em for two). GDI_ERROR for no font, no
// matrix, an unknown format or a buffer too small.
DWORD GetGlyphOutlineA(HDC dc, UINT code, UINT format, GLYPHMETRICS* metrics, DWORD size, LPVOID buffer,
                       const MAT2* matrix);

// Called by DeleteObject for font objects.
BOOL DeleteGdiFont(HGDIOBJ object);
// The font object selected into a context, or null.
HFONT SelectedGdiFont(HDC dc);

// ---- glyph sources ---------------------------------------------------------------
struct GdiFontRequest {
  const char* face;  // code page 932; empty for the system's default face
  int height;        // as CreateFontA takes it, 0 already made 16
  int weight;
  int italic;
  int charset;
};

// One glyph: the black box with its placement, levels 0..16 by row.
struct GdiGlyphImage {
  int width = 0, height = 0;
  int origin_x = 0, origin_y = 0;
  int advance = 0;
  std::vector<uint8_t> levels;  // width x height
};

class GdiFontFace {
 public:
  virtual ~GdiFontFace() = default;
  virtual void Metrics(TEXTMETRICA* out) const = 0;
  // grey: 17 levels; else every level is 0 or 16. False when the face has no
  // glyph for the code (the caller then gives a blank box).
  virtual bool Render(UINT code, bool grey, GdiGlyphImage* out) = 0;
};

class GdiFontSource {
 public:
  virtual ~GdiFontSource() = default;
  virtual GdiFontFace* Open(const GdiFontRequest& request) = 0;  // null: no such face
};

// Installs a glyph source for fonts created from now on; null restores the
// system's fonts. Returns the source in use before.
GdiFontSource* SetGdiFontSource(GdiFontSource* source);
GdiFontSource* SystemGdiFontSource();

// The family a code page 932 face name asks fontconfig for (UTF-8):
// "IPAMincho" for "ＭＳ 明朝", "IPAPGothic" for "ＭＳ Ｐゴシック", the name
// itself when it is none of the program's faces, empty for an empty name.
std::string MapGdiFaceName(const char* face_cp932);
