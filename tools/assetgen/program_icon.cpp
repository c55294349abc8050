// The program's icon: three of the game's glossy blocks set in an L, rounded
// off and lifted from the desktop by a soft shadow, on a clear ground. The
// program embeds it as its icon resource; it is not part of the run folder.
#include "tools/assetgen/game_assets.h"
#include "tools/assetgen/look.h"
#include "tools/assetgen/png_writer.h"

bool WriteProgramIcon(const std::string& path) {
  constexpr int kSide = 64, kBlock = 29, kShadowBlur = 2;
  constexpr double kRound = 6;
  struct Placed {
    int x, y, kind;
  };
  // Red and blue on the ground, the yellow star on the blue; the corner
  // above the red stays clear so the icon keeps its shape on any desktop.
  const Placed kBlocks[] = {{3, 32, 0}, {32, 32, 1}, {32, 3, 3}};
  Mask round(kBlock, kBlock);
  MaskCanvas(&round).RoundRect(0, 0, kBlock, kBlock, kRound, 1.0f);
  Mask shape(kSide, kSide);
  MaskCanvas outline(&shape);
  for (const Placed& b : kBlocks) outline.RoundRect(b.x, b.y, b.x + kBlock, b.y + kBlock, kRound, 1.0f);
  RgbaImage icon(kSide, kSide);
  const int margin = 3 * kShadowBlur;
  PaintMask(&icon, Blur(Pad(shape, margin), kShadowBlur), 1 - margin, 2 - margin, Rgb(0, 0, 20, 0.5));
  for (const Placed& b : kBlocks) {
    RgbaImage block(kBlock, kBlock);
    DrawBlock(&block, 0, 0, kBlock, b.kind);
    ClipTo(&block, round, 0, 0);
    Composite(&icon, block, b.x, b.y);
  }
  return WriteColourPng(path, icon, true);
}
