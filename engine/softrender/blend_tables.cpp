// The renderer's global blend tables and draw state, and the rectangle
// clipper every drawer uses against the draw area.
#include "engine/softrender/blend.h"

uint32_t ScaleTable[256][256];
int32_t ScaledDiffTable[256][512];
uint8_t Mix64Table[64][64][64];
uint8_t BlendGraphRamp[256];

SoftDrawState g_soft_draw = {{0, 0, 0, 0}, SOFT_BLEND_COPY, 255, SOFT_BRIGHT_WHITE, nullptr, nullptr};

int BuildSoftBlendTables() {
  for (int a = 0; a < 256; a++) {
    for (int d = -255; d <= 255; d++) ScaledDiffTable[a][255 + d] = a * d / 255;  // C++ truncates toward zero
    for (int b = 0; b < 256; b++) ScaleTable[b][a] = (uint32_t)(a * b / 255);
  }
  for (int i = 0; i < 64; i++)
    for (int j = 0; j < 64; j++)
      for (int k = 0; k < 64; k++) Mix64Table[i][j][k] = (uint8_t)((i * j + (63 - i) * k) / 63);
  return 0;
}

void BuildBlendGraphRamp(int border_param, int border_range) {
  int step = 65536 / (border_range + 1);
  int base = 256 - ((step + 256) * border_param) / 256;
  for (int v = 0; v < 256; v++) {
    int w = v * 256 / (border_range + 1) + base;
    BlendGraphRamp[v] = (uint8_t)(w < 0 ? 0 : w > 255 ? 255 : w);
  }
}
