// The game's look, shared by all its pictures: the block colours and their
// emblems, the glossy block, the voxel cube, panels and the logo.
#pragma once

#include <string>

#include "tools/assetgen/canvas.h"
#include "tools/assetgen/picture.h"
#include "tools/assetgen/text.h"

constexpr int kBlockKinds = 7;  // colours 0-5, then the garbage block
constexpr int kGarbage = 6;
extern const Rgba kBlockColour[kBlockKinds];

// Interface colours.
extern const Rgba kInk;    // deep blue of captions
extern const Rgba kPaper;  // the pale edge around captions
extern const Rgba kNight;  // dark panels

// One block of colour `kind` (0-6), `size` pixels square, top-left at (x, y):
// a full square (blocks are drawn without transparency), glossy, with its
// colour's emblem; the garbage block is rough grey stone.
void DrawBlock(RgbaImage* image, double x, double y, double size, int kind);
// An isometric cube whose top face's centre is at (cx, cy); `size` is the
// length of an edge on screen.
void DrawCube(RgbaImage* image, double cx, double cy, double size, Rgba colour, double opacity = 1.0);
// A rounded panel with a light rim.
void DrawPanel(RgbaImage* image, double x0, double y0, double x1, double y1, double radius, Rgba fill, Rgba rim);
// The game's name as a logo, its baseline centred at (cx, baseline); `size`
// is the letter size in pixels.
bool DrawLogo(RgbaImage* image, double cx, double baseline, double size);
// Light film grain (+-amount of full scale): keeps wide gradients from
// showing steps on a 16-bit screen.
void AddGrain(RgbaImage* image, double amount, uint64_t seed);
