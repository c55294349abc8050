// The pictures of the game's interface: the blocks, the title menu's
// entries, the cursor and badges, the well's frame, the count-in digits, the
// garbage gauge, the pause sign and the net-battle entry panel.
#include <cmath>
#include <string>

#include "tools/assetgen/game_assets.h"
#include "tools/assetgen/look.h"
#include "tools/assetgen/png_writer.h"

namespace {

bool WriteBlocks(const std::string& images) {
  bool ok = true;
  for (int kind = 0; kind < kBlockKinds; ++kind) {
    RgbaImage block(32, 32);
    DrawBlock(&block, 0, 0, 32, kind);
    ok &= WriteColourPng(images + "/block" + std::to_string(kind) + ".png", block, false);
  }
  return ok;
}

struct MenuEntry {
  const char* file;
  const char8_t* label;
  const char* caption;
  int colour;  // the title's block beside the entry
  bool unavailable;
};

// The title's six entries, beside blocks of colours 0-5 at y 192 + 48 i, and
// the two entries that cannot be chosen now.
const MenuEntry kMenuEntries[] = {
    {"1play", u8"ひとりで遊ぶ", "1 PLAYER", 0, false},
    {"2play", u8"ふたりで対戦", "2 PLAYERS", 1, false},
    {"replay", u8"リプレイ", "REPLAY", 2, false},
    {"hiscore", u8"ハイスコア", "HIGH SCORES", 3, false},
    {"config", u8"オプション", "OPTIONS", 4, false},
    {"exit", u8"終了する", "EXIT", 5, false},
    {"cant2play", u8"ふたりで対戦", "NEEDS A GAME PAD", 1, true},
    {"cantreplay", u8"リプレイ", "NO REPLAYS SAVED YET", 2, true},
};

bool WriteMenuEntries(const std::string& images) {
  bool ok = true;
  for (const MenuEntry& e : kMenuEntries) {
    // 48 high, as the entries are 48 apart and the last one ends at the
    // screen's bottom. The caption stands beside the label on its baseline:
    // under it, the last entry's caption met the bottom edge.
    RgbaImage label(320, 48);
    const Rgba colour = kBlockColour[e.colour];
    const LabelLook look{.fill = Paint::Linear({0, 6}, {0, 28}, {{0, Rgb(255, 255, 255)}, {1, Lighter(colour, 0.72)}}),
                         .outline = 2.6,
                         .outline_paint = Darker(colour, 0.3),
                         .outline2 = 1.6,
                         .outline2_paint = Rgb(20, 22, 60),
                         .shadow = Rgb(10, 12, 40, 0.45),
                         .shadow_dx = 2,
                         .shadow_dy = 2,
                         .shadow_blur = 2};
    const double width = DrawLabel(&label, Utf8(e.label), {Face::kPGothic, 26, 0.9, 1.0}, look, 6, 27);
    ok &= width > 0;
    const LabelLook small{.fill = Lighter(colour, 0.55), .outline = 1.6, .outline_paint = Rgb(20, 22, 60)};
    ok &= DrawLabel(&label, e.caption, {Face::kGothic, 11, 0.3, 0.8}, small, 16 + width, 27) > 0;
    if (e.unavailable) Desaturate(&label, 0.85, 0.3);
    ok &= WriteColourPng(images + "/" + e.file + ".png", label, true);
  }
  return ok;
}

// A pointer to the right, for menus (the right-hand player's is mirrored).
bool WriteCursor(const std::string& images) {
  RgbaImage cursor(32, 32);
  Painter p(&cursor);
  const std::vector<Point> arrow = {{5, 5}, {28, 16}, {5, 27}, {10, 16}};
  Mask shadow_shape(32, 32);
  MaskCanvas(&shadow_shape).Polygon(arrow, 1.0f);
  PaintMask(&cursor, Blur(shadow_shape, 1), 1, 2, Rgb(10, 12, 40, 0.5));
  p.OutlinedPolygon(
      arrow, 1.6,
      Paint::Linear({0, 5}, {0, 27}, {{0, Rgb(255, 236, 120)}, {0.5, Rgb(255, 182, 40)}, {1, Rgb(236, 110, 20)}}),
      Rgb(90, 40, 10));
  p.Polygon({{8, 8}, {24, 15.5}, {11, 15.5}}, Rgb(255, 255, 255, 0.55));
  return WriteColourPng(images + "/cursor.png", cursor, true);
}

// Side badges: a frame drawn 8 pixels around a 48 x 48 face, with the side's
// tag. Both sides' badges stand on the same face while one side picks and
// the other waits (the second is drawn over the first), so they share it:
// the first player's frame is the outer ring with its tag at the top left,
// the second player's the inner ring with its tag at the bottom right.
bool WriteBadges(const std::string& images) {
  bool ok = true;
  const struct {
    const char* file;
    const char* tag;
    Rgba colour;
    double inset;  // of the ring, 4 pixels wide
    Point tag_at;  // the tag's top-left corner
  } badges[] = {{"1p", "1P", Rgb(236, 62, 72), 0, {0, 0}}, {"2p", "2P", Rgb(50, 120, 240), 4, {38, 47}}};
  for (const auto& b : badges) {
    RgbaImage badge(64, 64);
    Mask ring(64, 64);
    MaskCanvas m(&ring);
    m.RoundRect(b.inset, b.inset, 64 - b.inset, 64 - b.inset, 9 - b.inset, 1.0f);
    const int hole = (int)b.inset + 4;
    for (int y = hole; y < 64 - hole; ++y)  // the face shows through
      for (int x = hole; x < 64 - hole; ++x) ring.a[(size_t)y * 64 + x] = 0;
    Mask glow = Blur(ring, 1);
    if (b.inset > 0)  // the outer badge's tag shows through the inner one
      for (int y = 0; y < 19; ++y)
        for (int x = 0; x < 28; ++x) ring.a[(size_t)y * 64 + x] = glow.a[(size_t)y * 64 + x] = 0;
    PaintMask(&badge, glow, 0, 0, WithAlpha(Lighter(b.colour, 0.5), 0.8));
    Painter p(&badge);
    Mask inner = ring;
    for (float& a : inner.a) a = a > 0.5f ? 1.0f : 0.0f;
    PaintMask(&badge, inner, 0, 0,
              Paint::Linear({0, 0}, {64, 64}, {{0, Lighter(b.colour, 0.35)}, {1, Darker(b.colour, 0.2)}}));
    p.RoundRect(b.inset + 2, b.inset + 1, 62 - b.inset, b.inset + 2, 1, Rgb(255, 255, 255, 0.45));
    const double tx = b.tag_at.x, ty = b.tag_at.y;
    p.RoundRect(tx, ty, tx + 26, ty + 17, 6, Rgb(20, 22, 60));
    p.RoundRect(tx + 1, ty + 1, tx + 25, ty + 16, 5,
                Paint::Linear({0, ty + 1}, {0, ty + 16}, {{0, Lighter(b.colour, 0.3)}, {1, Darker(b.colour, 0.15)}}));
    const LabelLook look{.outline = 1.4, .outline_paint = Darker(b.colour, 0.5)};
    ok &= DrawLabel(&badge, b.tag, {Face::kGothic, 13, 0.6, 0.5}, look, tx + 13, ty + 13.5, Align::kCentre) > 0;
    ok &= WriteColourPng(images + "/" + b.file + ".png", badge, true);
  }
  return ok;
}

// The frame around a well of 192 x 384, drawn 4 pixels up and left of it;
// the character's picture covers the inside at three quarters, so the
// inside is a dark glass that also stands alone where there is no picture.
bool WriteWellFrame(const std::string& images) {
  RgbaImage frame(200, 392);
  Painter p(&frame);
  p.Rect(4, 4, 196, 388, Paint::Linear({0, 4}, {0, 388}, {{0, Rgb(18, 26, 70, 0.78)}, {1, Rgb(10, 14, 40, 0.86)}}));
  for (int c = 1; c < 6; ++c) p.Rect(4 + 32 * c, 4, 5 + 32 * c, 388, Rgb(150, 190, 255, 0.07));
  for (int r = 1; r < 12; ++r) p.Rect(4, 4 + 32 * r, 196, 5 + 32 * r, Rgb(150, 190, 255, 0.05));
  // The rim: dark edge, a bright steel band, a dark inner line.
  auto ring = [&](double inset, double width, const Paint& paint) {
    p.Rect(inset, inset, 200 - inset, inset + width, paint);
    p.Rect(inset, 392 - inset - width, 200 - inset, 392 - inset, paint);
    p.Rect(inset, inset + width, inset + width, 392 - inset - width, paint);
    p.Rect(200 - inset - width, inset + width, 200 - inset, 392 - inset - width, paint);
  };
  ring(0, 1, Rgb(16, 20, 52));
  ring(1, 2,
       Paint::Linear({0, 0}, {200, 392}, {{0, Rgb(236, 244, 255)}, {0.5, Rgb(150, 178, 226)}, {1, Rgb(96, 120, 180)}}));
  ring(3, 1, Rgb(30, 40, 96));
  return WriteColourPng(images + "/line.png", frame, true);
}

// Count-in digits, 64 x 64, stretched down to nothing during each second.
// "4" is asked for on the count-in's first frame, at size 0.
bool WriteDigits(const std::string& images) {
  bool ok = true;
  const Rgba colours[5] = {{}, Rgb(70, 210, 110), Rgb(250, 200, 40), Rgb(240, 80, 90), Rgb(80, 140, 250)};
  for (int d = 1; d <= 4; ++d) {
    RgbaImage digit(64, 64);
    const LabelLook look{
        .fill = Paint::Linear({0, 10}, {0, 54},
                              {{0, Lighter(colours[d], 0.6)}, {0.5, colours[d]}, {1, Darker(colours[d], 0.25)}}),
        .outline = 3,
        .outline_paint = Rgb(255, 255, 255),
        .outline2 = 3,
        .outline2_paint = Rgb(20, 22, 60),
        .shadow = Rgb(0, 0, 30, 0.5),
        .shadow_dx = 2,
        .shadow_dy = 3,
        .shadow_blur = 2,
        .shine = 0.4};
    ok &= DrawLabel(&digit, std::to_string(d), {Face::kPGothic, 58, 3.0, 0}, look, 32, 53, Align::kCentre) > 0;
    ok &= WriteColourPng(images + "/" + std::to_string(d) + ".png", digit, true);
  }
  return ok;
}

// The garbage gauge: icons for 30, 180, 360 and 720 blocks owed, and the
// bar (6 pixels a block, up to 29 blocks) inside its frame.
bool WriteGarbageGauge(const std::string& images) {
  bool ok = true;
  // Ever larger and hotter: one stone, a bigger one, one glowing orange,
  // one in a red burst.
  for (int i = 0; i < 4; ++i) {
    RgbaImage icon(32, 32);
    Painter p(&icon);
    const double size = i == 0 ? 16 : i == 3 ? 20 : 24;
    if (i == 2) {
      Mask halo(32, 32);
      MaskCanvas(&halo).RoundRect(16 - size / 2 - 3, 16 - size / 2 - 3, 16 + size / 2 + 3, 16 + size / 2 + 3, 5, 1.0f);
      PaintMask(&icon, Blur(halo, 2), 0, 0, Rgb(255, 140, 20, 0.95));
      p.RoundRect(16 - size / 2 - 2, 16 - size / 2 - 2, 16 + size / 2 + 2, 16 + size / 2 + 2, 4, Rgb(255, 210, 80));
    }
    if (i == 3) {
      std::vector<Point> burst;
      for (int k = 0; k < 24; ++k) {
        const double a = M_PI * k / 12 + 0.13, r = k % 2 ? 11.0 : 15.8;
        burst.push_back({16 + r * std::cos(a), 16 + r * std::sin(a)});
      }
      p.OutlinedPolygon(
          burst, 0.8,
          Paint::Radial({16, 16}, 16, {{0, Rgb(255, 250, 150)}, {0.55, Rgb(255, 120, 40)}, {1, Rgb(230, 30, 60)}}),
          Rgb(100, 0, 20));
    }
    p.RoundRect(16 - size / 2, 16 - size / 2 + 1.5, 16 + size / 2 + 1.5, 16 + size / 2 + 1.5, 2, Rgb(10, 10, 30, 0.45));
    DrawBlock(&icon, 16 - size / 2, 16 - size / 2, size, kGarbage);
    ok &= WriteColourPng(images + "/yokoku" + std::to_string(i) + ".png", icon, true);
  }
  RgbaImage frame(178, 12);
  Painter f(&frame);
  f.RoundRect(0, 0, 178, 12, 3, Rgb(230, 236, 250));
  f.RoundRect(1, 1, 177, 11, 2.5, Rgb(20, 24, 60));
  f.Rect(2, 2, 176, 10, Rgb(30, 36, 80, 0.85));
  ok &= WriteColourPng(images + "/" + Utf8(u8"ばーふれーむ") + ".png", frame, true);
  RgbaImage bar(174, 8);
  Painter b(&bar);
  b.Rect(0, 0, 174, 8,
         Paint::Linear({0, 0}, {174, 0}, {{0, Rgb(250, 230, 70)}, {0.5, Rgb(252, 150, 30)}, {1, Rgb(236, 40, 50)}}));
  b.Rect(0, 0, 174, 3, Rgb(255, 255, 255, 0.4));
  b.Rect(0, 7, 174, 8, Rgb(0, 0, 0, 0.25));
  for (int k = 6; k < 174; k += 6) b.Rect(k - 0.5, 0, k, 8, Rgb(80, 20, 0, 0.25));
  ok &= WriteColourPng(images + "/" + Utf8(u8"ばー") + ".png", bar, true);
  return ok;
}

// Drawn centred on the screen at (224, 200) while a game is paused.
bool WritePauseSign(const std::string& images) {
  RgbaImage sign(192, 80);
  Mask shape(192, 80);
  MaskCanvas(&shape).RoundRect(4, 4, 188, 76, 14, 1.0f);
  PaintMask(&sign, Blur(shape, 2), 1, 2, Rgb(0, 0, 20, 0.5));
  DrawPanel(&sign, 4, 4, 186, 74, 14, Rgb(26, 34, 90, 0.92), Rgb(200, 220, 255));
  const LabelLook look{.fill = Paint::Linear({0, 16}, {0, 48}, {{0, Rgb(255, 255, 255)}, {1, Rgb(150, 210, 255)}}),
                       .outline = 2,
                       .outline_paint = Rgb(14, 18, 56),
                       .shine = 0.3};
  bool ok = DrawLabel(&sign, "PAUSE", {Face::kPGothic, 34, 1.2, 3}, look, 95, 46, Align::kCentre) > 0;
  const LabelLook small{.fill = Rgb(220, 230, 255), .outline = 1.2, .outline_paint = Rgb(14, 18, 56)};
  ok &= DrawLabel(&sign, Utf8(u8"ポーズ中"), {Face::kPGothic, 14, 0.2, 2}, small, 95, 66, Align::kCentre) > 0;
  return ok && WriteColourPng(images + "/pause.png", sign, true);
}

// The net battle's address and port panel, drawn at (160, 120) at half
// opacity behind its texts; the cursor marks the digit being edited.
bool WriteNetPanel(const std::string& images) {
  RgbaImage panel(320, 176);
  DrawPanel(&panel, 0, 0, 320, 176, 12, Rgb(16, 24, 70), Rgb(170, 200, 255));
  Painter p(&panel);
  p.RoundRect(10, 10, 310, 18, 4, Rgb(255, 255, 255, 0.12));
  // Boxes behind the address (15 characters) and the port (5).
  for (const auto& box : {std::pair{Point{34, 44}, Point{274, 76}}, std::pair{Point{34, 116}, Point{122, 148}}}) {
    p.RoundRect(box.first.x, box.first.y, box.second.x, box.second.y, 5, Rgb(120, 160, 230, 0.9));
    p.RoundRect(box.first.x + 1.5, box.first.y + 1.5, box.second.x - 1.5, box.second.y - 1.5, 4, Rgb(4, 8, 30));
  }
  bool ok = WriteColourPng(images + "/snetbg.png", panel, true);
  RgbaImage cursor(15, 5);
  Painter c(&cursor);
  c.Rect(0, 0, 15, 5, Rgb(150, 90, 10));
  c.Rect(1, 0, 14, 4, Paint::Linear({0, 0}, {0, 4}, {{0, Rgb(255, 250, 170)}, {1, Rgb(250, 180, 30)}}));
  return ok && WriteColourPng(images + "/snetcursor.png", cursor, false);
}

}  // namespace

const AssetTask kInterfaceTasks[] = {
    {"blocks", [](const std::string& run) { return WriteBlocks(run + "/images"); }},
    {"title menu", [](const std::string& run) { return WriteMenuEntries(run + "/images"); }},
    {"cursor", [](const std::string& run) { return WriteCursor(run + "/images"); }},
    {"badges", [](const std::string& run) { return WriteBadges(run + "/images"); }},
    {"well frame", [](const std::string& run) { return WriteWellFrame(run + "/images"); }},
    {"digits", [](const std::string& run) { return WriteDigits(run + "/images"); }},
    {"garbage gauge", [](const std::string& run) { return WriteGarbageGauge(run + "/images"); }},
    {"pause sign", [](const std::string& run) { return WritePauseSign(run + "/images"); }},
    {"net panel", [](const std::string& run) { return WriteNetPanel(run + "/images"); }},
};
const size_t kInterfaceTaskCount = sizeof kInterfaceTasks / sizeof kInterfaceTasks[0];
