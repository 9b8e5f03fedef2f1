// The two scanline triangle fillers. One edge walk serves both: rows from
// ceil(top y) while below the bottom y, spans from the smaller to the larger
// ceiling of the two edge positions. The edge values are floats, each step
// adding a double slope and rounding once.
#include <cmath>
#include <utility>

#include "render3d/render3d.h"

namespace {

// Per-pixel work of the subtractive filler.
struct SubtractSpan {
  uint32_t red, green, blue;

  explicit SubtractSpan(uint32_t colour)
      : red((colour >> 16) & 0xFF), green((colour >> 8) & 0xFF), blue(colour & 0xFF) {}

  void operator()(uint32_t* pixel, uint32_t* end) const {
    for (; pixel != end; ++pixel) {
      const uint32_t p = *pixel;
      *pixel = (((p >> 16) - red) & 0xFF) << 16 | (((p >> 8) - green) & 0xFF) << 8 | ((p - blue) & 0xFF);
    }
  }
};

// The edge walk. With kDepth the walk also carries q = 1/z along both edges
// and the span interpolates it linearly in screen space.
//
// The Rasterizer's triangles are clipped and mapped onto the target, so the
// guards below never change them. They keep any other input (off the target,
// huge, infinite, not a number) from writing outside the target or looping
// without end: rows are limited to the target's, a top vertex above row 0
// starts the walk at row 0, and spans are cut to the target's columns.
template <bool kDepth>
void fillTriangle(Vec4 a, Vec4 b, Vec4 c, PixelSurface& target, float* depth, uint32_t colour) {
  if (a.y > b.y) std::swap(a, b);
  if (b.y > c.y) std::swap(b, c);
  if (a.y > b.y) std::swap(a, b);
  const double x0 = a.x, y0 = a.y, x1 = b.x, y1 = b.y, x2 = c.x, y2 = c.y;

  // A half of zero height gives a non-finite slope that is never used: its
  // rows are empty. Slopes, reciprocals and pre-steps stay in double; the
  // edge values xL, xS, qL and qS are floats, rounded at each step, and so is
  // the depth walk along a span (below).
  const double dx02 = (x2 - x0) / (y2 - y0);
  const double dx01 = (x1 - x0) / (y1 - y0);
  const double dx12 = (x1 - x2) / (y1 - y2);
  double q0 = 0, q1 = 0, dq02 = 0, dq01 = 0, dq12 = 0;
  if constexpr (kDepth) {
    q0 = 1.0 / double(a.z);
    q1 = 1.0 / double(b.z);
    const double q2 = 1.0 / double(c.z);
    dq02 = (q2 - q0) / (y2 - y0);
    dq01 = (q1 - q0) / (y1 - y0);
    dq12 = (q1 - q2) / (y1 - y2);
  }

  const double rows = target.height;
  const double columns = target.width;
  double first = std::ceil(a.y);
  if (!(first >= 0)) first = 0;
  if (!(first < rows)) return;
  uint32_t i = uint32_t(first);

  // An edge shared by two triangles is the long edge of one and a short edge
  // of the other; its start, slope and pre-step are the same expressions in
  // both, so it gets the same positions row by row in both.
  const double py = double(i) - y0;
  float xL = float(x0 + py * dx02);
  float xS = float(x0 + py * dx01);
  float qL = 0, qS = 0;
  if constexpr (kDepth) {
    qL = float(q0 + py * dq02);
    qS = float(q0 + py * dq01);
  }

  const SubtractSpan subtract(colour);
  auto span = [&](uint32_t row) {
    const double cL = std::ceil(xL);
    const double cS = std::ceil(xS);
    double from, to;
    float qStart = 0, qEnd = 0;
    if (cL < cS) {
      from = cL, to = cS;
      qStart = qL, qEnd = qS;
    } else if (cS < cL) {
      from = cS, to = cL;
      qStart = qS, qEnd = qL;
    } else {
      return;  // equal ceilings, or a position that is not a number
    }
    // The depth step is worked out in double and rounded once: the per-pixel
    // walk stays in float, where it costs one addition (in double, with a
    // conversion per pixel for the comparison, it was 10% slower).
    double exactStep = 0;
    if constexpr (kDepth) exactStep = (double(qEnd) - qStart) / (to - from);
    const double start = from;
    if (from < 0) from = 0;
    if (to > columns) to = columns;
    if (!(from < to)) return;
    const size_t offset = size_t(row) * target.width;
    uint32_t* pixel = target.pixels + offset + size_t(from);
    uint32_t* const end = target.pixels + offset + size_t(to);
    if constexpr (kDepth) {
      const float step = float(exactStep);
      float q = qStart;
      if (from > start) q = float(qStart + (from - start) * exactStep);  // span cut on the left
      float* d = depth + offset + size_t(from);
      for (; pixel != end; ++pixel, ++d) {
        if (q < *d) {
          *d = q;
          *pixel = colour;
        }
        q += step;
      }
    } else {
      subtract(pixel, end);
    }
  };

  // Upper half: rows above the middle vertex, long edge against P0-P1.
  for (; double(i) < y1 && double(i) < rows; ++i) {
    span(i);
    xL = float(xL + dx02);
    xS = float(xS + dx01);
    if constexpr (kDepth) {
      qL = float(qL + dq02);
      qS = float(qS + dq01);
    }
  }
  // Lower half, from the row the upper half reached: long edge against P1-P2.
  const double py1 = double(i) - y1;
  xS = float(x1 + py1 * dx12);
  if constexpr (kDepth) qS = float(q1 + py1 * dq12);
  for (; double(i) < y2 && double(i) < rows; ++i) {
    span(i);
    xL = float(xL + dx02);
    xS = float(xS + dx12);
    if constexpr (kDepth) {
      qL = float(qL + dq02);
      qS = float(qS + dq12);
    }
  }
}

}  // namespace

void fillTriangleDepth(Vec4 a, Vec4 b, Vec4 c, PixelSurface& target, float* depth, uint32_t colour) {
  fillTriangle<true>(a, b, c, target, depth, colour);
}

void fillTriangleSubtract(Vec4 a, Vec4 b, Vec4 c, PixelSurface& target, uint32_t colour) {
  fillTriangle<false>(a, b, c, target, nullptr, colour);
}
