// The four computer opponents' pictures and texts: each character is a set of
// colours and a hair style, an accessory and a keepsake, drawn from simple
// shapes into the large picture (192 x 384, 8-bit palette) and the face icon
// (48 x 48, 16 colours, index 0 transparent).
#include "tools/assetgen/characters.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/assetgen/canvas.h"
#include "tools/assetgen/png_writer.h"
#include "tools/assetgen/text.h"
#include "tools/assetgen/text_cp932.h"

namespace {

// Palette roles shared by both pictures; the face icon uses exactly these 16.
enum Role : uint8_t {
  kBack,  // transparent in the face icon
  kOutline,
  kSkin,
  kSkinShade,
  kHair,
  kHairShade,
  kEye,
  kWhite,
  kMouth,
  kBlush,
  kCloth,
  kClothShade,
  kAccent,
  kAccent2,
  kMetal,
  kHighlight,
  kRoleCount
};
constexpr int kGradientFirst = kRoleCount;  // large picture: background gradient
constexpr int kGradientSteps = 32;
constexpr int kBlockFirst = kGradientFirst + kGradientSteps;  // and falling-block ornaments
constexpr int kBlockColours = 4;

enum class Hair { kTwinTails, kLongStraight, kSpiky, kLongWavy };
enum class Keepsake { kStarBadge, kBook, kBolt, kSnowflake };

struct Look {
  const char* folder;
  Hair hair;
  Keepsake keepsake;
  PaletteColour roles[kRoleCount];
  PaletteColour gradient_top, gradient_bottom;
  PaletteColour blocks[kBlockColours];
  const char8_t* name;
  // Lines of at most ten full-width characters: the character screen sets
  // them in a 14-pixel font inside the 192-pixel picture.
  std::vector<const char8_t*> description;
};

constexpr PaletteColour C(int r, int g, int b) { return {(uint8_t)r, (uint8_t)g, (uint8_t)b, 255}; }

const Look kLooks[4] = {
    {"rival1",
     Hair::kTwinTails,
     Keepsake::kStarBadge,
     {C(255, 255, 255), C(58, 30, 36), C(255, 226, 204), C(240, 188, 166), C(236, 96, 48), C(184, 56, 32),
      C(52, 150, 84), C(255, 255, 255), C(200, 60, 70), C(255, 160, 160), C(240, 70, 70), C(170, 40, 52),
      C(255, 214, 60), C(255, 250, 210), C(120, 110, 120), C(255, 170, 110)},
     C(255, 236, 214),
     C(255, 176, 150),
     {C(240, 80, 80), C(250, 200, 60), C(90, 190, 110), C(255, 140, 60)},
     u8"ヒナタ・アカツキ",
     {u8"元気いっぱいの", u8"見習い魔法使い。", u8"連鎖をつなげるのが", u8"大好きです。"}},
    {"rival2",
     Hair::kLongStraight,
     Keepsake::kBook,
     {C(255, 255, 255), C(24, 30, 58), C(252, 232, 218), C(226, 196, 184), C(44, 70, 150), C(26, 40, 96),
      C(70, 120, 210), C(255, 255, 255), C(180, 80, 90), C(250, 180, 190), C(40, 56, 110), C(24, 32, 72),
      C(240, 240, 250), C(150, 60, 60), C(170, 170, 190), C(110, 140, 220)},
     C(226, 236, 255),
     C(150, 176, 232),
     {C(80, 120, 230), C(120, 200, 230), C(160, 130, 230), C(230, 230, 250)},
     u8"シズク・アオヤギ",
     {u8"物静かな図書委員。", u8"大きなかたまりを", u8"少しずつ育てます。"}},
    {"rival3",
     Hair::kSpiky,
     Keepsake::kBolt,
     {C(255, 255, 255), C(30, 36, 30), C(246, 210, 170), C(214, 170, 130), C(44, 44, 52), C(20, 20, 26),
      C(190, 120, 30), C(255, 255, 255), C(150, 50, 40), C(240, 150, 120), C(60, 150, 70), C(30, 96, 44),
      C(250, 200, 40), C(110, 220, 240), C(150, 156, 160), C(96, 100, 120)},
     C(230, 250, 220),
     C(140, 210, 140),
     {C(70, 180, 80), C(250, 210, 50), C(60, 60, 70), C(110, 220, 240)},
     u8"ゴウ・クロガネ",
     {u8"せっかちな", u8"機械いじりの少年。", u8"早めの連鎖で", u8"一気に攻めてきます。"}},
    {"rival4",
     Hair::kLongWavy,
     Keepsake::kSnowflake,
     {C(255, 255, 255), C(52, 36, 70), C(255, 238, 236), C(232, 206, 214), C(226, 228, 242), C(172, 170, 204),
      C(140, 70, 190), C(255, 255, 255), C(200, 90, 120), C(255, 190, 210), C(176, 150, 220), C(118, 92, 170),
      C(240, 196, 70), C(170, 90, 220), C(190, 230, 250), C(255, 255, 255)},
     C(240, 236, 255),
     C(188, 170, 232),
     {C(180, 150, 240), C(150, 220, 250), C(250, 250, 255), C(240, 196, 70)},
     u8"ミコト・シラユキ",
     {u8"慎重な雪の国の", u8"お姫さま。", u8"おじゃまが来る前に", u8"守りを固めます。"}},
};

void Ring(Canvas& c, double cx, double cy, double r, double width, uint8_t index) {
  std::vector<Point> points = ArcPoints(cx, cy, r, r, 0, 360, 32);
  for (size_t i = 1; i < points.size(); ++i) c.Line(points[i - 1], points[i], width, index);
}

// The hair behind the head.
void DrawBackHair(Canvas& c, const Look& look, double cx, double cy, double R, double w) {
  switch (look.hair) {
    case Hair::kTwinTails:
      for (int side = -1; side <= 1; side += 2) {
        c.OutlinedPolygon({{cx + side * 0.75 * R, cy - 0.55 * R},
                           {cx + side * 1.55 * R, cy + 0.2 * R},
                           {cx + side * 1.45 * R, cy + 1.5 * R},
                           {cx + side * 1.05 * R, cy + 2.0 * R},
                           {cx + side * 1.15 * R, cy + 1.0 * R},
                           {cx + side * 0.8 * R, cy + 0.2 * R}},
                          w, kHair, kOutline);
        c.Line({cx + side * 1.35 * R, cy + 0.4 * R}, {cx + side * 1.3 * R, cy + 1.3 * R}, w * 1.5, kHairShade);
        c.OutlinedEllipse(cx + side * 0.95 * R, cy - 0.6 * R, 0.22 * R, 0.22 * R, w, kAccent, kOutline);
      }
      break;
    case Hair::kLongStraight:
      c.OutlinedPolygon({{cx - 1.05 * R, cy - 0.2 * R},
                         {cx + 1.05 * R, cy - 0.2 * R},
                         {cx + 1.0 * R, cy + 1.45 * R},
                         {cx - 1.0 * R, cy + 1.45 * R}},
                        w, kHair, kOutline);
      c.OutlinedEllipse(cx, cy - 0.15 * R, 1.05 * R, 1.05 * R, w, kHair, kOutline);
      break;
    case Hair::kSpiky: {
      std::vector<Point> spikes;
      for (int i = 0; i <= 14; ++i) {
        const double a = (170.0 + 200.0 * i / 14) * M_PI / 180.0;
        const double r = (i % 2 ? 1.38 : 0.98) * R;
        spikes.push_back({cx + r * std::cos(a), cy - 0.1 * R + r * std::sin(a)});
      }
      spikes.push_back({cx + 0.9 * R, cy + 0.3 * R});
      spikes.push_back({cx - 0.9 * R, cy + 0.3 * R});
      c.OutlinedPolygon(spikes, w, kHair, kOutline);
      break;
    }
    case Hair::kLongWavy: {
      std::vector<Point> hair = ArcPoints(cx, cy - 0.1 * R, 1.12 * R, 1.12 * R, 180, 360, 16);
      for (int i = 0; i <= 10; ++i) {
        const double y = cy + (0.1 + 1.9 * i / 10.0) * R;
        hair.push_back({cx + (1.15 + 0.12 * (i % 2)) * R + 0.15 * R * i / 10.0, y});
      }
      for (int i = 10; i >= 0; --i) {
        const double y = cy + (0.1 + 1.9 * i / 10.0) * R;
        hair.push_back({cx - (1.15 + 0.12 * (i % 2)) * R - 0.15 * R * i / 10.0, y});
      }
      c.OutlinedPolygon(hair, w, kHair, kOutline);
      break;
    }
  }
}

// Fringe over the forehead: the top of the head down to a style's edge.
void DrawFringe(Canvas& c, const Look& look, double cx, double cy, double R, double w) {
  std::vector<Point> fringe = ArcPoints(cx, cy - 0.05 * R, 0.97 * R, 1.03 * R, 180, 360, 24);
  fringe.push_back({cx + 0.95 * R, cy + 0.35 * R});
  const int teeth = look.hair == Hair::kSpiky ? 5 : 6;
  for (int i = teeth; i >= 0; --i) {
    const double x = cx - 0.88 * R + 1.76 * R * i / teeth;
    double y;
    switch (look.hair) {
      case Hair::kLongStraight: y = cy - 0.3 * R; break;  // cut straight across
      case Hair::kSpiky: y = cy - (i % 2 ? 0.05 : 0.45) * R; break;
      case Hair::kTwinTails: y = cy - (i % 2 ? 0.18 : 0.36) * R - 0.1 * R * i / teeth; break;
      default: y = cy - (i == teeth / 2 ? 0.55 : (i % 2 ? 0.2 : 0.34)) * R; break;  // parted
    }
    fringe.push_back({x, y});
  }
  fringe.push_back({cx - 0.95 * R, cy + 0.35 * R});
  c.OutlinedPolygon(fringe, w, kHair, kOutline);
  // A shine across the hair.
  c.Line({cx - 0.45 * R, cy - 0.72 * R}, {cx - 0.1 * R, cy - 0.82 * R}, std::max(1.0, 0.08 * R), kHighlight);
}

void DrawEyes(Canvas& c, const Look& look, double cx, double cy, double R, double w) {
  const bool narrow = look.hair == Hair::kSpiky;
  for (int side = -1; side <= 1; side += 2) {
    const double ex = cx + side * 0.36 * R, ey = cy + 0.15 * R;
    const double ry = (narrow ? 0.19 : 0.26) * R;
    c.OutlinedEllipse(ex, ey, 0.19 * R, ry, w * 0.8, kWhite, kOutline);
    c.Ellipse(ex + side * 0.02 * R, ey + 0.02 * R, 0.14 * R, ry * 0.85, kEye);
    c.Ellipse(ex + side * 0.02 * R, ey + 0.04 * R, 0.07 * R, ry * 0.45, kOutline);
    c.Ellipse(ex - 0.06 * R, ey - 0.08 * R, std::max(0.6, 0.05 * R), std::max(0.6, 0.06 * R), kWhite);
    // Brows: level for the calm ones, slanted for the bold ones.
    const double tilt = narrow ? 0.14 : (look.hair == Hair::kTwinTails ? -0.04 : 0.0);
    c.Line({ex - side * 0.18 * R, ey - ry - 0.12 * R - tilt * R}, {ex + side * 0.16 * R, ey - ry - 0.12 * R + tilt * R},
           std::max(1.0, 0.06 * R), kHairShade);
  }
}

void DrawMouth(Canvas& c, const Look& look, double cx, double cy, double R, double w) {
  const double my = cy + 0.58 * R;
  switch (look.hair) {
    case Hair::kTwinTails:  // open smile
      c.OutlinedPolygon(ArcPoints(cx, my - 0.04 * R, 0.16 * R, 0.14 * R, 0, 180, 10), w * 0.6, kMouth, kOutline);
      break;
    case Hair::kSpiky:  // grin
      c.OutlinedPolygon({{cx - 0.2 * R, my - 0.04 * R}, {cx + 0.22 * R, my - 0.08 * R}, {cx + 0.1 * R, my + 0.08 * R},
                         {cx - 0.12 * R, my + 0.08 * R}},
                        w * 0.6, kWhite, kOutline);
      break;
    default: {
      std::vector<Point> smile = ArcPoints(cx, my - 0.1 * R, 0.12 * R, 0.1 * R, 30, 150, 8);
      for (size_t i = 1; i < smile.size(); ++i) c.Line(smile[i - 1], smile[i], std::max(1.0, w * 0.8), kMouth);
      break;
    }
  }
}

void DrawAccessory(Canvas& c, const Look& look, double cx, double cy, double R, double w) {
  switch (look.hair) {
    case Hair::kTwinTails: {  // a big bow on the crown
      const double bx = cx + 0.45 * R, by = cy - 0.95 * R;
      c.OutlinedPolygon({{bx, by}, {bx - 0.5 * R, by - 0.3 * R}, {bx - 0.45 * R, by + 0.3 * R}}, w, kAccent, kOutline);
      c.OutlinedPolygon({{bx, by}, {bx + 0.5 * R, by - 0.3 * R}, {bx + 0.45 * R, by + 0.3 * R}}, w, kAccent, kOutline);
      c.OutlinedEllipse(bx, by, 0.12 * R, 0.12 * R, w * 0.8, kAccent2, kOutline);
      break;
    }
    case Hair::kLongStraight:  // round glasses
      for (int side = -1; side <= 1; side += 2) Ring(c, cx + side * 0.36 * R, cy + 0.15 * R, 0.27 * R, std::max(1.0, 0.07 * R), kMetal);
      c.Line({cx - 0.1 * R, cy + 0.1 * R}, {cx + 0.1 * R, cy + 0.1 * R}, std::max(1.0, 0.06 * R), kMetal);
      break;
    case Hair::kSpiky: {  // a headband with goggles pushed up
      std::vector<Point> band = ArcPoints(cx, cy - 0.1 * R, 1.0 * R, 0.72 * R, 190, 350, 16);
      std::vector<Point> lower = ArcPoints(cx, cy + 0.05 * R, 1.0 * R, 0.72 * R, 350, 190, 16);
      band.insert(band.end(), lower.begin(), lower.end());
      c.OutlinedPolygon(band, w, kAccent, kOutline);
      for (int side = -1; side <= 1; side += 2) {
        c.OutlinedEllipse(cx + side * 0.3 * R, cy - 0.72 * R, 0.22 * R, 0.18 * R, w, kMetal, kOutline);
        c.Ellipse(cx + side * 0.3 * R, cy - 0.72 * R, 0.14 * R, 0.11 * R, kAccent2);
      }
      break;
    }
    case Hair::kLongWavy: {  // a tiara with a gem
      const double ty = cy - 0.82 * R;
      c.OutlinedPolygon({{cx - 0.5 * R, ty + 0.12 * R},
                         {cx - 0.42 * R, ty - 0.22 * R},
                         {cx - 0.2 * R, ty - 0.02 * R},
                         {cx, ty - 0.4 * R},
                         {cx + 0.2 * R, ty - 0.02 * R},
                         {cx + 0.42 * R, ty - 0.22 * R},
                         {cx + 0.5 * R, ty + 0.12 * R}},
                        w, kAccent, kOutline);
      c.OutlinedEllipse(cx, ty - 0.02 * R, 0.09 * R, 0.1 * R, w * 0.6, kAccent2, kOutline);
      break;
    }
  }
}

void DrawHead(Canvas& c, const Look& look, double cx, double cy, double R, double w) {
  DrawBackHair(c, look, cx, cy, R, w);
  c.OutlinedEllipse(cx, cy + 0.05 * R, 0.88 * R, 0.95 * R, w, kSkin, kOutline);
  if (look.hair != Hair::kSpiky)
    for (int side = -1; side <= 1; side += 2) c.Ellipse(cx + side * 0.55 * R, cy + 0.45 * R, 0.14 * R, 0.06 * R, kBlush);
  DrawEyes(c, look, cx, cy, R, w);
  DrawMouth(c, look, cx, cy, R, w);
  DrawFringe(c, look, cx, cy, R, w);
  DrawAccessory(c, look, cx, cy, R, w);
}

void DrawStar(Canvas& c, double cx, double cy, double r, double w, uint8_t fill) {
  std::vector<Point> star;
  for (int i = 0; i < 10; ++i) {
    const double a = (-90.0 + 36.0 * i) * M_PI / 180.0;
    const double rr = i % 2 ? r * 0.45 : r;
    star.push_back({cx + rr * std::cos(a), cy + rr * std::sin(a)});
  }
  c.OutlinedPolygon(star, w, fill, kOutline);
}

void DrawKeepsake(Canvas& c, const Look& look, double cx, double cy, double w) {
  switch (look.keepsake) {
    case Keepsake::kStarBadge:
      DrawStar(c, cx + 28, cy, 16, w, kAccent);
      break;
    case Keepsake::kBook:  // held in both arms
      c.OutlinedPolygon({{cx - 40, cy + 20}, {cx + 30, cy + 8}, {cx + 36, cy + 62}, {cx - 34, cy + 74}}, w, kAccent2, kOutline);
      c.Polygon({{cx - 30, cy + 28}, {cx + 22, cy + 19}, {cx + 24, cy + 30}, {cx - 28, cy + 39}}, kAccent);
      c.OutlinedEllipse(cx - 42, cy + 50, 10, 10, w, kSkin, kOutline);
      c.OutlinedEllipse(cx + 38, cy + 38, 10, 10, w, kSkin, kOutline);
      break;
    case Keepsake::kBolt:
      c.OutlinedPolygon({{cx + 6, cy - 22}, {cx - 14, cy + 6}, {cx, cy + 6}, {cx - 6, cy + 30}, {cx + 16, cy - 2}, {cx + 2, cy - 2}},
                        w, kAccent, kOutline);
      break;
    case Keepsake::kSnowflake:
      for (int i = 0; i < 6; ++i) {
        const double a = i * M_PI / 3;
        const Point tip{cx + 18 * std::cos(a), cy - 4 + 18 * std::sin(a)};
        c.Line({cx, cy - 4}, tip, 4, kAccent2);
        c.Line({cx, cy - 4}, tip, 2, kHighlight);
      }
      c.OutlinedEllipse(cx, cy - 4, 4, 4, w, kAccent, kOutline);
      break;
  }
}

PaletteColour Mix(PaletteColour a, PaletteColour b, double t) {
  auto m = [&](uint8_t x, uint8_t y) { return (uint8_t)std::lround(x + (y - x) * t); };
  return {m(a.r, b.r), m(a.g, b.g), m(a.b, b.b), 255};
}

// The large picture is also the back of the character's well in a match,
// drawn at three quarters over the match's background, and the game sets its
// menus, results and name entry over the well (dark text with a light edge)
// and the character screen its name and description over the picture (light
// text with a dark edge): a dark panel in the character's colours, the
// character in muted colours.
constexpr PaletteColour kShade = C(12, 14, 34);

IndexedImage DrawImage(const Look& look) {
  IndexedImage image;
  image.width = 192;
  image.height = 384;
  image.pixels.assign((size_t)image.width * image.height, 0);
  for (const PaletteColour& c : look.roles) image.palette.push_back(Mix(c, kShade, 0.42));
  const PaletteColour top = Mix(look.gradient_top, kShade, 0.9), bottom = Mix(look.gradient_bottom, kShade, 0.62);
  for (int i = 0; i < kGradientSteps; ++i) image.palette.push_back(Mix(top, bottom, i / (double)(kGradientSteps - 1)));
  for (const PaletteColour& c : look.blocks) image.palette.push_back(Mix(c, kShade, 0.6));
  Canvas c(&image);
  for (int y = 0; y < image.height; ++y) c.Rect(0, y, image.width, y + 1, (uint8_t)(kGradientFirst + y * kGradientSteps / image.height));

  // Falling blocks drift down the background, in the character's colours.
  static constexpr Point kBlockSpots[6] = {{8, 12}, {162, 22}, {14, 74}, {164, 96}, {6, 156}, {168, 168}};
  for (int i = 0; i < 6; ++i) {
    const double x = kBlockSpots[i].x, y = kBlockSpots[i].y;
    const uint8_t colour = (uint8_t)(kBlockFirst + i % kBlockColours);
    c.OutlinedPolygon({{x, y}, {x + 20, y}, {x + 20, y + 20}, {x, y + 20}}, 1.0, colour, kOutline);
    c.Rect(x + 3, y + 3, x + 8, y + 8, kWhite);
  }

  // The head stands low, under the menus a match draws over the well, and the
  // character screen's name and description come under the chin.
  const double cx = 96, cy = 166, R = 56, w = 2.0;
  // Body: neck, shoulders and a jacket down to the bottom edge.
  c.OutlinedPolygon({{cx - 14, cy + 40}, {cx + 14, cy + 40}, {cx + 14, cy + 90}, {cx - 14, cy + 90}}, w, kSkinShade, kOutline);
  c.OutlinedPolygon({{cx - 22, cy + 80}, {cx + 22, cy + 80}, {cx + 76, cy + 110}, {cx + 88, cy + 270},
                     {cx - 88, cy + 270}, {cx - 76, cy + 110}},
                    w, kCloth, kOutline);
  c.Polygon({{cx + 40, cy + 100}, {cx + 74, cy + 116}, {cx + 84, cy + 270}, {cx + 50, cy + 270}}, kClothShade);
  c.Polygon({{cx - 40, cy + 100}, {cx - 74, cy + 116}, {cx - 84, cy + 270}, {cx - 50, cy + 270}}, kClothShade);
  // Collar.
  c.OutlinedPolygon({{cx - 24, cy + 80}, {cx, cy + 112}, {cx - 34, cy + 104}}, w, kWhite, kOutline);
  c.OutlinedPolygon({{cx + 24, cy + 80}, {cx, cy + 112}, {cx + 34, cy + 104}}, w, kWhite, kOutline);
  DrawHead(c, look, cx, cy, R, w);
  DrawKeepsake(c, look, cx, cy + 150, w);
  return image;
}

IndexedImage DrawFace(const Look& look) {
  IndexedImage image;
  image.width = 48;
  image.height = 48;
  image.pixels.assign((size_t)image.width * image.height, kBack);
  image.palette.assign(look.roles, look.roles + kRoleCount);
  image.palette[kBack].a = 0;
  Canvas c(&image);
  DrawHead(c, look, 24, 23, 17, 1.0);
  return image;
}

}  // namespace

bool WriteOpponentAssets(const std::string& opponents_dir) {
  bool ok = true;
  for (const Look& look : kLooks) {
    const std::string res = opponents_dir + "/" + look.folder + "/res/";
    ok &= WritePalettePng(res + "image.png", DrawImage(look));
    ok &= WritePalettePng(res + "face.png", DrawFace(look));
    ok &= WriteCp932Text(res + "name.txt", Utf8(look.name));
    std::string description;
    for (const char8_t* line : look.description) description += (description.empty() ? "" : "\r\n") + Utf8(line);
    ok &= WriteCp932Text(res + "descript.txt", description);
  }
  return ok;
}
