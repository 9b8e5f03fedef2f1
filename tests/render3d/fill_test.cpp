#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "render3d/render3d.h"
#include "tests/render3d/guarded_surface.h"

namespace {

Vec4 at(float x, float y, float z = -0.5f) { return Vec4{x, y, z, 1}; }

// Whether the centre of pixel (x, y) is inside the triangle under the fill
// rule, worked out exactly from the edge equations: rows y0 <= y < y2,
// columns from the left edge (included) to the right edge (excluded).
// `margin` receives the horizontal distance from the centre to the nearest
// edge of its row, so that callers can allow for the fillers' float steps.
bool referenceCovers(Vec4 a, Vec4 b, Vec4 c, int x, int y, double* margin) {
  if (a.y > b.y) std::swap(a, b);
  if (b.y > c.y) std::swap(b, c);
  if (a.y > b.y) std::swap(a, b);
  *margin = std::numeric_limits<double>::infinity();
  if (!(a.y <= y && y < c.y)) return false;
  auto edgeX = [&](const Vec4& p, const Vec4& q) {
    return p.x + (double(q.x) - p.x) * ((y - double(p.y)) / (double(q.y) - p.y));
  };
  const double longX = edgeX(a, c);
  const double shortX = y < b.y ? edgeX(a, b) : edgeX(b, c);
  *margin = std::min(std::fabs(x - longX), std::fabs(x - shortX));
  return std::min(longX, shortX) <= x && x < std::max(longX, shortX);
}

TEST(FillTriangle, SmallRightTriangleInEveryVertexOrder) {
  const Vec4 v[3] = {at(0, 0), at(4, 0), at(0, 4)};
  const int orders[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
  for (const auto& o : orders) {
    GuardedSurface s(8, 8, 0x00505050);
    fillTriangleSubtract(v[o[0]], v[o[1]], v[o[2]], s.surface, 0x00010101);
    for (uint32_t y = 0; y < 8; ++y) {
      for (uint32_t x = 0; x < 8; ++x) {
        const bool inside = y < 4 && x < 4 - y;  // 4 + 3 + 2 + 1 pixels
        EXPECT_EQ(s.at(x, y), inside ? 0x004F4F4Fu : 0x00505050u) << x << "," << y;
      }
    }
    EXPECT_TRUE(s.guardsIntact());
  }
}

TEST(FillTriangle, SubtractWrapsEachChannelAndClearsTheTopByte) {
  GuardedSurface s(4, 4, 0x00102030);
  fillTriangleSubtract(at(0, 0), at(4, 0), at(0, 4), s.surface, 0x01203040);
  EXPECT_EQ(s.at(0, 0), 0x00F0F0F0u);
  s.at(3, 3) = 0xFF102030;  // not covered: unchanged, top byte and all
  fillTriangleSubtract(at(0, 0), at(4, 0), at(0, 4), s.surface, 0);
  EXPECT_EQ(s.at(0, 0), 0x00F0F0F0u);
  EXPECT_EQ(s.at(3, 3), 0xFF102030u);
}

TEST(FillTriangle, EmptyAndEdgeRows) {
  GuardedSurface s(10, 10, 0x00808080);
  fillTriangleSubtract(at(1, 3), at(8, 3), at(5, 3), s.surface, 0x00010101);           // flat
  fillTriangleSubtract(at(2.2f, 1), at(2.8f, 1), at(2.5f, 8), s.surface, 0x00010101);  // between columns
  EXPECT_EQ(s.countNot(0x00808080), 0u);

  // Flat top exactly on row 2: drawn. Flat bottom exactly on row 6: not drawn.
  fillTriangleSubtract(at(1, 2), at(7, 2), at(4, 6), s.surface, 0x00010101);
  EXPECT_NE(s.at(3, 2), 0x00808080u);
  EXPECT_EQ(s.at(4, 6), 0x00808080u);
  GuardedSurface t(10, 10, 0x00808080);
  fillTriangleSubtract(at(4, 1), at(1, 6), at(7, 6), t.surface, 0x00010101);
  EXPECT_NE(t.at(4, 5), 0x00808080u);
  for (uint32_t x = 0; x < 10; ++x) EXPECT_EQ(t.at(x, 6), 0x00808080u) << x;
}

TEST(FillTriangle, DepthIsStrictAndInterpolatedFromTheEdges) {
  GuardedSurface s(8, 8);
  // q = 1/z: -1 on the left edge, -2 at (4, 0); row 0 steps by -0.25 from the
  // left edge's value, with no correction for the pixel centre.
  fillTriangleDepth(at(0, 0, -1), at(4, 0, -0.5f), at(0, 4, -1), s.surface, s.depth(), 0x0100FF00);
  EXPECT_EQ(s.depthAt(0, 0), -1.0f);
  EXPECT_EQ(s.depthAt(1, 0), -1.25f);
  EXPECT_EQ(s.depthAt(2, 0), -1.5f);
  EXPECT_EQ(s.depthAt(3, 0), -1.75f);
  EXPECT_EQ(s.depthAt(4, 0), 0.0f);
  EXPECT_EQ(s.at(3, 0), 0x0100FF00u);

  // Equal q loses, smaller q wins.
  fillTriangleDepth(at(0, 0, -1), at(4, 0, -0.5f), at(0, 4, -1), s.surface, s.depth(), 0x01FF0000);
  EXPECT_EQ(s.at(0, 0), 0x0100FF00u);
  fillTriangleDepth(at(0, 0, -0.9f), at(4, 0, -0.9f), at(0, 4, -0.9f), s.surface, s.depth(), 0x010000FF);
  EXPECT_EQ(s.at(0, 0), 0x010000FFu);  // -1.11 < -1
  EXPECT_EQ(s.at(3, 0), 0x0100FF00u);  // -1.11 > -1.75
  EXPECT_TRUE(s.guardsIntact());
}

// The edge walk against the exact edge equations on random triangles: any
// disagreement must come from float steps on a pixel centre within a hair of
// an edge.
TEST(FillTriangle, MatchesTheExactCoverageOnRandomTriangles) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> px(0, 63), py(0, 47);
  for (int trial = 0; trial < 400; ++trial) {
    const Vec4 a = at(px(rng), py(rng)), b = at(px(rng), py(rng)), c = at(px(rng), py(rng));
    GuardedSurface s(64, 48, 0x00808080);
    fillTriangleSubtract(a, b, c, s.surface, 0x00010101);
    for (int y = 0; y < 48; ++y) {
      for (int x = 0; x < 64; ++x) {
        double margin;
        const bool expected = referenceCovers(a, b, c, x, y, &margin);
        const uint32_t p = s.at(x, y);
        ASSERT_TRUE(p == 0x00808080 || p == 0x007F7F7F);
        if ((p == 0x007F7F7F) != expected) {
          EXPECT_LT(margin, 1e-3) << "trial " << trial << " pixel " << x << "," << y;
        }
      }
    }
  }
}

// Horizontal distance from the centre of pixel (x, y) to the edge P-Q, or
// infinity when the edge does not span row y.
double distanceToEdge(const Vec4& p, const Vec4& q, int x, int y) {
  const double top = std::min(p.y, q.y), bottom = std::max(p.y, q.y);
  if (y < top || y > bottom || top == bottom) return std::numeric_limits<double>::infinity();
  return std::fabs(x - (p.x + (double(q.x) - p.x) * ((y - double(p.y)) / (double(q.y) - p.y))));
}

// Two triangles on either side of a shared edge cover the pixels of their
// union exactly once: nothing twice on the edge, no gap along it.
TEST(FillTriangle, SharedEdgesAreNeitherHitTwiceNorMissed) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> px(0, 79), py(0, 59);
  int tested = 0;
  while (tested < 500) {
    const Vec4 p = at(px(rng), py(rng)), q = at(px(rng), py(rng));
    const Vec4 r = at(px(rng), py(rng)), t = at(px(rng), py(rng));
    const double sideR = (double(q.x) - p.x) * (r.y - p.y) - (double(q.y) - p.y) * (r.x - p.x);
    const double sideT = (double(q.x) - p.x) * (t.y - p.y) - (double(q.y) - p.y) * (t.x - p.x);
    if (!(sideR * sideT < 0)) continue;  // R and T on opposite sides of PQ
    ++tested;
    GuardedSurface s(80, 60, 0x00808080);
    fillTriangleSubtract(p, q, r, s.surface, 0x00010101);
    fillTriangleSubtract(q, t, p, s.surface, 0x00010101);  // the edge given the other way round
    for (int y = 0; y < 60; ++y) {
      for (int x = 0; x < 80; ++x) {
        const uint32_t v = s.at(x, y);
        ASSERT_NE(v, 0x007E7E7Eu) << "hit twice at " << x << "," << y << " trial " << tested;
        double unused;
        const bool inUnion = referenceCovers(p, q, r, x, y, &unused) || referenceCovers(q, t, p, x, y, &unused);
        const double outer = std::min({distanceToEdge(p, r, x, y), distanceToEdge(q, r, x, y),
                                       distanceToEdge(p, t, x, y), distanceToEdge(q, t, x, y)});
        // Only the outer edges may round either way; along PQ nothing is lost.
        if (outer > 1e-3) {
          ASSERT_EQ(v == 0x007F7F7F, inUnion) << x << "," << y << " trial " << tested;
        }
      }
    }
  }
}

// An edge shared as the long edge of one triangle and the lower short edge
// of the other, from a vertex in the first half row (0 < y < 0.5). It
// crosses row 1 at 24.00000103 (worked out exactly from the vertices), a hair
// right of pixel centre 24, which therefore belongs to the triangle on its
// left, once. Rounding the pre-step 1 - y to a float would put the edge on
// 24 exactly and hand the pixel to the triangle on its right.
TEST(FillTriangle, SharedEdgeFromAVertexInTheFirstHalfRow) {
  const Vec4 p = at(0x1.98b8eap+4f, 0x1.c84836p-4f);  // (25.545145, 0.111397)
  const Vec4 q = at(0x1.9d80a8p+0f, 0x1.bbf264p+3f);  // (1.6152444, 13.873339)
  const Vec4 right = at(0x1.95f15ap+5f, q.y);
  const Vec4 left = at(0, 0.05f);
  GuardedSurface s(64, 16, 0x00808080);
  fillTriangleSubtract(p, right, q, s.surface, 0x00010101);  // PQ is the long edge
  EXPECT_EQ(s.at(25, 1), 0x007F7F7Fu);
  EXPECT_EQ(s.at(24, 1), 0x00808080u);
  fillTriangleSubtract(left, p, q, s.surface, 0x00010101);  // PQ is the lower short edge
  EXPECT_EQ(s.at(25, 1), 0x007F7F7Fu);                      // not twice
  EXPECT_EQ(s.at(24, 1), 0x007F7F7Fu);
  EXPECT_EQ(s.at(23, 1), 0x007F7F7Fu);
  EXPECT_TRUE(s.guardsIntact());
}

// Whatever the vertices, nothing outside the target changes.
TEST(FillTriangle, NeverWritesOutsideTheTarget) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float specials[] = {-1e30f, -1e9f, -70000.5f, -1.5f, -0.0f, 0.5f, 16.5f, 31.999f,
                            32,     33.5f, 70000,     4e9f,  1e30f, inf,  -inf,  nan};
  std::mt19937 rng(3);
  std::uniform_int_distribution<int> pick(0, int(std::size(specials)) - 1);
  std::uniform_real_distribution<float> wide(-100, 140), depth(-2, 0.5f);
  auto coordinate = [&] { return rng() % 3 == 0 ? specials[pick(rng)] : wide(rng); };
  for (int trial = 0; trial < 3000; ++trial) {
    GuardedSurface s(32, 24, 0x00808080);
    Vec4 v[3];
    for (Vec4& p : v) p = Vec4{coordinate(), coordinate(), rng() % 5 == 0 ? specials[pick(rng)] : depth(rng), 1};
    fillTriangleSubtract(v[0], v[1], v[2], s.surface, 0x00010203);
    fillTriangleDepth(v[0], v[1], v[2], s.surface, s.depth(), 0x0100FF00);
    ASSERT_TRUE(s.guardsIntact()) << "trial " << trial;
  }
  // An empty target takes nothing.
  GuardedSurface empty(0, 0);
  fillTriangleSubtract(at(-5, -5), at(50, 0), at(0, 50), empty.surface, 0x00010101);
  fillTriangleDepth(at(-5, -5), at(50, 0), at(0, 50), empty.surface, empty.depth(), 0x00010101);
  EXPECT_TRUE(empty.guardsIntact());
}

// The depth filler's definition as a plain walk, pixel by pixel: the edge
// values x and q are floats, each row adding a double slope and rounding once;
// a span starts at the smaller ceiling with that edge's q and steps by the
// difference to the other edge's q over the span's length, worked out in
// double and rounded to float; a span cut on the left starts with q moved on
// to the first column kept.
void plainDepthFill(Vec4 a, Vec4 b, Vec4 c, PixelSurface& target, float* depth, uint32_t colour) {
  if (a.y > b.y) std::swap(a, b);
  if (b.y > c.y) std::swap(b, c);
  if (a.y > b.y) std::swap(a, b);
  const double dx02 = (double(c.x) - a.x) / (double(c.y) - a.y), dx01 = (double(b.x) - a.x) / (double(b.y) - a.y);
  const double dx12 = (double(b.x) - c.x) / (double(b.y) - c.y);
  const double q0 = 1.0 / a.z, q1 = 1.0 / b.z, q2 = 1.0 / c.z;
  const double dq02 = (q2 - q0) / (double(c.y) - a.y), dq01 = (q1 - q0) / (double(b.y) - a.y);
  const double dq12 = (q1 - q2) / (double(b.y) - c.y);
  int row = int(std::max(0.0, std::ceil(double(a.y))));
  const double py = row - double(a.y);
  float xL = float(a.x + py * dx02), xS = float(a.x + py * dx01);
  float qL = float(q0 + py * dq02), qS = float(q0 + py * dq01);
  const int rows = int(target.height), columns = int(target.width);
  auto span = [&] {
    const double cL = std::ceil(double(xL)), cS = std::ceil(double(xS));
    if (cL == cS) return;
    const double start = std::min(cL, cS), stop = std::max(cL, cS);
    const float qStart = cL < cS ? qL : qS, qEnd = cL < cS ? qS : qL;
    const double step = (double(qEnd) - qStart) / (stop - start);
    for (int x = int(std::max(start, 0.0)); x < std::min(stop, double(columns)); ++x) {
      float q = qStart;
      if (x > start) {  // the serial sum from the first column kept
        q = start < 0 ? float(qStart + (0 - start) * step) : qStart;
        for (int k = int(std::max(start, 0.0)); k < x; ++k) q += float(step);
      }
      float& stored = depth[size_t(row) * columns + x];
      if (q < stored) {
        stored = q;
        target.pixels[size_t(row) * columns + x] = colour;
      }
    }
  };
  for (; row < double(b.y) && row < rows; ++row) {
    span();
    xL = float(xL + dx02), xS = float(xS + dx01), qL = float(qL + dq02), qS = float(qS + dq01);
  }
  xS = float(b.x + (row - double(b.y)) * dx12);
  qS = float(q1 + (row - double(b.y)) * dq12);
  for (; row < double(c.y) && row < rows; ++row) {
    span();
    xL = float(xL + dx02), xS = float(xS + dx12), qL = float(qL + dq02), qS = float(qS + dq12);
  }
}

// Thin slivers, whose spans are mostly empty or a pixel or two long, over a
// depth buffer that some pixels pass and some fail, across the whole target
// and over its left and right borders: pixels and depths bit for bit as the
// plain walk gives them.
TEST(FillTriangle, DepthFillMatchesThePlainWalkOnSliversOverMixedDepths) {
  constexpr uint32_t kW = 13, kH = 9;
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> x(-2, kW + 1), y(-1, kH + 1), spread(-2.5f, 2.5f), z(-1, -0.3f);
  std::uniform_real_distribution<float> stored(-3.5f, -1);
  for (int trial = 0; trial < 2000; ++trial) {
    GuardedSurface drawn(kW, kH), expected(kW, kH);
    for (size_t i = 0; i < drawn.count(); ++i) {
      const float q = rng() % 4 == 0 ? 0.0f : stored(rng);
      drawn.depth()[i] = expected.depth()[i] = q;
      drawn.surface.pixels[i] = expected.surface.pixels[i] = uint32_t(i);
    }
    for (int k = 0; k < 3; ++k) {
      const float x0 = x(rng), y0 = y(rng);
      const Vec4 a = at(x0, y0, z(rng)), b = at(x0 + spread(rng), y(rng), z(rng)),
                 c = at(x0 + spread(rng), y(rng), z(rng));
      const uint32_t colour = 0x01000000u | uint32_t(trial * 3 + k);
      fillTriangleDepth(a, b, c, drawn.surface, drawn.depth(), colour);
      plainDepthFill(a, b, c, expected.surface, expected.depth(), colour);
    }
    ASSERT_EQ(0, std::memcmp(drawn.surface.pixels, expected.surface.pixels, drawn.count() * 4)) << trial;
    ASSERT_EQ(0, std::memcmp(drawn.depth(), expected.depth(), drawn.count() * 4)) << trial;
    ASSERT_TRUE(drawn.guardsIntact()) << trial;
  }
  // Short spans in the last columns of the last row, on buffers of the
  // target's exact size: the sanitizer builds see any access past their end.
  std::vector<uint32_t> pixels(kW * kH, 0);
  std::vector<float> depth(kW * kH, 0.0f);
  PixelSurface exact = {pixels.data(), kW, kH};
  fillTriangleDepth(at(kW - 1.5f, kH - 1.5f), at(kW - 0.5f, kH - 1.5f), at(kW - 0.5f, kH - 0.5f), exact, depth.data(),
                    0x01FFFFFF);
  EXPECT_EQ(pixels[kW * kH - 1], 0x01FFFFFFu);
  EXPECT_EQ(pixels[kW * kH - 2], 0u);
  // Two pixels ending in the last column, nearer.
  fillTriangleDepth(at(kW - 4, kH - 1.5f, -0.4f), at(kW - 0.2f, kH - 1.5f, -0.4f), at(kW - 0.2f, kH - 0.5f, -0.4f),
                    exact, depth.data(), 0x01FFFF00);
  EXPECT_EQ(pixels[kW * kH - 1], 0x01FFFF00u);
  EXPECT_EQ(pixels[kW * kH - 2], 0x01FFFF00u);
  EXPECT_EQ(pixels[kW * kH - 3], 0u);
}

// The subtractive filler on spans from empty to wider than the target, some
// ending in the last column: every covered pixel (the pixels the plain walk
// above sets) loses the colour's bytes modulo 256 and its top byte, and every
// other pixel keeps all four bytes.
TEST(FillTriangle, SubtractMatchesThePerPixelDefinitionOnShortAndLongSpans) {
  constexpr uint32_t kW = 21, kH = 9;
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> x(-2, kW + 1), y(-1, kH + 1), spread(-12, 12);
  for (int trial = 0; trial < 1500; ++trial) {
    GuardedSurface drawn(kW, kH), covered(kW, kH, 0);
    std::vector<uint32_t> before(drawn.count());
    for (size_t i = 0; i < drawn.count(); ++i) before[i] = drawn.surface.pixels[i] = uint32_t(rng());
    const float x0 = x(rng);
    const Vec4 a = at(x0, y(rng)), b = at(x0 + spread(rng), y(rng)), c = at(x0 + spread(rng), y(rng));
    const uint32_t colour = uint32_t(rng());
    fillTriangleSubtract(a, b, c, drawn.surface, colour);
    plainDepthFill(a, b, c, covered.surface, covered.depth(), 1);
    for (size_t i = 0; i < drawn.count(); ++i) {
      uint32_t expected = before[i];
      if (covered.surface.pixels[i]) {
        expected = 0;
        for (int shift = 0; shift < 24; shift += 8) {
          expected |= (((before[i] >> shift) - (colour >> shift)) & 0xFF) << shift;
        }
      }
      ASSERT_EQ(drawn.surface.pixels[i], expected) << "trial " << trial << ", pixel " << i;
    }
    ASSERT_TRUE(drawn.guardsIntact()) << trial;
  }
}

// Off-target vertices are clipped to the target's pixels, which still get
// the triangle's own coverage.
TEST(FillTriangle, CoverageOfATriangleLargerThanTheTarget) {
  GuardedSurface s(16, 16, 0x00808080);
  fillTriangleSubtract(at(-100, -100), at(300, -100), at(-100, 300), s.surface, 0x00010101);
  EXPECT_EQ(s.countNot(0x007F7F7F), 0u);
  EXPECT_TRUE(s.guardsIntact());
}

}  // namespace
