#include "tools/assetgen/text.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_GLYPH_H
#include FT_OUTLINE_H
#include FT_STROKER_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <vector>

namespace {

struct FaceFile {
  const char* family;    // as fontconfig knows it
  const char* fallback;  // where Debian's packages put it
};

const FaceFile kFaceFiles[] = {
    {"IPAGothic", "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf"},
    {"IPAPGothic", "/usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf"},
    {"IPAMincho", "/usr/share/fonts/opentype/ipafont-mincho/ipam.ttf"},
};

std::string FindFontFile(const FaceFile& f) {
  static std::mutex mutex;  // fontconfig's configuration is shared
  std::lock_guard<std::mutex> lock(mutex);
  std::string path;
  if (FcInit()) {
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(f.family));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    if (FcPattern* match = FcFontMatch(nullptr, pattern, &result)) {
      FcChar8* family = nullptr;
      FcChar8* file = nullptr;
      // Only the face asked for: fontconfig would otherwise offer any font.
      if (FcPatternGetString(match, FC_FAMILY, 0, &family) == FcResultMatch &&
          std::string(reinterpret_cast<char*>(family)) == f.family &&
          FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch)
        path = reinterpret_cast<char*>(file);
      FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
  }
  return path.empty() ? f.fallback : path;
}

// FreeType objects are not shared between threads: each thread that sets
// text opens its own.
struct Fonts {
  FT_Library library = nullptr;
  FT_Face faces[3] = {};
  ~Fonts() {
    for (FT_Face face : faces)
      if (face) FT_Done_Face(face);
    if (library) FT_Done_FreeType(library);
  }
  FT_Face Get(Face which) {
    const int i = (int)which;
    if (!library && FT_Init_FreeType(&library) != 0) {
      std::fprintf(stderr, "assetgen: FreeType does not start\n");
      return nullptr;
    }
    if (!faces[i]) {
      const std::string path = FindFontFile(kFaceFiles[i]);
      if (FT_New_Face(library, path.c_str(), 0, &faces[i]) != 0) {
        std::fprintf(stderr, "assetgen: cannot open the font %s (%s)\n", kFaceFiles[i].family, path.c_str());
        faces[i] = nullptr;
      }
    }
    return faces[i];
  }
};

thread_local Fonts t_fonts;

std::vector<char32_t> CodePoints(const std::string& utf8) {
  std::vector<char32_t> out;
  for (size_t i = 0; i < utf8.size();) {
    const unsigned char c = utf8[i];
    int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
    char32_t cp = extra == 0 ? c : extra == 1 ? c & 0x1F : extra == 2 ? c & 0x0F : c & 0x07;
    for (int k = 1; k <= extra && i + k < utf8.size(); ++k) cp = (cp << 6) | (utf8[i + k] & 0x3F);
    out.push_back(cp);
    i += 1 + extra;
  }
  return out;
}

struct PlacedGlyph {
  FT_BitmapGlyph bitmap;
  int left, top;  // pen-relative, in whole pixels
};

}  // namespace

std::string Utf8(const char8_t* s) { return std::string(reinterpret_cast<const char*>(s)); }

bool RenderText(const std::string& utf8, const TextStyle& style, double grow, int margin, TextMask* out) {
  FT_Face face = t_fonts.Get(style.face);
  if (!face) return false;
  FT_Set_Char_Size(face, 0, (FT_F26Dot6)std::lround(style.size * 64), 72, 72);
  FT_Stroker stroker = nullptr;
  if (grow > 0) {
    FT_Stroker_New(t_fonts.library, &stroker);
    FT_Stroker_Set(stroker, (FT_Fixed)std::lround(grow * 64), FT_STROKER_LINECAP_ROUND, FT_STROKER_LINEJOIN_ROUND, 0);
  }
  std::vector<PlacedGlyph> glyphs;
  double pen = 0, ascent = 0;
  bool ok = true;
  for (char32_t cp : CodePoints(utf8)) {
    const FT_UInt index = FT_Get_Char_Index(face, cp);
    if (index == 0 && cp != ' ') {
      std::fprintf(stderr, "assetgen: no glyph for U+%04X in \"%s\"\n", (unsigned)cp, utf8.c_str());
      ok = false;
      break;
    }
    if (FT_Load_Glyph(face, index, FT_LOAD_NO_BITMAP | FT_LOAD_NO_HINTING) != 0) {
      ok = false;
      break;
    }
    FT_Outline* outline = &face->glyph->outline;
    if (style.weight > 0) FT_Outline_Embolden(outline, (FT_Pos)std::lround(style.weight * 64));
    FT_BBox box;
    FT_Outline_Get_CBox(outline, &box);
    ascent = std::max(ascent, box.yMax / 64.0);
    // The fraction of a pixel the pen stands at moves the outline itself.
    const double frac = pen - std::floor(pen);
    FT_Outline_Translate(outline, (FT_Pos)std::lround(frac * 64), 0);
    FT_Glyph glyph;
    if (FT_Get_Glyph(face->glyph, &glyph) != 0) {
      ok = false;
      break;
    }
    if (stroker) FT_Glyph_StrokeBorder(&glyph, stroker, 0, 1);
    if (FT_Glyph_To_Bitmap(&glyph, FT_RENDER_MODE_NORMAL, nullptr, 1) != 0) {
      FT_Done_Glyph(glyph);
      ok = false;
      break;
    }
    auto* bitmap = reinterpret_cast<FT_BitmapGlyph>(glyph);
    glyphs.push_back({bitmap, (int)std::floor(pen) + bitmap->left, bitmap->top});
    pen += face->glyph->advance.x / 64.0 + style.weight + style.spacing;
  }
  if (stroker) FT_Stroker_Done(stroker);
  if (ok) {
    int x0 = 0, x1 = (int)std::ceil(pen), y0 = 0, y1 = 0;  // y up from the baseline
    for (const PlacedGlyph& g : glyphs) {
      x0 = std::min(x0, g.left);
      x1 = std::max(x1, g.left + (int)g.bitmap->bitmap.width);
      y1 = std::max(y1, g.top);
      y0 = std::min(y0, g.top - (int)g.bitmap->bitmap.rows);
    }
    out->mask = Mask(x1 - x0 + 2 * margin, y1 - y0 + 2 * margin);
    out->origin_x = margin - x0;
    out->baseline = margin + y1;
    out->advance = pen;
    out->ascent = ascent;
    for (const PlacedGlyph& g : glyphs) {
      const FT_Bitmap& b = g.bitmap->bitmap;
      for (unsigned row = 0; row < b.rows; ++row) {
        for (unsigned col = 0; col < b.width; ++col) {
          const int mx = out->origin_x + g.left + (int)col, my = out->baseline - g.top + (int)row;
          float& m = out->mask.a[(size_t)my * out->mask.width + mx];
          m = std::max(m, b.buffer[(size_t)row * b.pitch + col] / 255.0f);
        }
      }
    }
  }
  for (PlacedGlyph& g : glyphs) FT_Done_Glyph(reinterpret_cast<FT_Glyph>(g.bitmap));
  return ok;
}

double MeasureText(const std::string& utf8, const TextStyle& style) {
  TextMask t;
  return RenderText(utf8, style, 0, 0, &t) ? t.advance : -1;
}

double DrawLabel(RgbaImage* image, const std::string& utf8, const TextStyle& style, const LabelLook& look, double x,
                 double y, Align align) {
  const double outer = look.outline + look.outline2;
  const int margin = (int)std::ceil(outer) + 2 + look.shadow_blur * 3;
  TextMask plain;
  if (!RenderText(utf8, style, 0, margin, &plain)) return -1;
  if (align == Align::kCentre) x -= plain.advance / 2;
  if (align == Align::kRight) x -= plain.advance;
  // Whole-pixel placement: the masks are laid onto the pixel grid as they are.
  const int left = (int)std::lround(x) - plain.origin_x;
  const int top = (int)std::lround(y) - plain.baseline;
  TextMask grown;
  const Mask* silhouette = &plain.mask;
  if (outer > 0) {
    if (!RenderText(utf8, style, outer, margin, &grown)) return -1;
    silhouette = &grown.mask;
  }
  if (look.shadow.a > 0) {
    const Mask shadow = Blur(*silhouette, look.shadow_blur);
    PaintMask(image, shadow, left + (int)std::lround(look.shadow_dx), top + (int)std::lround(look.shadow_dy),
              look.shadow);
  }
  if (look.outline2 > 0) PaintMask(image, grown.mask, left, top, look.outline2_paint);
  if (look.outline > 0) {
    TextMask inner;
    if (look.outline2 > 0) {
      if (!RenderText(utf8, style, look.outline, margin, &inner)) return -1;
    }
    PaintMask(image, look.outline2 > 0 ? inner.mask : grown.mask, left, top, look.outline_paint);
  }
  PaintMask(image, plain.mask, left, top, look.fill);
  if (look.shine > 0) {
    // A gloss on the upper half of the letters: the plain mask cut off below
    // the middle of the tallest glyph.
    Mask gloss = plain.mask;
    const double middle = plain.baseline - plain.ascent * 0.52;
    for (int my = 0; my < gloss.height; ++my) {
      const double fade = std::clamp((middle - my) / 3.0, 0.0, 1.0);
      for (int mx = 0; mx < gloss.width; ++mx) gloss.a[(size_t)my * gloss.width + mx] *= (float)fade;
    }
    PaintMask(image, gloss, left, top, Rgb(255, 255, 255, look.shine));
  }
  return plain.advance;
}
