#include <gtest/gtest.h>

#include <limits>
#include <random>
#include <utility>
#include <vector>

#include "render3d/render3d.h"
#include "tests/render3d/guarded_surface.h"

namespace {

constexpr uint32_t kInk = 0x01ABCDEF;

Vec4 screen(float x, float y) { return Vec4{x, y, 0, 1}; }

std::vector<std::pair<int, int>> inked(GuardedSurface& s) {
  std::vector<std::pair<int, int>> out;
  for (uint32_t y = 0; y < s.surface.height; ++y)
    for (uint32_t x = 0; x < s.surface.width; ++x)
      if (s.at(x, y) == kInk) out.emplace_back(x, y);
  return out;
}

using Pixels = std::vector<std::pair<int, int>>;

TEST(PlotLine, StepsAlongColumnsAndStopsBeforeAWholeEnd) {
  GuardedSurface s(10, 10);
  plotLine(screen(2, 2), screen(6, 4), kInk, s.surface);
  EXPECT_EQ(inked(s), (Pixels{{2, 2}, {3, 3}, {4, 3}, {5, 4}}));
}

TEST(PlotLine, WalkingBackIncludesTheEnd) {
  GuardedSurface s(10, 10);
  plotLine(screen(6, 4), screen(2, 2), kInk, s.surface);
  // Rows 4, 4, 3, 3, 2 for columns 6 down to 2, listed row by row.
  EXPECT_EQ(inked(s), (Pixels{{2, 2}, {3, 3}, {4, 3}, {5, 4}, {6, 4}}));
}

TEST(PlotLine, SteepAndDiagonalLinesStepAlongRows) {
  GuardedSurface s(10, 10);
  plotLine(screen(1, 1), screen(4, 4), kInk, s.surface);  // a tie steps along rows
  EXPECT_EQ(inked(s), (Pixels{{1, 1}, {2, 2}, {3, 3}}));
  GuardedSurface t(10, 10);
  plotLine(screen(3, 6), screen(5, 2), kInk, t.surface);
  EXPECT_EQ(inked(t), (Pixels{{5, 2}, {5, 3}, {4, 4}, {4, 5}, {3, 6}}));
}

TEST(PlotLine, ZeroLengthDrawsOnlyOnAWholeRow) {
  GuardedSurface s(10, 10);
  plotLine(screen(3, 5), screen(3, 5), kInk, s.surface);
  EXPECT_EQ(inked(s), (Pixels{{3, 5}}));
  GuardedSurface t(10, 10);
  plotLine(screen(3, 5.5f), screen(3, 5.5f), kInk, t.surface);
  EXPECT_TRUE(inked(t).empty());
}

TEST(ClipLineParameter, EntersLeavesAndRejects) {
  float tE = 0, tL = 1;
  EXPECT_TRUE(clipLineParameter(2, 1, tE, tL));  // enters at 0.5
  EXPECT_EQ(tE, 0.5f);
  EXPECT_TRUE(clipLineParameter(-2, -1.5f, tE, tL));  // leaves at 0.75
  EXPECT_EQ(tL, 0.75f);
  EXPECT_FALSE(clipLineParameter(1, 0.8f, tE, tL));    // would enter after leaving
  EXPECT_FALSE(clipLineParameter(-1, -0.4f, tE, tL));  // would leave before entering
  EXPECT_TRUE(clipLineParameter(0, 0, tE, tL));        // parallel, on the plane
  EXPECT_FALSE(clipLineParameter(0, 0.1f, tE, tL));    // parallel, outside
  EXPECT_EQ(tE, 0.5f);
  EXPECT_EQ(tL, 0.75f);
}

TEST(ClipLine, KeepsInsideSegmentsAndCutsCrossingOnes) {
  Vec4 a = {-0.5f, 0, -0.5f, 1}, b = {0.5f, 0.25f, -0.25f, 1};
  EXPECT_TRUE(clipLine(a, b));
  EXPECT_EQ(a.x, -0.5f);
  EXPECT_EQ(b.x, 0.5f);

  Vec4 left1 = {-3, 0, -0.5f, 1}, left2 = {-2, 0.5f, -0.5f, 1};
  EXPECT_FALSE(clipLine(left1, left2));
  EXPECT_EQ(left1.x, -3);  // untouched

  // Parallel to x = w and outside it, then lying on it.
  Vec4 out1 = {2, -0.5f, -0.5f, 1}, out2 = {2, 0.5f, -0.5f, 1};
  EXPECT_FALSE(clipLine(out1, out2));
  Vec4 on1 = {1, -0.5f, -0.5f, 1}, on2 = {1, 0.5f, -0.5f, 1};
  EXPECT_TRUE(clipLine(on1, on2));

  Vec4 c = {-3, 0, -0.5f, 1}, d = {3, 0, -0.5f, 1};
  ASSERT_TRUE(clipLine(c, d));
  EXPECT_FLOAT_EQ(c.x, -1);
  EXPECT_FLOAT_EQ(d.x, 1);

  // The last plane is z <= w: a segment may keep points in front of the near plane.
  Vec4 e = {0, 0, -0.5f, 1}, f = {0, 0, 0.5f, 1};
  ASSERT_TRUE(clipLine(e, f));
  EXPECT_EQ(f.z, 0.5f);
  Vec4 g = {0, 0, -0.5f, 1}, h = {0, 0, 3, 1};
  ASSERT_TRUE(clipLine(g, h));
  EXPECT_FLOAT_EQ(h.z, 1);
}

TEST(DrawLine, ClipsAndMapsThroughTheMatrices) {
  GuardedSurface s(32, 24, 0x00FFFFFF);
  PixelSurface surface = s.surface;
  Rasterizer r(surface, ViewportRect{0, 24, 0, 32});
  setIdentity(r.model);
  setIdentity(r.view);
  setIdentity(r.projection);
  // Across the whole width, cut to x = -1 .. 1, which maps to columns 0 .. 31
  // and row 11.5, rounded to 12. Walked right to left, the end column is included.
  r.drawLine(Vec3{5, 0, -0.5f}, Vec3{-5, 0, -0.5f}, 1, 0, 0);
  uint32_t drawn = 0;
  for (uint32_t x = 0; x < 32; ++x) drawn += s.at(x, 12) == 0x01FF0000;
  EXPECT_EQ(drawn, 32u);
  EXPECT_EQ(s.countNot(0x00FFFFFF), 32u);
  r.drawLine(Vec3{-5, 2, -0.5f}, Vec3{-3, 2.5f, -0.5f}, 0, 0, 0);  // wholly outside
  EXPECT_EQ(s.countNot(0x00FFFFFF), 32u);
  EXPECT_TRUE(s.guardsIntact());
}

// Random segments, sane and wild, through every path: nothing outside the
// target is written.
TEST(DrawLine, NeverWritesOutsideTheTarget) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const float specials[] = {0, -0.0f, 1, -1, 1e-30f, 1e30f, -1e30f, inf, -inf, nan, 4e9f, -70000};
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> wide(-30, 30);
  std::uniform_int_distribution<int> pick(0, int(std::size(specials)) - 1);
  auto value = [&] { return rng() % 6 == 0 ? specials[pick(rng)] : wide(rng); };
  GuardedSurface s(40, 30);
  PixelSurface surface = s.surface;
  Rasterizer r(surface, ViewportRect{0, 30, 0, 40});
  for (int trial = 0; trial < 4000; ++trial) {
    r.model = translation(value() * 0.1f, value() * 0.1f, -5);
    setIdentity(r.view);
    r.projection =
        trial % 4 == 0 ? perspective(value(), value(), value(), value()) : perspective(1.5707964f, 1.3333334f, 1, 100);
    r.drawLine(Vec3{value(), value(), value()}, Vec3{value(), value(), value()}, 1, 1, 1);
    plotLine(Vec4{value() * 3, value() * 3, 0, 1}, Vec4{value() * 3, value() * 3, 0, 1}, kInk, s.surface);
    ASSERT_TRUE(s.guardsIntact()) << trial;
  }
  // Targets of every small size, empty ones included.
  for (int trial = 0; trial < 2000; ++trial) {
    GuardedSurface t(rng() % 4, rng() % 4);
    plotLine(Vec4{value() * 0.1f, value() * 0.1f, 0, 1}, Vec4{value() * 0.1f, value() * 0.1f, 0, 1}, kInk, t.surface);
    ASSERT_TRUE(t.guardsIntact()) << trial;
  }
  // A viewport wider than the target is cut to the target.
  Rasterizer wideView(surface, ViewportRect{-50, 80, -60, 100});
  setIdentity(wideView.model);
  setIdentity(wideView.view);
  setIdentity(wideView.projection);
  wideView.drawLine(Vec3{-0.9f, -0.9f, -0.5f}, Vec3{0.9f, 0.8f, -0.5f}, 0, 1, 0);
  EXPECT_TRUE(s.guardsIntact());
}

}  // namespace
