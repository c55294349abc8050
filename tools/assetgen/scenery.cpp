// The game's full-screen pictures: the title (also the menus' backdrop), the
// intro picture that shatters into the title, the play backgrounds, and the
// well's picture in replays.
#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "tools/assetgen/game_assets.h"
#include "tools/assetgen/look.h"
#include "tools/assetgen/png_writer.h"

namespace {

constexpr int kW = 640, kH = 480;

// A soft cloud: overlapping puffs, blurred, white above and shaded below.
void DrawCloud(RgbaImage* image, double cx, double cy, double scale, double opacity, Random* random) {
  const int w = (int)(220 * scale) + 40, h = (int)(90 * scale) + 40;
  Mask puff(w, h);
  MaskCanvas m(&puff);
  const double base_y = h - 22.0;
  for (int i = 0; i < 7; ++i) {
    const double t = i / 6.0;
    const double r = scale * (22 + 20 * std::sin(M_PI * t)) * random->Range(0.85, 1.15);
    m.Ellipse(20 + (w - 40) * (0.12 + 0.76 * t), base_y - r * 0.7, r * 1.15, r, 1.0f);
  }
  m.Rect(20 + (w - 40) * 0.1, base_y - 16 * scale, 20 + (w - 40) * 0.9, base_y, 1.0f);
  const Mask soft = Blur(puff, std::max(1, (int)(4 * scale)));
  const int x = (int)(cx - w / 2.0), y = (int)(cy - h / 2.0);
  PaintMask(image, soft, x, y + 4,
            Paint::Linear({0, (double)y}, {0, (double)y + h},
                          {{0, Rgb(255, 255, 255, 0)},
                           {0.6, Rgb(170, 190, 230, 0.5 * opacity)},
                           {1, Rgb(150, 170, 220, 0.6 * opacity)}}));
  PaintMask(
      image, soft, x, y,
      Paint::Linear(
          {0, (double)y}, {0, (double)y + h},
          {{0, Rgb(255, 255, 255, opacity)}, {0.75, Rgb(246, 250, 255, opacity)}, {1, Rgb(220, 232, 250, opacity)}}));
}

// Cubes in the distance, faded toward the colour of the air behind them,
// scattered over rectangles {x0, y0, x1, y1}: the places the screens leave
// free of text.
void DrawDistantCubes(RgbaImage* image, const std::vector<std::array<double, 4>>& areas, int per_area,
                      double min_size, double max_size, Rgba air, double fade, uint64_t seed) {
  Random random(seed);
  for (const auto& a : areas)
    for (int i = 0; i < per_area; ++i) {
      const double size = random.Range(min_size, max_size);
      const double x = random.Range(a[0] + size, a[2] - size), y = random.Range(a[1] + size, a[3] - size);
      const Rgba colour =
          Mix(kBlockColour[random.Next() % 6], air, fade * (1 - (size - min_size) / (max_size - min_size + 1)));
      DrawCube(image, x, y, size, colour, random.Range(0.4, 0.7));
    }
}

// A floating island of voxels: earth cubes with a grass top and a few of the
// game's blocks standing on it; (ox, oy) is the top centre of the back cube.
void DrawIsland(RgbaImage* image, double ox, double oy, double s, int n, uint64_t seed) {
  Random random(seed);
  const double w = s * 0.866, h = s * 0.5;
  auto at = [&](int i, int j, int k) { return Point{ox + (i - j) * w, oy + (i + j) * h - k * s}; };
  // Back to front: rows of growing i + j, lower layers first.
  for (int sum = 0; sum <= 2 * (n - 1); ++sum) {
    for (int i = std::max(0, sum - n + 1); i <= std::min(sum, n - 1); ++i) {
      const int j = sum - i;
      const double edge = std::max(std::abs(i - (n - 1) / 2.0), std::abs(j - (n - 1) / 2.0)) / (n / 2.0);
      const int depth = edge > 0.9 ? 1 : edge > 0.6 ? 2 : 3;  // the island tapers downward
      for (int k = -depth; k <= 0; ++k) {
        const Point c = at(i, j, k);
        DrawCube(image, c.x, c.y, s,
                 k == 0 ? Rgb(98, 184, 86) : Mix(Rgb(150, 104, 70), Rgb(120, 84, 64), random.Uniform()));
      }
      if (random.Uniform() < 0.28 && edge < 0.8) {
        const Point c = at(i, j, 1);
        DrawCube(image, c.x, c.y, s, kBlockColour[random.Next() % 6]);
      }
    }
  }
}

RgbaImage Sky(Rgba top, Rgba middle, Rgba bottom) {
  RgbaImage image(kW, kH);
  image.Fill(Paint::Linear({0, 0}, {0, kH}, {{0, top}, {0.55, middle}, {1, bottom}}));
  return image;
}

// Where the screens set their texts over a play background: the settings
// rows (from x 96, y 96 to 400) and the counters beside the wells. Little
// busy detail goes there.
bool InTextArea(double x, double y) { return x > 90 && y > 86 && y < 410; }

bool WriteTitle(const std::string& images) {
  // The menus of the other screens are drawn over this picture too: the
  // options' heading at y 64, the high scores from y 96, their rows from
  // x 96, the title's entries from x 240 down to the bottom, the mode menu's
  // help line at (40, 440). So the name stays above y 60, the middle is calm
  // sky with soft clouds, and the cubes keep to the margins and the corner
  // at the bottom right.
  RgbaImage title = Sky(Rgb(84, 142, 228), Rgb(168, 212, 248), Rgb(246, 240, 232));
  Painter p(&title);
  p.Rect(0, 0, kW, kH, Paint::Radial({320, 30}, 240, {{0, Rgb(255, 255, 255, 0.4)}, {1, Rgb(255, 255, 255, 0)}}));
  Random random(11);
  for (const Point c : {Point{90, 190}, Point{560, 150}, Point{420, 300}, Point{600, 440}})
    DrawCloud(&title, c.x, c.y, random.Range(0.7, 1.1), 0.8, &random);
  DrawDistantCubes(&title, {{8, 70, 84, 420}, {560, 70, 634, 190}, {8, 4, 150, 56}, {490, 4, 632, 56}}, 3, 5, 12,
                     Rgb(200, 226, 250), 0.6, 12);
  DrawIsland(&title, 580, 404, 18, 3, 13);
  // Drifting blocks in the margins.
  DrawCube(&title, 612, 250, 20, kBlockColour[1], 0.95);
  DrawCube(&title, 616, 326, 14, kBlockColour[3], 0.9);
  DrawCube(&title, 40, 150, 14, kBlockColour[5], 0.85);
  DrawCube(&title, 56, 300, 10, kBlockColour[0], 0.8);
  AddGrain(&title, 0.01, 14);
  return DrawLogo(&title, 320, 46, 48) && WriteJpeg(images + "/title.jpg", title, 92);
}

// The picture shown first, as a wall of glass tiles that bursts into 300
// tiles of 32 x 32 and falls away from the title.
bool WriteIntro(const std::string& images) {
  RgbaImage intro(kW, kH);
  intro.Fill(Paint::Radial({320, 220}, 420, {{0, Rgb(44, 58, 140)}, {0.6, Rgb(22, 28, 82)}, {1, Rgb(12, 14, 44)}}));
  Painter p(&intro);
  Random random(21);
  for (int i = 0; i < 90; ++i) {  // stars
    const double x = random.Range(0, kW), y = random.Range(0, kH), r = random.Range(0.4, 1.3);
    p.Ellipse(x, y, r, r, Rgb(220, 230, 255, random.Range(0.3, 0.9)));
  }
  // A cube of 27 little cubes in the blocks' colours.
  const double s = 26, w = s * 0.866, h = s * 0.5;
  for (int k = 0; k < 3; ++k)
    for (int sum = 0; sum <= 4; ++sum)
      for (int i = std::max(0, sum - 2); i <= std::min(sum, 2); ++i) {
        const int j = sum - i;
        DrawCube(&intro, 320 + (i - j) * w, 150 + (i + j) * h - k * s, s, kBlockColour[(i * 5 + j * 3 + k * 2) % 6]);
      }
  bool ok = DrawLogo(&intro, 320, 350, 72);
  const LabelLook tag{.fill = Rgb(200, 220, 255)};
  ok &= DrawLabel(&intro, "FALLING  VOXEL  PUZZLE", {Face::kGothic, 15, 0.4, 2.5}, tag, 320, 384, Align::kCentre) > 0;
  // The tiles' edges: light above and left, shade below and right.
  for (int y = 0; y < kH; y += 32)
    for (int x = 0; x < kW; x += 32) {
      p.Rect(x, y, x + 32, y + 1, Rgb(255, 255, 255, 0.07));
      p.Rect(x, y + 1, x + 1, y + 32, Rgb(255, 255, 255, 0.05));
      p.Rect(x, y + 31, x + 32, y + 32, Rgb(0, 0, 20, 0.25));
      p.Rect(x + 31, y, x + 32, y + 31, Rgb(0, 0, 20, 0.18));
    }
  AddGrain(&intro, 0.012, 22);
  return ok && WriteColourPng(images + "/parin.png", intro, false);
}

bool WriteSkyBackground(const std::string& dir) {
  RgbaImage sky = Sky(Rgb(110, 160, 230), Rgb(176, 214, 246), Rgb(232, 242, 250));
  Random random(31);
  for (int i = 0; i < 7; ++i)
    DrawCloud(&sky, random.Range(0, kW), random.Range(60, 440), random.Range(0.6, 1.2), 0.7, &random);
  // Cubes beside the wells and below the texts of the settings screens.
  DrawDistantCubes(&sky, {{8, 100, 92, 470}, {100, 440, 620, 476}}, 5, 5, 14, Rgb(200, 224, 248), 0.75, 32);
  AddGrain(&sky, 0.01, 33);
  return WriteJpeg(dir + "/" + Utf8(u8"青空.jpg"), sky, 90);
}

bool WriteSeaBackground(const std::string& dir) {
  // Shallow, light water: the texts are dark.
  RgbaImage sea = Sky(Rgb(134, 214, 232), Rgb(78, 166, 208), Rgb(40, 104, 156));
  Random random(41);
  // Light falling through the water.
  Mask rays(kW, kH);
  MaskCanvas r(&rays);
  for (int i = 0; i < 9; ++i) {
    const double x = random.Range(-40, kW), spread = random.Range(20, 60), lean = random.Range(60, 180);
    r.Polygon({{x, -10}, {x + spread, -10}, {x + spread * 2.4 + lean, kH * 0.9}, {x + lean, kH * 0.9}},
              (float)random.Range(0.3, 0.7));
  }
  PaintMask(&sea, Blur(rays, 10), 0, 0,
            Paint::Linear({0, 0}, {0, kH}, {{0, Rgb(220, 255, 255, 0.3)}, {1, Rgb(220, 255, 255, 0)}}));
  Painter p(&sea);
  // Sand and sunken blocks.
  std::vector<Point> dune;
  for (int x = 0; x <= kW; x += 16) dune.push_back({(double)x, 430 + 12 * std::sin(x / 70.0) + 6 * std::sin(x / 23.0)});
  dune.push_back({kW, kH});
  dune.push_back({0, kH});
  p.Polygon(dune, Paint::Linear({0, 420}, {0, kH}, {{0, Rgb(120, 140, 130)}, {1, Rgb(70, 90, 100)}}));
  DrawCube(&sea, 80, 420, 18, Mix(kBlockColour[1], Rgb(30, 90, 130), 0.55));
  DrawCube(&sea, 112, 428, 14, Mix(kBlockColour[2], Rgb(30, 90, 130), 0.55));
  DrawCube(&sea, 560, 422, 20, Mix(kBlockColour[0], Rgb(30, 90, 130), 0.55));
  for (int i = 0; i < 40; ++i) {  // bubbles
    const double x = random.Range(0, kW), y = random.Range(0, 420), rr = random.Range(1.5, 5);
    if (InTextArea(x, y)) continue;
    p.OutlinedEllipse(x, y, rr, rr, 0.9, Rgb(200, 240, 255, 0.08), Rgb(220, 250, 255, 0.45));
    p.Ellipse(x - rr * 0.35, y - rr * 0.35, rr * 0.3, rr * 0.3, Rgb(255, 255, 255, 0.6));
  }
  AddGrain(&sea, 0.012, 43);
  return WriteJpeg(dir + "/" + Utf8(u8"海底.jpg"), sea, 90);
}

bool WriteDuskBackground(const std::string& dir) {
  RgbaImage dusk(kW, kH);
  // An early dusk, light enough behind the dark texts; the hills stay low.
  dusk.Fill(Paint::Linear(
      {0, 0}, {0, 380},
      {{0, Rgb(116, 104, 176)}, {0.5, Rgb(194, 134, 178)}, {0.85, Rgb(248, 170, 136)}, {1, Rgb(252, 210, 150)}}));
  Painter p(&dusk);
  Random random(51);
  for (int i = 0; i < 60; ++i) {
    const double x = random.Range(0, kW), y = random.Range(0, 84), r = random.Range(0.4, 1.2);
    p.Ellipse(x, y, r, r, Rgb(255, 250, 230, random.Range(0.2, 0.7) * (1 - y / 90)));
  }
  p.Ellipse(470, 372, 120, 120,
            Paint::Radial({470, 372}, 120, {{0, Rgb(255, 236, 170, 0.7)}, {1, Rgb(255, 200, 150, 0)}}));
  p.Ellipse(470, 372, 38, 38, Rgb(255, 240, 190));
  // Hills, far to near.
  const Rgba hills[3] = {Rgb(150, 96, 150), Rgb(104, 70, 128), Rgb(64, 48, 96)};
  for (int layer = 0; layer < 3; ++layer) {
    std::vector<Point> hill;
    const double base = 394 + layer * 30, phase = random.Range(0, 6);
    for (int x = 0; x <= kW; x += 8)
      hill.push_back(
          {(double)x, base - 26 * std::sin(x / (90.0 + 40 * layer) + phase) - 10 * std::sin(x / 37.0 + phase)});
    hill.push_back({kW, kH});
    hill.push_back({0, kH});
    p.Polygon(hill, hills[layer]);
  }
  // A row of block towers on the far hill, like a town at dusk, left of
  // the texts.
  for (int i = 0; i < 6; ++i) {
    const double x = 14 + i * 14 + random.Range(-2, 2);
    for (int k = 0, n = 1 + (int)random.Range(0, 3); k < n; ++k)
      DrawCube(&dusk, x, 380 - k * 12 - 0.1 * x, 12, Mix(kBlockColour[random.Next() % 6], Rgb(150, 96, 150), 0.6));
  }
  AddGrain(&dusk, 0.012, 53);
  return WriteJpeg(dir + "/" + Utf8(u8"黄昏.jpg"), dusk, 90);
}

// A petal: a teardrop turned by `angle`, `length` long.
std::vector<Point> Petal(double cx, double cy, double length, double angle) {
  std::vector<Point> petal;
  for (int i = 0; i <= 16; ++i) {
    const double t = M_PI * i / 16;
    const double along = -std::cos(t) * length / 2,
                 across = std::sin(t) * length * 0.32 * (0.6 + 0.4 * std::cos(t / 2));
    petal.push_back({along, across});
  }
  for (int i = 15; i > 0; --i) petal.push_back({petal[i].x, -petal[i].y});
  petal.push_back({length / 2 - length * 0.08, 0});  // the notch at the tip
  for (Point& p : petal)
    p = {cx + p.x * std::cos(angle) - p.y * std::sin(angle), cy + p.x * std::sin(angle) + p.y * std::cos(angle)};
  return petal;
}

bool WriteBlossomBackground(const std::string& dir) {
  RgbaImage spring = Sky(Rgb(176, 190, 240), Rgb(246, 214, 232), Rgb(252, 240, 236));
  Random random(71);
  // Blossom clouds in the upper corners, a meadow below.
  for (const Point c : {Point{40, 40}, Point{150, 10}, Point{560, 30}, Point{640, 110}}) {
    Mask bloom(260, 200);
    MaskCanvas m(&bloom);
    for (int i = 0; i < 14; ++i)
      m.Ellipse(random.Range(40, 220), random.Range(40, 160), random.Range(22, 44), random.Range(18, 36), 1.0f);
    PaintMask(&spring, Blur(bloom, 5), (int)c.x - 130, (int)c.y - 100,
              Paint::Radial({c.x, c.y}, 150, {{0, Rgb(255, 226, 238, 0.95)}, {1, Rgb(248, 190, 214, 0.85)}}));
  }
  Painter p(&spring);
  std::vector<Point> meadow;
  for (int x = 0; x <= kW; x += 8) meadow.push_back({(double)x, 420 - 14 * std::sin(x / 110.0 + 0.7)});
  meadow.push_back({kW, kH});
  meadow.push_back({0, kH});
  p.Polygon(meadow, Paint::Linear({0, 400}, {0, kH}, {{0, Rgb(170, 214, 150)}, {1, Rgb(120, 176, 120)}}));
  for (int i = 0; i < 70; ++i) {
    const double x = random.Range(0, kW), y = random.Range(0, kH), size = random.Range(5, 11);
    // Faint where the texts are.
    const double opacity = random.Range(0.45, 0.85) * (InTextArea(x, y) ? 0.35 : 1.0);
    p.Polygon(Petal(x, y, size, random.Range(0, 2 * M_PI)), Rgb(255, random.Range(176, 214), random.Range(206, 226), opacity));
  }
  AddGrain(&spring, 0.01, 73);
  return WriteJpeg(dir + "/" + Utf8(u8"花見.jpg"), spring, 90);
}

// In replays the well shows this in place of a character's picture.
bool WriteNoImage(const std::string& images) {
  RgbaImage well(192, 384);
  well.Fill(Paint::Linear({0, 0}, {0, 384}, {{0, Rgb(30, 44, 98)}, {1, Rgb(16, 24, 58)}}));
  Painter p(&well);
  for (int c = 1; c < 6; ++c) p.Rect(32 * c, 0, 32 * c + 1, 384, Rgb(140, 180, 255, 0.08));
  for (int r = 1; r < 12; ++r) p.Rect(0, 32 * r, 192, 32 * r + 1, Rgb(140, 180, 255, 0.06));
  p.Ellipse(96, 190, 90, 90, Paint::Radial({96, 190}, 90, {{0, Rgb(120, 160, 255, 0.22)}, {1, Rgb(120, 160, 255, 0)}}));
  DrawCube(&well, 96, 168, 40, Rgb(84, 110, 190), 0.5);
  const LabelLook look{.fill = Rgb(150, 176, 240, 0.6)};
  bool ok = DrawLabel(&well, "REPLAY", {Face::kGothic, 16, 0.6, 4}, look, 96, 268, Align::kCentre) > 0;
  AddGrain(&well, 0.01, 61);
  return ok && WriteColourPng(images + "/noimage.png", well, false);
}

}  // namespace

const AssetTask kSceneryTasks[] = {
    {"title", [](const std::string& run) { return WriteTitle(run + "/images"); }},
    {"intro", [](const std::string& run) { return WriteIntro(run + "/images"); }},
    {"no image", [](const std::string& run) { return WriteNoImage(run + "/images"); }},
    {"sky", [](const std::string& run) { return WriteSkyBackground(run + "/bgimages"); }},
    {"sea", [](const std::string& run) { return WriteSeaBackground(run + "/bgimages"); }},
    {"dusk", [](const std::string& run) { return WriteDuskBackground(run + "/bgimages"); }},
    {"blossom", [](const std::string& run) { return WriteBlossomBackground(run + "/bgimages"); }},
};
const size_t kSceneryTaskCount = sizeof kSceneryTasks / sizeof kSceneryTasks[0];
