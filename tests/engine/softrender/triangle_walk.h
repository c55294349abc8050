// The software rasterizer's triangle set-up and row walk as a plain model:
// the triangle tests hold the rasterizer to it, and the comparison of the two
// drawing paths predicts the software renderer's triangles with it.
#pragma once

#include <cstdint>
#include <utility>

#include "engine/softrender/triangle.h"

// The set-up and row walk written out step by step, one plain statement per
// rule, in 32-bit 14.18 numbers with truncation toward zero (the same as flooring for
// the non-negative coordinates used here). Calls visit(x, y, u, v) for each
// pixel of each clipped span with its 14.18 texture position.
template <class Visit>
void StepByStepWalk(const TriangleVertex* in, const int32_t* area, Visit visit) {
  auto tr = [](int32_t a) { return a < 0 ? (a + 0x3FFFF) >> 18 : a >> 18; };
  int32_t X[3], Y[3], U[3], V[3];
  for (int i = 0; i < 3; i++) {
    X[i] = in[i].x * 262144 + 131072;
    Y[i] = in[i].y * 262144 + 131072;
    U[i] = in[i].u * 262144;
    V[i] = in[i].v * 262144;
  }
  int lx[3] = {0, 1, 2}, ly[3] = {0, 1, 2};
  for (int i = 0; i <= 1; i++)
    for (int j = i + 1; j <= 2; j++) {
      if (X[lx[i]] > X[lx[j]]) std::swap(lx[i], lx[j]);
      if (Y[ly[i]] > Y[ly[j]]) std::swap(ly[i], ly[j]);
    }
  int L0 = lx[0], L1 = lx[1], L2 = lx[2];
  int32_t xd1 = tr(X[L1] - X[L0]), yd1 = tr(Y[L1] - Y[L0]), ud1 = tr(U[L1] - U[L0]), vd1 = tr(V[L1] - V[L0]);
  int32_t xd2 = tr(X[L2] - X[L0]), yd2 = tr(Y[L2] - Y[L0]), ud2 = tr(U[L2] - U[L0]), vd2 = tr(V[L2] - V[L0]);
  int32_t D = xd2 * yd1 - xd1 * yd2;
  if (D == 0) return;
  int32_t su = (int32_t)((ud2 * yd1 - ud1 * yd2) * 262144.0 / D);
  int32_t tu = (int32_t)((ud1 * xd2 - ud2 * xd1) * 262144.0 / D);
  int32_t sv = (int32_t)((vd2 * yd1 - vd1 * yd2) * 262144.0 / D);
  int32_t tv = (int32_t)((vd1 * xd2 - vd2 * xd1) * 262144.0 / D);
  int32_t col_ref = tr(X[L0]), row_ref = tr(Y[L0]);

  struct Part {
    int32_t x, y, step, rows;
  };
  auto part = [&](int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    int32_t rows = tr(y1 - y0);
    return Part{x0, y0, rows ? (x1 - x0) / rows : 0, rows};
  };
  int T = ly[0], M = ly[1], B = ly[2];
  Part left[2]{}, right[2]{};
  int lcur = 1, rcur = 1;
  if (Y[T] == Y[M]) {
    if (X[T] > X[M]) {
      left[1] = part(X[M], Y[M], X[B], Y[B]);
      right[1] = part(X[T], Y[T], X[B], Y[B]);
    } else {
      left[1] = part(X[T], Y[T], X[B], Y[B]);
      right[1] = part(X[M], Y[M], X[B], Y[B]);
    }
  } else if (Y[B] == Y[M]) {
    if (X[M] > X[B]) {
      left[1] = part(X[T], Y[T], X[B], Y[B]);
      right[1] = part(X[T], Y[T], X[M], Y[M]);
    } else {
      left[1] = part(X[T], Y[T], X[M], Y[M]);
      right[1] = part(X[T], Y[T], X[B], Y[B]);
    }
  } else {
    double sm = (X[M] - X[T]) / ((Y[M] - Y[T]) / 262144.0);
    double sb = (X[B] - X[T]) / ((Y[B] - Y[T]) / 262144.0);
    if (sm >= sb) {
      left[1] = part(X[T], Y[T], X[B], Y[B]);
      right[0] = part(X[T], Y[T], X[M], Y[M]);
      right[1] = part(X[M] + 1, Y[M], X[B], Y[B]);
      rcur = 0;
    } else {
      left[0] = part(X[T], Y[T], X[M], Y[M]);
      left[1] = part(X[M], Y[M], X[B], Y[B]);
      right[1] = part(X[T], Y[T], X[B], Y[B]);
      lcur = 0;
    }
  }
  int32_t lxp = left[lcur].x, ls = left[lcur].step, lc = left[lcur].rows;
  int32_t rxp = right[rcur].x, rs = right[rcur].step, rc = right[rcur].rows;
  if (lc == 0 || rc == 0) return;
  int32_t y = tr(left[lcur].y);
  for (;;) {
    int32_t xl = tr(lxp), xr = tr(rxp);
    int32_t count = xr - xl + 1;
    if (xl < area[0]) {
      count -= area[0] - xl;
      xl = area[0];
    }
    if (!(y < area[1] || y >= area[3] || xl >= area[2] || count <= 0)) {
      uint32_t u = (uint32_t)U[L0] + (uint32_t)(xl - col_ref) * (uint32_t)su + (uint32_t)(y - row_ref) * (uint32_t)tu;
      uint32_t v = (uint32_t)V[L0] + (uint32_t)(xl - col_ref) * (uint32_t)sv + (uint32_t)(y - row_ref) * (uint32_t)tv;
      for (int32_t x = xl; count > 0 && x < area[2]; x++, count--, u += su, v += sv) visit(x, y, u, v);
    }
    rxp += rs;
    lxp += ls;
    y++;
    lc--;
    rc--;
    if (lc == 0) {
      if (lcur == 1) return;
      lcur = 1;
      ls = left[1].step;
      lxp = left[1].x;
      lc = left[1].rows;
      y = tr(left[1].y);
    }
    if (rc == 0) {
      if (rcur == 1) return;
      rcur = 1;
      rs = right[1].step;
      rxp = right[1].x;
      rc = right[1].rows;
    }
  }
}
