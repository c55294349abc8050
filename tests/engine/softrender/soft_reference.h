// A plain reference model of the software blits: one destination pixel at a
// time, every rule spelt out channel by channel from the blend tables as the
// renderer documents them, with no tables of loops and no shortcuts. The
// differential test compares every generated kernel with it.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "engine/core/util.h"
#include "engine/softrender/blend.h"
#include "engine/softrender/memimg.h"

namespace softref {

enum Frame { kBlitPixel, kBlitRun, kStretch, kRotate };
enum Src { kPalette = 0, kDirect = 1, kDirectAlpha = 2 };

struct Draw {
  Frame frame;
  int fmt;
  Src src;
  int mode;  // after the parameter pre-tests (mode 1 at 255 is 0)
  int p;
  uint32_t bright;
  bool graph;
  bool trans;
  uint32_t key;
};

inline bool White(const Draw& r) { return (r.bright & 0xFFFFFF) == 0xFFFFFF; }
inline int Bits(int fmt, int i) { return fmt == 1 ? 8 : i == 1 ? 6 : 5; }
inline int Shift(int fmt, int i) { return fmt == 1 ? 8 * i : i == 0 ? 0 : i == 1 ? 5 : 11; }
inline uint32_t Max(int fmt, int i) { return (1u << Bits(fmt, i)) - 1; }
inline uint32_t Chan(int fmt, uint32_t v, int i) { return (v >> Shift(fmt, i)) & Max(fmt, i); }
inline uint32_t S(uint32_t x, uint32_t y) { return x * y / 255; }  // ScaleTable entry
inline uint32_t Bright(const Draw& r, int i) { return (r.bright >> (8 * i)) & 0xFF; }
inline uint32_t Tint(const Draw& r, uint32_t c, int i) { return White(r) ? c : S(Bright(r, i), c); }
// floor((d * 2^k + (v - d) * n) / 2^k); the numerator is never negative.
inline uint32_t Move(int64_t d, int64_t v, int64_t n, int k) {
  int64_t num = d * ((int64_t)1 << k) + (v - d) * n;
  return (uint32_t)(num / ((int64_t)1 << k));
}

// Whether a source pixel is skipped, and whether its alpha weighs it.
inline bool Classify(const Draw& r, uint32_t raw, uint32_t alpha, bool* use_a) {
  *use_a = false;
  if (r.src == kDirectAlpha) {
    bool blit = r.frame == kBlitPixel || r.frame == kBlitRun;
    if (blit && r.mode == 0 && White(r) && !r.trans && !r.graph) return true;  // the blit copies the colour
    if (!r.trans) {
      *use_a = true;
      return true;
    }
    if (alpha == 0) return false;
    *use_a = alpha != 255;
    return true;
  }
  if (!r.trans) return true;
  uint32_t key = r.key;
  if (r.frame == kStretch && r.mode == 0 && !r.graph && White(r) && r.src == kDirect && r.fmt == 0) key &= 0xFFFF;
  return raw != key;
}

// New destination pixel for colour s (16-bit colour or whole 32-bit word),
// alpha a and blend-image weight w.
inline uint32_t Pixel(const Draw& r, uint32_t s, uint32_t a, bool use_a, uint32_t w, uint32_t d) {
  const int fmt = r.fmt;
  const bool blit = r.frame == kBlitPixel || r.frame == kBlitRun;
  const bool fast = r.frame == kBlitPixel && White(r) && !r.graph && r.src != kDirectAlpha;
  int n = 0;
  int64_t prod = 1;
  if (r.graph) n++, prod *= w;
  if (use_a) n++, prod *= a;
  uint32_t c[3];
  const uint32_t keep = fmt == 1 ? (d & 0xFF000000) : 0;
  auto join = [&](const uint32_t* ch) {
    uint32_t v = 0;
    for (int i = 0; i < 3; i++) v |= ch[i] << Shift(fmt, i);
    return v;
  };
  // The move of modes 1, 10 and 11 toward v, p always a weight.
  auto move_p = [&](uint32_t dc, uint32_t v) -> uint32_t {
    if (n == 0) {
      if (fmt == 0) return (uint32_t)((int)dc + r.p * ((int)v - (int)dc) / 255);  // truncates toward zero
      return Move(dc, v, r.p, 8);
    }
    return Move(dc, v, prod * r.p, 8 * (n + 1));
  };
  switch (r.mode) {
    case 0:
      if (n == 0 && White(r)) return s;
      for (int i = 0; i < 3; i++) {
        uint32_t t = Tint(r, Chan(fmt, s, i), i);
        c[i] = n == 0 ? t : Move(Chan(fmt, d, i), t, prod, 8 * n);
      }
      return join(c) | keep;
    case 1:
      if (fast && r.p == 128) {
        if (fmt == 0) return ((s >> 1) & 0x7BEF) + ((d >> 1) & 0x7BEF);
        return ((s >> 1) & 0x7F7F7F) + ((d >> 1) & 0x7F7F7F);
      }
      for (int i = 0; i < 3; i++) {
        uint32_t t = Tint(r, Chan(fmt, s, i), i), dc = Chan(fmt, d, i);
        if (fast && fmt == 0) {
          int q = r.p >> 2;
          c[i] = (q * t + (63 - q) * dc) / 63;
        } else {
          c[i] = move_p(dc, t);
        }
      }
      return join(c) | keep;
    case 10:
      for (int i = 0; i < 3; i++) c[i] = move_p(Chan(fmt, d, i), Tint(r, Max(fmt, i) - Chan(fmt, s, i), i));
      return join(c) | keep;
    case 11:
      for (int i = 0; i < 3; i++) {
        uint32_t dc = Chan(fmt, d, i), sc = Chan(fmt, s, i);
        if (!blit && fmt == 0 && r.src == kDirectAlpha && use_a && !r.graph && White(r) && i == 1) {
          int64_t m = (int64_t)sc * dc / 2;
          int64_t num = ((int64_t)dc << 21) + (m - 32 * (int64_t)dc) * a * r.p;
          c[i] = (uint32_t)(num >> 21);
          continue;
        }
        c[i] = move_p(dc, (Tint(r, sc, i) * dc) >> Bits(fmt, i));
      }
      return join(c) | keep;
    case 2:
    case 3: {
      bool add = r.mode == 2;
      if (fast && r.p == 255) {
        if (fmt == 0) return add ? SaturatingAdd16Fast(s, d) : SaturatingSubtract16(d, s);
        return add ? SaturatingAddBytes32(s, d) : SaturatingSubtractBytes32(d, s);
      }
      if (r.frame == kStretch && !add && r.p == 255 && !r.graph && White(r) && r.src != kDirectAlpha)
        return fmt == 0 ? SaturatingSubtract16(d, s) : SaturatingSubtractBytes32(d, s);
      for (int i = 0; i < 3; i++) {
        uint32_t sc = Chan(fmt, s, i);
        if (fmt == 0) {
          if (!blit && use_a && !r.graph && !White(r))
            c[i] = S(r.p, S(Bright(r, i), sc * a / 256));  // alpha first, then the tint
          else
            c[i] = S(r.p, (uint32_t)(Tint(r, sc, i) * prod >> (8 * n)));
        } else {
          uint32_t t = Tint(r, sc, i);
          c[i] = n == 0 ? S(r.p, t) : (uint32_t)((uint64_t)t * prod * r.p >> (8 * (n + 1)));
        }
      }
      uint32_t x = join(c);
      if (fmt == 0) return add ? SaturatingAdd16(x, d) : SaturatingSubtract16(d, x);
      return add ? SaturatingAdd32(x, d) : SaturatingSubtract32(d, x);
    }
    case 4:
      for (int i = 0; i < 3; i++) {
        uint64_t v = (uint64_t)Tint(r, Chan(fmt, s, i), i) * prod * Chan(fmt, d, i);
        c[i] = (uint32_t)(v >> (Bits(fmt, i) + 8 * n));
      }
      return join(c) | keep;
  }
  return d;
}

// Reads a source pixel: raw value, colour, alpha.
inline void Fetch(const Draw& r, const MEMIMG* src, int x, int y, uint32_t* raw, uint32_t* color, uint32_t* alpha) {
  const PIXELSTORE* st = src->store;
  const uint8_t* row = src->pixels + (size_t)y * st->pitch;
  *alpha = 0;
  if (r.src == kPalette) {
    *raw = row[x];
    *color = r.fmt == 0 ? LoadPixel16(st->palette + 2 * *raw) : LoadPixel32(st->palette + 4 * *raw);
  } else if (r.src == kDirect) {
    *raw = *color = r.fmt == 0 ? LoadPixel16(row + 2 * x) : LoadPixel32(row + 4 * x);
  } else {
    *raw = LoadPixel32(row + 4 * x);
    *color = r.fmt == 0 ? *raw & 0xFFFF : *raw;
    *alpha = r.fmt == 0 ? (*raw >> 16) & 0xFF : *raw >> 24;
  }
}

inline uint32_t LoadDst(const MEMIMG* dst, int fmt, int x, int y) {
  const uint8_t* p = dst->pixels + (size_t)y * dst->store->pitch + (size_t)x * (fmt == 0 ? 2 : 4);
  return fmt == 0 ? LoadPixel16(p) : LoadPixel32(p);
}
inline void StoreDst(MEMIMG* dst, int fmt, int x, int y, uint32_t v) {
  uint8_t* p = dst->pixels + (size_t)y * dst->store->pitch + (size_t)x * (fmt == 0 ? 2 : 4);
  if (fmt == 0)
    StorePixel16(p, v);
  else
    StorePixel32(p, v);
}

// One destination pixel from source pixel (sx, sy).
inline void DrawOne(const Draw& r, MEMIMG* dst, const MEMIMG* src, const MEMIMG* graph, int dx, int dy, int sx,
                    int sy) {
  uint32_t raw, color, alpha;
  Fetch(r, src, sx, sy, &raw, &color, &alpha);
  bool use_a;
  if (!Classify(r, raw, alpha, &use_a)) return;
  uint32_t w = graph ? BlendGraphRamp[graph->pixels[(size_t)sy * graph->store->pitch + sx]] : 0;
  StoreDst(dst, r.fmt, dx, dy, Pixel(r, color, alpha, use_a, w, LoadDst(dst, r.fmt, dx, dy)));
}

inline void Clip(int32_t* rc, const int32_t* area) {
  for (int i = 0; i < 2; i++) {
    rc[i] = std::max(rc[i], area[i]);
    rc[i + 2] = std::min(rc[i + 2], area[i + 2]);
    if (rc[i + 2] < rc[i]) rc[i + 2] = rc[i];
  }
}

// The blit at (x, y); with the 16-bit unscaled add or subtract two drawn
// neighbours form one word, counted from the first column drawn.
inline void Blit(const Draw& r, MEMIMG* dst, const MEMIMG* src, const MEMIMG* graph, int x, int y) {
  int32_t rc[4] = {x, y, x + src->width, y + src->height};
  Clip(rc, g_soft_draw.draw_area);
  bool pairs = r.frame == kBlitPixel && r.fmt == 0 && (r.mode == 2 || r.mode == 3) && r.p == 255 && White(r) &&
               !r.graph && r.src != kDirectAlpha;
  for (int dy = rc[1]; dy < rc[3]; dy++) {
    for (int dx = rc[0]; dx < rc[2]; dx++) {
      if (pairs && dx + 1 < rc[2]) {
        uint32_t raw0, c0, a0, raw1, c1, a1;
        bool u;
        Fetch(r, src, dx - x, dy - y, &raw0, &c0, &a0);
        Fetch(r, src, dx + 1 - x, dy - y, &raw1, &c1, &a1);
        if (Classify(r, raw0, a0, &u) && Classify(r, raw1, a1, &u)) {
          uint32_t dw = LoadDst(dst, 0, dx, dy) | (LoadDst(dst, 0, dx + 1, dy) << 16);
          uint32_t sw = c0 | (c1 << 16);
          uint64_t res;
          if (r.mode == 2) {
            uint64_t sum = (uint64_t)(sw & 0xF7DEF7DF) + (dw & 0xF7DEF7DF);
            uint32_t cm = (uint32_t)sum & 0x08210820;
            res = (uint32_t)sum | (uint32_t)(cm - ((cm >> 5) | ((uint32_t)(sum >> 32) << 27)));
          } else {
            uint32_t a = dw | 0x08210820, b = sw & 0xF7DEF7DF, diff = a - b, m = diff & 0x08210820;
            res = diff & ((m - (m >> 5)) | (a >= b ? 0xF8000000u : 0));
          }
          StoreDst(dst, 0, dx, dy, (uint32_t)res & 0xFFFF);
          StoreDst(dst, 0, dx + 1, dy, (uint32_t)(res >> 16) & 0xFFFF);
          dx++;
          continue;
        }
        DrawOne(r, dst, src, graph, dx, dy, dx - x, dy - y);
        DrawOne(r, dst, src, graph, dx + 1, dy, dx + 1 - x, dy - y);
        dx++;
        continue;
      }
      DrawOne(r, dst, src, graph, dx, dy, dx - x, dy - y);
    }
  }
}

// The stretched blit: target column i from the unclipped left edge shows
// source column floor(i * 65536 / step), from the right edge when mirrored.
inline void Stretch(const Draw& r, MEMIMG* dst, const MEMIMG* src, const MEMIMG* graph, const int32_t* rect) {
  int64_t left = std::min(rect[0], rect[2]), right = std::max(rect[0], rect[2]);
  int64_t top = std::min(rect[1], rect[3]), bottom = std::max(rect[1], rect[3]);
  int64_t cstep = (right - left) * 65536 / src->width, rstep = (bottom - top) * 65536 / src->height;
  int32_t rc[4] = {(int32_t)left, (int32_t)top, (int32_t)right, (int32_t)bottom};
  Clip(rc, g_soft_draw.draw_area);
  for (int dy = rc[1]; dy < rc[3]; dy++) {
    int sy = (int)((dy - top) * 65536 / rstep);
    if (rect[3] < rect[1]) sy = src->height - 1 - sy;
    for (int dx = rc[0]; dx < rc[2]; dx++) {
      int sx = (int)((dx - left) * 65536 / cstep);
      if (rect[2] < rect[0]) sx = src->width - 1 - sx;
      DrawOne(r, dst, src, graph, dx, dy, sx, sy);
    }
  }
}

// The rotated blit's scanline route, its set-up written out step by step.
inline void Rotate(const Draw& r, MEMIMG* dst, const MEMIMG* src, const MEMIMG* graph, int cx, int cy, float angle,
                   float scale) {
  const int64_t W = src->width, H = src->height, one = 262144;
  float sf, cf;
  SinCosFloat(-angle, &sf, &cf);
  int64_t sn = (int64_t)(sf * 262144.0f), cn = (int64_t)(cf * 262144.0f);
  SinCosFloat(angle, &sf, &cf);
  int64_t sa = (int64_t)(sf * 262144.0f), ca = (int64_t)(cf * 262144.0f);
  float hw = (float)W * scale * 0.5f, hh = (float)H * scale * 0.5f;
  float a = (float)ca * hw, b = (float)sa * hw, c = (float)ca * hh, d = (float)sa * hh;
  int64_t xs[4] = {(int64_t)(d - a), (int64_t)(-(a + d)), (int64_t)(a - d), (int64_t)(a + d)};
  int64_t ys[4] = {(int64_t)(-(b + c)), (int64_t)(c - b), (int64_t)(b + c), (int64_t)(b - c)};
  if (ys[0] == ys[1] && ys[1] == ys[2] && ys[2] == ys[3]) return;
  int64_t lo_x = INT64_MAX, hi_x = INT64_MIN, lo_y = INT64_MAX, hi_y = INT64_MIN;
  for (int i = 0; i < 4; i++) {
    lo_x = std::min(lo_x, (xs[i] + cx * one) / one);
    hi_x = std::max(hi_x, (xs[i] + cx * one) / one);
    lo_y = std::min(lo_y, (ys[i] + cy * one) / one);
    hi_y = std::max(hi_y, (ys[i] + cy * one) / one);
  }
  int32_t rc[4] = {(int32_t)lo_x - 2, (int32_t)lo_y - 2, (int32_t)hi_x + 4, (int32_t)hi_y + 4};
  Clip(rc, g_soft_draw.draw_area);
  if (rc[2] <= rc[0] || rc[3] <= rc[1]) return;
  auto uv = [&](int64_t x, int64_t y, int64_t* u, int64_t* v) {
    *u = (int64_t)((float)(cn * (x - cx) - sn * (y - cy)) / scale) + (W / 2) * one;
    *v = (int64_t)((float)(sn * (x - cx) + cn * (y - cy)) / scale) + (H / 2) * one;
  };
  int64_t u0, v0, u1, v1;
  uv(rc[0], rc[1], &u0, &v0);
  uv(rc[0], rc[3], &u1, &v1);
  int64_t rows = rc[3] - rc[1];
  int64_t rdu = (u1 - u0) / rows, rdv = (v1 - v0) / rows;
  int64_t cdu = (int64_t)((float)ca / scale), cdv = (int64_t)((float)sn / scale);
  for (int y = rc[1]; y < rc[3]; y++) {
    for (int x = rc[0]; x < rc[2]; x++) {
      int64_t u = u0 + (y - rc[1]) * rdu + (x - rc[0]) * cdu;
      int64_t v = v0 + (y - rc[1]) * rdv + (x - rc[0]) * cdv;
      if (u < 0 || v < 0 || u >= W * one || v >= H * one) continue;
      DrawOne(r, dst, src, graph, x, y, (int)(u / one), (int)(v / one));
    }
  }
}

}  // namespace softref
