// Small single-colour writers of the software renderer: pixel, pixel list,
// filled box, line and line list. Each reads the draw area, blend mode,
// blend parameter and draw bright at the start of the call, clips to the
// draw area and draws nothing on a palettised destination or one with an
// alpha channel.
#pragma once

#include <cstdint>

struct MEMIMG;

// One record of a pixel list: 16 bytes, the fourth word is not read.
struct PointRecord {
  int32_t x;
  int32_t y;
  uint32_t colour;
  int32_t reserved;
};

// One record of a line list: 24 bytes; param is not read (every record is
// drawn with the current blend parameter).
struct LineRecord {
  int32_t x1;
  int32_t y1;
  int32_t x2;
  int32_t y2;
  uint32_t colour;
  uint32_t param;
};

// Colours are pixel values of the destination's format (R5G6B5 in the low 16
// bits, or the whole 32-bit pixel).
void PlotPixelToMEMIMG(MEMIMG* dest, int32_t x, int32_t y, uint32_t colour);
// Stores each record's colour raw (no blend mode, no bright); count <= 0
// draws nothing.
void PlotPixelListToMEMIMG(MEMIMG* dest, const PointRecord* points, int32_t count);
// rect: x1, y1, x2, y2 (right and bottom exclusive, corners in any order), or
// null for the whole image. The caller's rectangle is not changed.
void PaintBoxToMEMIMG(MEMIMG* dest, const int32_t* rect, uint32_t colour);
// From (x1, y1) toward (x2, y2): the first point is drawn, the second not.
void StrokeLineToMEMIMG(MEMIMG* dest, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour);
void StrokeLineListToMEMIMG(MEMIMG* dest, const LineRecord* lines, int32_t count);
