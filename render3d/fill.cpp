// The two scanline triangle fillers. One edge walk serves both: rows from
// ceil(top y) while below the bottom y, spans from the smaller to the larger
// ceiling of the two edge positions. The edge values are floats, each step
// adding a double slope and rounding once.
#include <cmath>
#include <cstddef>
#include <cstring>
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
  // Held in locals: the pixel stores below could otherwise alias the
  // target's fields and have them reloaded on every row.
  uint32_t* const pixels = target.pixels;
  const size_t width = target.width;
  auto span = [&](uint32_t row) {
    const float cL = std::ceil(xL);
    const float cS = std::ceil(xS);
    // The span runs from the smaller ceiling to the larger (written as a
    // minimum and a maximum, which compile without a branch; which one an
    // equal pair gives does not matter, as that span is empty).
    const double start = cS < cL ? cS : cL;
    const double stop = cL < cS ? cS : cL;
    const double from = start < 0 ? 0 : start;
    const double to = stop > columns ? columns : stop;
    // Equal ceilings, a position that is not a number, or a span wholly off
    // the target: nothing to draw.
    if (!(from < to)) return;
    // Whole numbers from 0 to columns, which as a pixel count fits a pointer
    // difference: that conversion needs none of the range checks of one to
    // size_t.
    const size_t left = size_t(std::ptrdiff_t(from));
    const size_t count = size_t(std::ptrdiff_t(to - from));
    const size_t offset = size_t(row) * width;
    uint32_t* pixel = pixels + offset + left;
    if constexpr (kDepth) {
      float* d = depth + offset + left;
      // The depth starts from the q of the edge with the smaller ceiling.
      const bool leftIsLong = cL < cS;
      const float qStart = leftIsLong ? qL : qS;
      const float qEnd = leftIsLong ? qS : qL;
      // The depth step is worked out in double and rounded once: the
      // per-pixel walk stays in float, where it costs one addition (in
      // double, with a conversion per pixel for the comparison, it was 10%
      // slower).
      const double exactStep = (double(qEnd) - qStart) / (stop - start);
      const float step = float(exactStep);
      float q = qStart;
      if (from > start) q = float(qStart + (from - start) * exactStep);  // span cut on the left
      constexpr size_t kShort = 2;
      if (count <= kShort && left + kShort <= width) {
        // Most spans of a finely divided mesh are a pixel or two long. They
        // are drawn without a branch that depends on the length or the depth
        // test: kShort pixels of the row are visited, and those past the span
        // or behind the stored depth are written back unchanged.
        for (size_t k = 0; k < kShort; ++k) {
          const float old = d[k];
          const uint32_t take = 0u - uint32_t((k < count) & (q < old));
          uint32_t qBits, oldBits;
          std::memcpy(&qBits, &q, sizeof q);
          std::memcpy(&oldBits, &old, sizeof old);
          const uint32_t depthBits = (qBits & take) | (oldBits & ~take);
          std::memcpy(d + k, &depthBits, sizeof depthBits);
          pixel[k] = (colour & take) | (pixel[k] & ~take);
          q += step;
        }
        return;
      }
      for (uint32_t* const end = pixel + count; pixel != end; ++pixel, ++d) {
        if (q < *d) {
          *d = q;
          *pixel = colour;
        }
        q += step;
      }
    } else {
      subtract(pixel, pixel + count);
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
