// The two scanline triangle fillers. One edge walk serves both: rows from
// ceil(top y) while below the bottom y, spans from the smaller to the larger
// ceiling of the two edge positions. The edge values are floats, each step
// adding a double slope and rounding once.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

#include "render3d/render3d.h"

namespace {

// The vertex coordinates whose spans are worked out in integers.
constexpr float kWholeRange = 16777216.0f;  // 2^24

// ceil(x) as an integer for |x| < 2^31: the truncation, one more when it lies
// below x. Both are whole floats, so the comparison is exact.
inline int32_t ceilToInt(float x) {
  const int32_t t = int32_t(x);
  return t + int32_t(float(t) < x);
}

// a when `first`, else b, without a branch on an unpredictable condition.
inline float select(bool first, float a, float b) {
  uint32_t aBits, bBits;
  std::memcpy(&aBits, &a, sizeof a);
  std::memcpy(&bBits, &b, sizeof b);
  const uint32_t mask = 0u - uint32_t(first);
  const uint32_t bits = (aBits & mask) | (bBits & ~mask);
  float result;
  std::memcpy(&result, &bits, sizeof result);
  return result;
}

// The subtractive filler draws short spans in blocks of this many pixels,
// two to a 64-bit word, where the machine's words are that wide. On 32-bit
// targets the word operations come in pairs, and in WebAssembly (32-bit
// addresses) the block measured slower than the plain loop in V8, so there
// the plain loop draws every span.
constexpr size_t kBlock = 8;
constexpr bool kWideWords = sizeof(void*) >= 8;

// For a span of n pixels (n up to kBlock), whether each of the kBlock pixels
// from its start belongs to it: all ones or all zeros.
struct SpanLanes {
  uint32_t mask[kBlock + 1][kBlock];
  constexpr SpanLanes() : mask() {
    for (size_t n = 0; n <= kBlock; ++n) {
      for (size_t k = 0; k < kBlock; ++k) mask[n][k] = k < n ? 0xFFFFFFFFu : 0u;
    }
  }
};
constexpr SpanLanes kSpanLanes;

// Per-pixel work of the subtractive filler.
struct SubtractSpan {
  uint32_t red, green, blue;
  uint64_t pair;  // the colour's three bytes in both halves of a 64-bit word

  explicit SubtractSpan(uint32_t colour)
      : red((colour >> 16) & 0xFF),
        green((colour >> 8) & 0xFF),
        blue(colour & 0xFF),
        pair(uint64_t(colour & 0xFFFFFF) * 0x0000000100000001ull) {}

  uint32_t operator()(uint32_t p) const {
    return (((p >> 16) - red) & 0xFF) << 16 | (((p >> 8) - green) & 0xFF) << 8 | ((p - blue) & 0xFF);
  }

  // Two pixels at once, each byte on its own: with the top bit of every byte
  // of the pixels set and that of the colour's clear, no byte borrows from
  // the next, and the top bits are put right afterwards (the textbook
  // subtraction within words). The pixels' top bytes become 0.
  uint64_t pairs(uint64_t p) const {
    constexpr uint64_t kHigh = 0x8080808080808080ull;
    const uint64_t difference = ((p | kHigh) - (pair & ~kHigh)) ^ ((p ^ ~pair) & kHigh);
    return difference & 0x00FFFFFF00FFFFFFull;
  }

  // Most spans of the demo's small faces are a few pixels long, and a loop
  // of their length mispredicts its end about once a span. Where the row has
  // room, a span of up to kBlock pixels is drawn as a block of that many, two
  // to a word and without a branch: the pixels past the span are written
  // back unchanged.
  void operator()(uint32_t* pixel, size_t count, size_t room) const {
    if (kWideWords && count <= kBlock && room >= kBlock) {
      for (size_t k = 0; k < kBlock; k += 2) {
        // Read as two 32-bit masks, so that each lands on its own pixel
        // whatever the byte order.
        uint64_t mask, p;
        std::memcpy(&mask, &kSpanLanes.mask[count][k], sizeof mask);
        std::memcpy(&p, pixel + k, sizeof p);
        p = (pairs(p) & mask) | (p & ~mask);
        std::memcpy(pixel + k, &p, sizeof p);
      }
      return;
    }
    for (size_t k = 0; k < count; ++k) pixel[k] = (*this)(pixel[k]);
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
  // The rows of each half as whole numbers: a row i is below y exactly when
  // it is below ceil(y). An end that is not a number, or above the start,
  // leaves the half empty.
  auto rowEnd = [rows](double y, uint32_t from) {
    const double end = std::ceil(y);
    if (!(end > double(from))) return from;
    return end < rows ? uint32_t(end) : uint32_t(rows);
  };

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
  const int32_t lastColumnEnd = int32_t(std::min<size_t>(width, size_t(1) << 30));
  auto span = [&](uint32_t row, auto whole) {
    // The span runs from the smaller ceiling of the two edge positions to
    // the larger, cut to the target's columns. Equal ceilings, a position
    // that is not a number, or a span wholly off the target: nothing to draw.
    bool leftIsLong;  // the long edge's ceiling is the smaller
    double spanLength, cut;
    size_t left, count;
    if constexpr (decltype(whole)::value) {
      // The common case, in integers: positions this small truncate to an
      // int32, and their ceilings are exactly those of the float ceil of the
      // general path below.
      const int32_t cL = ceilToInt(xL);
      const int32_t cS = ceilToInt(xS);
      leftIsLong = cL < cS;
      // Minimum and maximum by masks: which is smaller changes from row to
      // row without a pattern a branch could follow.
      const int32_t swap = (cL ^ cS) & (0 - int32_t(leftIsLong));
      const int32_t start = cS ^ swap;
      const int32_t stop = cL ^ swap;
      const int32_t firstColumn = start < 0 ? 0 : start;
      const int32_t end = stop < lastColumnEnd ? stop : lastColumnEnd;
      if (firstColumn >= end) return;
      left = size_t(firstColumn);
      count = size_t(end - firstColumn);
      spanLength = double(int64_t(stop) - start);
      cut = double(int64_t(firstColumn) - start);
    } else {
      const float cL = std::ceil(xL);
      const float cS = std::ceil(xS);
      leftIsLong = cL < cS;
      const double start = cS < cL ? cS : cL;
      const double stop = cL < cS ? cS : cL;
      const double from = start < 0 ? 0 : start;
      const double to = stop > columns ? columns : stop;
      if (!(from < to)) return;
      // Whole numbers from 0 to columns, which as a pixel count fits a
      // pointer difference: that conversion needs none of the range checks
      // of one to size_t.
      left = size_t(std::ptrdiff_t(from));
      count = size_t(std::ptrdiff_t(to - from));
      spanLength = stop - start;
      cut = from - start;
    }
    const size_t offset = size_t(row) * width;
    uint32_t* pixel = pixels + offset + left;
    if constexpr (kDepth) {
      float* d = depth + offset + left;
      // The depth starts from the q of the edge with the smaller ceiling.
      const float qStart = select(leftIsLong, qL, qS);
      const float qEnd = select(leftIsLong, qS, qL);
      // The depth step is worked out in double and rounded once: the
      // per-pixel walk stays in float, where it costs one addition (in
      // double, with a conversion per pixel for the comparison, it was 10%
      // slower).
      const double exactStep = (double(qEnd) - qStart) / spanLength;
      const float step = float(exactStep);
      float q = qStart;
      if (cut > 0) q = float(qStart + cut * exactStep);  // span cut on the left
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
      (void)spanLength;
      (void)cut;
      (void)leftIsLong;
      subtract(pixel, count, width - left);
    }
  };

  auto walk = [&](auto whole) {
    // The rows of one half, below `yEnd`: the long edge P0-P2 against the
    // short edge with these slopes.
    auto half = [&](double yEnd, double dxShort, double dqShort) {
      for (const uint32_t end = rowEnd(yEnd, i); i < end; ++i) {
        span(i, whole);
        xL = float(xL + dx02);
        xS = float(xS + dxShort);
        if constexpr (kDepth) {
          qL = float(qL + dq02);
          qS = float(qS + dqShort);
        }
      }
    };
    // Upper half: rows above the middle vertex, long edge against P0-P1.
    half(y1, dx01, dq01);
    // Lower half, from the row the upper half reached: long edge against P1-P2.
    const double py1 = double(i) - y1;
    xS = float(x1 + py1 * dx12);
    if constexpr (kDepth) qS = float(q1 + py1 * dq12);
    half(y2, dx12, dq12);
  };
  // Vertices within 2^24 pixels of the origin, on a target of at most 2^16
  // rows: every edge position a span reads lies between its edge's ends,
  // give or take a float rounding per row, far inside the int32 range. So
  // the spans are worked out in integers, and only other input (huge, not
  // a number) takes the general path in double.
  const bool whole = std::fabs(a.x) <= kWholeRange && std::fabs(b.x) <= kWholeRange && std::fabs(c.x) <= kWholeRange &&
                     std::fabs(a.y) <= kWholeRange && std::fabs(b.y) <= kWholeRange && std::fabs(c.y) <= kWholeRange &&
                     rows <= 65536 && columns <= 1073741824.0;
  if (whole) {
    walk(std::true_type());
  } else {
    walk(std::false_type());
  }
}

}  // namespace

void fillTriangleDepth(Vec4 a, Vec4 b, Vec4 c, PixelSurface& target, float* depth, uint32_t colour) {
  fillTriangle<true>(a, b, c, target, depth, colour);
}

void fillTriangleSubtract(Vec4 a, Vec4 b, Vec4 c, PixelSurface& target, uint32_t colour) {
  fillTriangle<false>(a, b, c, target, nullptr, colour);
}
