// Text for the pictures: lines of UTF-8 text set in Debian's IPA fonts
// through FreeType, as coverage masks that the pictures then paint, outline
// and shade.
#pragma once

#include <string>

#include "tools/assetgen/picture.h"

// The UTF-8 bytes of a u8 literal (narrow literals are code page 932 here).
std::string Utf8(const char8_t* s);

enum class Face { kGothic, kPGothic, kMincho };

struct TextStyle {
  Face face = Face::kPGothic;
  double size = 24;    // pixels per em
  double weight = 0;   // extra stroke thickness in pixels (0 = the font's own)
  double spacing = 0;  // extra pixels between characters
};

struct TextMask {
  Mask mask;
  int origin_x = 0;  // the pen's start in the mask
  int baseline = 0;  // the baseline's row in the mask
  double advance = 0;
  double ascent = 0;  // the tallest glyph's height above the baseline
};

// The text's coverage; `grow` widens every glyph outward by that many pixels
// (an outline is the grown mask painted under the plain one). The mask has
// `margin` empty pixels on each side. False (with a message) when the font
// cannot be found or a character has no glyph in it.
bool RenderText(const std::string& utf8, const TextStyle& style, double grow, int margin, TextMask* out);

// The look of a label: a fill, up to two outlines and a soft shadow (written
// with designated initialisers, in this order).
struct LabelLook {
  Paint fill = Rgb(255, 255, 255);
  double outline = 0;  // inner outline width
  Paint outline_paint = Rgb(0, 0, 0);
  double outline2 = 0;  // outer outline width beyond the inner one
  Paint outline2_paint = Rgb(0, 0, 0);
  Rgba shadow = Rgb(0, 0, 0, 0);  // alpha 0: no shadow
  double shadow_dx = 0, shadow_dy = 0;
  int shadow_blur = 0;
  double shine = 0;  // opacity of a white gloss over the upper half of the letters
};

enum class Align { kLeft, kCentre, kRight };

// Draws `utf8` with its baseline at y and its left edge, centre or right edge
// at x. The paints' coordinates are those of `image`. Returns the text's
// advance width, or -1 on failure.
double DrawLabel(RgbaImage* image, const std::string& utf8, const TextStyle& style, const LabelLook& look, double x,
                 double y, Align align = Align::kLeft);
// The advance width of the text, or -1.
double MeasureText(const std::string& utf8, const TextStyle& style);
