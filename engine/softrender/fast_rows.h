// Fast paths of the software renderer: vector versions of the per-pixel
// kernels for whole rows, kept in tables over the generic kernel table (the
// same index, SoftLoopIndex) and chosen once per draw. A fast row gives the
// same bytes as the generic kernel for every pixel it draws; where no fast
// row exists, or the generic level is in force, the generic loops draw.
//
// Levels: SSE2 (always there on x86-64) and AVX2 (where the environment
// check found it). VOX_SOFT_GENERIC set to anything but "0" in the
// environment, or the build option of the same name, keeps every draw on the
// generic kernels.
#pragma once

#include <cstdint>

#include "engine/softrender/kernel.h"

enum class SoftSimd : int { Generic = 0, Sse2 = 1, Avx2 = 2 };

// The level draws use now: the machine's (from the environment check),
// lowered by the switch above and by SetSoftSimdLimit.
SoftSimd SoftSimdLevel();
// Caps the level (tests compare the levels with each other); Avx2 lifts the cap.
void SetSoftSimdLimit(SoftSimd limit);

// How a fast row classifies its source pixels: as the kernel's Classify does
// (the colour key, or alpha 0 skipped and 255 drawn plain), or every pixel as
// one class (the runs of a transparency run table).
enum FastRowRule : int { FAST_ROW_CLASSIFY = 0, FAST_ROW_ALL_PLAIN = 1, FAST_ROW_ALL_WEIGHTED = 2 };

// Draws the leading pixels of a row of n source pixels (contiguous, in the
// source store's layout) onto n destination pixels, with the blend-image
// bytes beside them when the kernel has one, and returns how many it drew: a
// whole number of its vectors. The caller draws the rest with the generic
// kernel.
using FastRowFn = int (*)(const KernelParams& k, FastRowRule rule, uint8_t* dst, const uint8_t* src,
                          const uint8_t* graph, int n);

// The fast row of the kernel at table index SoftLoopIndex(...) for the level
// in force, or null.
FastRowFn FindFastRow(int index);

// Gathers the 4- or 2-byte source pixels along a line: pixel i is the one at column
// (u + i * du) >> 18 and row (v + i * dv) >> 18 (positions modulo 2^32, 14.18
// fixed point), each inside the source. Copies the leading pixels to out and
// returns how many (a whole number of vectors); the caller gathers the rest.
using GatherFn = int (*)(const uint8_t* src, int32_t pitch, uint32_t u, uint32_t v, uint32_t du, uint32_t dv, int n,
                         uint8_t* out);
// The gather of pixels of `bytes` (2 or 4) for the level in force, or null
// where a plain loop serves.
GatherFn FindGather(int bytes);
GatherFn GatherAvx2(int bytes);

// The tables of each level (null entries where only the generic kernel draws).
FastRowFn FastRowSse2(int index);
FastRowFn FastRowAvx2(int index);
