// GDI font objects over a glyph source, and the system's glyph source:
// FreeType faces found through fontconfig, sized the way GDI sizes a font
// (a positive height is the cell height, ascent plus descent), with GDI's
// synthetic bold and italic, and code page 932 codes turned into Unicode.
#include "platform/gdi/font.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <cmath>
#include <cstring>
#include <new>
#include <unordered_set>

#include "platform/win32/cp932.h"

namespace {

struct GdiFont {
  GdiObject object;  // first: a GdiFont* is its HFONT
  GdiFontFace* face;
  TEXTMETRICA metrics;
  int em;  // advance of a character the face lacks: em / 2 for one byte
  // The glyph asked for last: the size query and the fetch come in pairs.
  bool has_last;
  UINT last_code;
  bool last_grey;
  bool last_found;
  GdiGlyphImage last;
};

std::unordered_set<GdiFont*>& LiveFonts() {
  static std::unordered_set<GdiFont*> fonts;
  return fonts;
}

GdiFontSource* g_source = nullptr;

const char* U8(const char8_t* s) { return reinterpret_cast<const char*>(s); }

// ---- the system's faces --------------------------------------------------------------
FT_Library Library() {
  static FT_Library library = nullptr;
  static bool tried = false;
  if (!tried) {
    tried = true;
    if (FT_Init_FreeType(&library) != 0) library = nullptr;
  }
  return library;
}

bool FindFontFile(const std::string& family, std::string* file, int* index) {
  if (!FcInit()) return false;
  FcPattern* pattern = FcPatternCreate();
  if (!pattern) return false;
  if (!family.empty()) FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>("ja"));
  FcPatternAddInteger(pattern, FC_WEIGHT, FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  if (!match) return false;
  FcChar8* path = nullptr;
  int face_index = 0;
  bool ok = FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path;
  if (ok) {
    *file = reinterpret_cast<const char*>(path);
    if (FcPatternGetInteger(match, FC_INDEX, 0, &face_index) != FcResultMatch) face_index = 0;
    *index = face_index;
  }
  FcPatternDestroy(match);
  return ok;
}

class FreeTypeFace : public GdiFontFace {
 public:
  ~FreeTypeFace() override {
    if (face_) FT_Done_Face(face_);
  }

  bool Open(const GdiFontRequest& request) {
    FT_Library library = Library();
    if (!library) return false;
    std::string file;
    int index = 0;
    if (!FindFontFile(MapGdiFaceName(request.face), &file, &index)) return false;
    if (FT_New_Face(library, file.c_str(), index, &face_) != 0) {
      face_ = nullptr;
      return false;
    }
    double upem = face_->units_per_EM ? face_->units_per_EM : 1000;
    double win_ascent = face_->ascender, win_descent = -face_->descender;
    if (const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face_, FT_SFNT_OS2))) {
      if (os2->usWinAscent + os2->usWinDescent > 0) {
        win_ascent = os2->usWinAscent;
        win_descent = os2->usWinDescent;
      }
      average_ = os2->xAvgCharWidth;
    }
    if (win_ascent + win_descent <= 0) win_ascent = upem, win_descent = 0;
    int height = request.height;
    if (height > 0) {
      ppem_ = height * upem / (win_ascent + win_descent);
      metrics_.tmHeight = height;
    } else {
      ppem_ = -height;
      metrics_.tmHeight = (LONG)std::lround((win_ascent + win_descent) * ppem_ / upem);
    }
    if (FT_Set_Char_Size(face_, 0, (FT_F26Dot6)std::lround(ppem_ * 64), 72, 72) != 0) return false;
    bold_ = request.weight >= FW_SEMIBOLD;
    italic_ = request.italic != 0;
    metrics_.tmAscent = (LONG)std::lround(win_ascent * metrics_.tmHeight / (win_ascent + win_descent));
    metrics_.tmDescent = metrics_.tmHeight - metrics_.tmAscent;
    metrics_.tmInternalLeading = metrics_.tmHeight - (LONG)std::lround(ppem_);
    if (metrics_.tmInternalLeading < 0) metrics_.tmInternalLeading = 0;
    int extra = bold_ ? 1 : 0;
    metrics_.tmMaxCharWidth = (LONG)std::ceil(face_->max_advance_width * ppem_ / upem) + extra;
    metrics_.tmAveCharWidth = average_ > 0 ? (LONG)std::lround(average_ * ppem_ / upem) + extra
                                           : (LONG)std::lround(ppem_ / 2) + extra;
    metrics_.tmWeight = request.weight;
    metrics_.tmOverhang = 0;
    metrics_.tmDigitizedAspectX = metrics_.tmDigitizedAspectY = 96;
    metrics_.tmFirstChar = 0x20;
    metrics_.tmLastChar = 0xFC;
    metrics_.tmDefaultChar = 0x1F;
    metrics_.tmBreakChar = 0x20;
    metrics_.tmItalic = italic_ ? 1 : 0;
    metrics_.tmPitchAndFamily = FT_IS_FIXED_WIDTH(face_) ? 0 : 1;
    metrics_.tmCharSet = (BYTE)request.charset;
    return true;
  }

  void Metrics(TEXTMETRICA* out) const override { *out = metrics_; }

  bool Render(UINT code, bool grey, GdiGlyphImage* out) override {
    uint32_t unicode = vox_win32::Cp932CodeToUnicode(code);
    if (!unicode) return false;
    FT_UInt glyph = FT_Get_Char_Index(face_, unicode);
    if (!glyph) return false;
    FT_Int32 load = FT_LOAD_NO_BITMAP | (grey ? FT_LOAD_TARGET_NORMAL : FT_LOAD_TARGET_MONO);
    if (FT_Load_Glyph(face_, glyph, load) != 0) return false;
    FT_GlyphSlot slot = face_->glyph;
    if (slot->format != FT_GLYPH_FORMAT_OUTLINE) return false;
    if (italic_) FT_GlyphSlot_Oblique(slot);
    // GDI thickens a face without a bold member by one pixel to the right
    // and widens its advance by as much.
    if (bold_) FT_Outline_EmboldenXY(&slot->outline, 64, 0);
    int advance = (int)std::lround(slot->advance.x / 64.0) + (bold_ ? 1 : 0);
    out->advance = advance;
    out->width = out->height = 0;
    out->origin_x = out->origin_y = 0;
    out->levels.clear();
    if (slot->outline.n_points == 0) return true;  // a blank character
    if (FT_Render_Glyph(slot, grey ? FT_RENDER_MODE_NORMAL : FT_RENDER_MODE_MONO) != 0) return false;
    const FT_Bitmap& bitmap = slot->bitmap;
    out->width = (int)bitmap.width;
    out->height = (int)bitmap.rows;
    out->origin_x = slot->bitmap_left;
    out->origin_y = slot->bitmap_top;
    out->levels.assign((size_t)out->width * out->height, 0);
    for (int y = 0; y < out->height; ++y) {
      const uint8_t* row = bitmap.buffer + (ptrdiff_t)y * bitmap.pitch;
      uint8_t* dst = &out->levels[(size_t)y * out->width];
      for (int x = 0; x < out->width; ++x) {
        if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
          dst[x] = (row[x >> 3] & (0x80 >> (x & 7))) ? 16 : 0;
        } else {
          dst[x] = (uint8_t)((row[x] * 16 + 127) / 255);
        }
      }
    }
    return true;
  }

 private:
  FT_Face face_ = nullptr;
  TEXTMETRICA metrics_{};
  double ppem_ = 16;
  double average_ = 0;
  bool bold_ = false;
  bool italic_ = false;
};

class FreeTypeSource : public GdiFontSource {
 public:
  GdiFontFace* Open(const GdiFontRequest& request) override {
    FreeTypeFace* face = new (std::nothrow) FreeTypeFace;
    if (face && !face->Open(request)) {
      delete face;
      face = nullptr;
    }
    return face;
  }
};

bool IsIdentity(const MAT2* m) {
  return m && m->eM11.value == 1 && m->eM11.fract == 0 && m->eM22.value == 1 && m->eM22.fract == 0 &&
         m->eM12.value == 0 && m->eM12.fract == 0 && m->eM21.value == 0 && m->eM21.fract == 0;
}

GdiFont* AsFont(HGDIOBJ object) {
  GdiFont* font = reinterpret_cast<GdiFont*>(object);
  return object && object->kind == OBJ_FONT && LiveFonts().count(font) ? font : nullptr;
}

}  // namespace

std::string MapGdiFaceName(const char* face_cp932) {
  std::string name;
  if (!face_cp932 || !*face_cp932) return name;
  if (!vox_win32::Cp932ToUtf8(face_cp932, &name)) return std::string();
  bool proportional = name.find(U8(u8"Ｐ")) != std::string::npos || name.find(U8(u8" P")) != std::string::npos;
  if (name.find(U8(u8"明朝")) != std::string::npos) return proportional ? "IPAPMincho" : "IPAMincho";
  if (name.find(U8(u8"ゴシック")) != std::string::npos) return proportional ? "IPAPGothic" : "IPAGothic";
  return name;
}

GdiFontSource* SystemGdiFontSource() {
  static FreeTypeSource source;
  return &source;
}

GdiFontSource* SetGdiFontSource(GdiFontSource* source) {
  GdiFontSource* previous = g_source ? g_source : SystemGdiFontSource();
  g_source = source;
  return previous;
}

HFONT CreateFontA(int height, int, int, int, int weight, DWORD italic, DWORD, DWORD, DWORD charset, DWORD, DWORD,
                  DWORD, DWORD, LPCSTR face_name) {
  GdiFontRequest request{face_name ? face_name : "", height ? height : 16, weight <= 0 ? FW_NORMAL : weight,
                         italic ? 1 : 0, (int)charset};
  GdiFontSource* source = g_source ? g_source : SystemGdiFontSource();
  GdiFontFace* face = source->Open(request);
  if (!face) return nullptr;
  GdiFont* font = new (std::nothrow) GdiFont{};
  if (!font) {
    delete face;
    return nullptr;
  }
  font->object.kind = OBJ_FONT;
  font->face = face;
  face->Metrics(&font->metrics);
  font->em = font->metrics.tmHeight - font->metrics.tmInternalLeading;
  if (font->em <= 0) font->em = font->metrics.tmHeight > 0 ? font->metrics.tmHeight : 1;
  LiveFonts().insert(font);
  return &font->object;
}

BOOL DeleteGdiFont(HGDIOBJ object) {
  GdiFont* font = AsFont(object);
  if (!font) return object ? TRUE : FALSE;  // the stock font stays
  LiveFonts().erase(font);
  delete font->face;
  delete font;
  return TRUE;
}

HFONT SelectedGdiFont(HDC dc) {
  if (!dc) return nullptr;
  // The context keeps one object per kind; swap a probe in and straight
  // back to read which font it holds.
  static GdiObject probe{OBJ_FONT};
  HGDIOBJ held = SelectObject(dc, &probe);
  SelectObject(dc, held);
  return AsFont(held) ? held : nullptr;
}

BOOL GetTextMetricsA(HDC dc, TEXTMETRICA* metrics) {
  GdiFont* font = AsFont(SelectedGdiFont(dc));
  if (!font || !metrics) return FALSE;
  *metrics = font->metrics;
  return TRUE;
}

DWORD GetGlyphOutlineA(HDC dc, UINT code, UINT format, GLYPHMETRICS* metrics, DWORD size, LPVOID buffer,
                       const MAT2* matrix) {
  GdiFont* font = AsFont(SelectedGdiFont(dc));
  if (!font || !metrics || !IsIdentity(matrix)) return GDI_ERROR;
  if (format != GGO_METRICS && format != GGO_BITMAP && format != GGO_GRAY4_BITMAP) return GDI_ERROR;
  bool grey = format == GGO_GRAY4_BITMAP;
  if (!font->has_last || font->last_code != code || font->last_grey != grey) {
    font->last_found = font->face->Render(code, grey, &font->last);
    font->has_last = true;
    font->last_code = code;
    font->last_grey = grey;
  }
  GdiGlyphImage blank;
  const GdiGlyphImage* image = &font->last;
  if (!font->last_found) {
    blank.advance = code > 0xFF ? font->em : font->em / 2;
    image = &blank;
  }
  bool empty = image->width <= 0 || image->height <= 0;
  int width = empty ? 1 : image->width, height = empty ? 1 : image->height;
  metrics->gmBlackBoxX = (UINT)width;
  metrics->gmBlackBoxY = (UINT)height;
  metrics->gmptGlyphOrigin.x = empty ? 0 : image->origin_x;
  metrics->gmptGlyphOrigin.y = empty ? 0 : image->origin_y;
  metrics->gmCellIncX = (int16_t)image->advance;
  metrics->gmCellIncY = 0;
  if (format == GGO_METRICS) return 0;
  DWORD pitch = (DWORD)vox_win32::DibRowBytes(width, grey ? 8 : 1);
  DWORD needed = pitch * (DWORD)height;
  if (!buffer || size == 0) return needed;
  if (size < needed) return GDI_ERROR;
  uint8_t* out = static_cast<uint8_t*>(buffer);
  std::memset(out, 0, needed);
  if (!empty) {
    for (int y = 0; y < height; ++y) {
      const uint8_t* src = &image->levels[(size_t)y * width];
      uint8_t* row = out + (size_t)y * pitch;
      for (int x = 0; x < width; ++x) {
        uint8_t v = src[x] > 16 ? 16 : src[x];
        if (grey) {
          row[x] = v;
        } else if (v >= 8) {
          row[x >> 3] |= (uint8_t)(0x80 >> (x & 7));
        }
      }
    }
  }
  return needed;
}
