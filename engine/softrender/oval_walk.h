// The quadrant walk of an oval, from (a, 0) until u reaches 0: a circle
// walk in which one axis is slowed down by an accumulator (wide ovals slow
// v, tall ovals slow u). The software renderer's ovals walk it, and so do
// the device's, so both paths light the same pixels.
#pragma once

#include <algorithm>
#include <cstdint>

struct OvalWalk {
  int64_t a, b;   // radii
  int64_t k;      // step limit: a*a/b (wide) or b*b/a (tall)
  int64_t acc;    // accumulator A
  int64_t u, v;   // offsets of the current point from the centre
  int64_t d, e;   // decision values
  bool wide;
  bool moved;     // the last step changed the point
  bool new_row;   // the last step advanced v

  OvalWalk(int64_t ra, int64_t rb) : a(ra), b(rb), acc(0), u(ra), v(0), d(3 - 2 * ra), e(3 - 4 * ra) {
    wide = a >= b;
    k = wide ? (a * a) / b : (b * b) / a;
    moved = new_row = false;
  }

  // Runs of steps that change nothing but A, D and E (the slowed axis waiting
  // for its accumulator) are as long as a*a/(b*b); they are passed over in one
  // go, stopping one step before the step that moves or ends the run.
  void SkipIdleSteps() {
    int64_t n = 0;
    if (wide && d < 0) {
      int64_t dd = 4 * v + 2;
      n = std::min((k - acc + b - 1) / b, (-d + dd - 1) / dd) - 1;
      if (n > 0) {
        acc += n * b;
        d += n * dd;
        e += n * 4 * v;
      }
    } else if (!wide && d >= 0 && e >= 0) {
      int64_t dd = 4 * u, de = 4 * u - 2;
      n = std::min({(k - acc + a - 1) / a, d / dd + 1, e / de + 1}) - 1;
      if (n > 0) {
        acc += n * a;
        d -= n * dd;
        e -= n * de;
      }
    }
  }

  void Step() {
    SkipIdleSteps();
    moved = new_row = false;
    if (wide) {
      if (d < 0) {
        acc += b;
        if (acc >= k) {
          v++;
          acc -= k;
          moved = new_row = true;
        }
        d += 4 * v + 2;
        e += 4 * v;
      } else {
        moved = true;
        u--;
        if (e >= 0) {
          d -= 4 * u;
          e -= 4 * u - 2;
        } else {
          acc += b;
          if (acc >= k) {
            v++;
            acc -= k;
            new_row = true;
          }
          d += 4 * v - 4 * u + 2;
          e += 4 * v - 4 * u + 2;
        }
      }
    } else {
      if (d < 0) {
        moved = new_row = true;
        v++;
        d += 4 * v + 2;
        e += 4 * v;
      } else if (e >= 0) {
        acc += a;
        if (acc >= k) {
          acc -= k;
          u--;
          moved = true;
        }
        d -= 4 * u;
        e -= 4 * u - 2;
      } else {
        moved = new_row = true;
        acc += a;
        if (acc >= k) {
          acc -= k;
          u--;
        }
        v++;
        d += 4 * v - 4 * u + 2;
        e += 4 * v - 4 * u + 2;
      }
    }
  }
};
