#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "render3d/render3d.h"

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();

TEST(PackColour, ScalesClampsAndTruncates) {
  EXPECT_EQ(packColour(0, 1, 0), 0x0100FF00u);
  EXPECT_EQ(packColour(0.5f, 0.5f, 0.5f), 0x017F7F7Fu);  // 127.5 truncated
  EXPECT_EQ(packColour(1.5f, kNaN, std::numeric_limits<float>::infinity()), 0x01FFFFFFu);
  EXPECT_EQ(packColour(0, 0, 0), 0x01000000u);
  // Outside the contract, but defined: negatives wrap through the low byte.
  EXPECT_EQ(packColour(-0.5f, 0, 0), 0x01810000u);  // -127 -> 0x81
  EXPECT_EQ(packColour(-std::numeric_limits<float>::infinity(), 0, 0), 0x01000000u);
}

TEST(Viewport, CornersLandOnTheLastPixelNotBeyond) {
  const ViewportRect rect = {0, 480, 0, 640};
  const Vec4 topLeft = toScreen(Vec4{-1, 1, -0.5f, 1}, rect);
  const Vec4 bottomRight = toScreen(Vec4{1, -1, -0.5f, 1}, rect);
  EXPECT_EQ(topLeft.x, 0);
  EXPECT_EQ(topLeft.y, 0);
  EXPECT_EQ(bottomRight.x, 639);
  EXPECT_EQ(bottomRight.y, 479);
  EXPECT_EQ(bottomRight.z, -0.5f);
  const Vec4 offset = toScreen(Vec4{-1, 1, 0, 1}, ViewportRect{10, 20, 30, 40});
  EXPECT_EQ(offset.x, 30);
  EXPECT_EQ(offset.y, 10);
}

TEST(ClipVolume, InsideIsStrictAndRejectsNonNumbers) {
  EXPECT_TRUE(insideClipVolume(Vec4{0, 0, -0.5f, 1}));
  EXPECT_FALSE(insideClipVolume(Vec4{1, 0, -0.5f, 1}));   // on the right plane
  EXPECT_FALSE(insideClipVolume(Vec4{0, -1, -0.5f, 1}));  // on the bottom plane
  EXPECT_FALSE(insideClipVolume(Vec4{0, 0, 0, 1}));       // on the near plane
  EXPECT_FALSE(insideClipVolume(Vec4{0, 0, -1, 1}));      // on the far plane
  EXPECT_FALSE(insideClipVolume(Vec4{kNaN, 0, -0.5f, 1}));
  EXPECT_FALSE(insideClipVolume(Vec4{0, 0, -0.5f, kNaN}));
}

TEST(ClipPolygon, NearPlaneCutsGetTheSmallestNegativeDepth) {
  const Vec4 in[3] = {{0, 0, -0.5f, 1}, {0.2f, 0, 0.5f, 1}, {0, 0.2f, -0.5f, 1}};
  Vec4 out[kMaxPolygonVertices];
  const int n = clipPolygon(in, 3, out, ClipPlane::nearPlane);
  ASSERT_EQ(n, 4);
  int cuts = 0;
  for (int k = 0; k < n; ++k) {
    EXPECT_LT(out[k].z, 0);
    if (out[k].z == -1.1920929e-7f) {
      ++cuts;
      EXPECT_FLOAT_EQ(out[k].w, 1);
    }
  }
  EXPECT_EQ(cuts, 2);
  // The planes' own tests are inclusive: a vertex on the plane stays as it is.
  const Vec4 onPlane[3] = {{1, 0, -0.5f, 1}, {0, 0, -0.5f, 1}, {0, 0.5f, -0.5f, 1}};
  EXPECT_EQ(clipPolygon(onPlane, 3, out, ClipPlane::rightPlane), 3);
  EXPECT_EQ(out[0].x, 1);
  EXPECT_EQ(clipPolygon(onPlane, 0, out, ClipPlane::rightPlane), 0);
}

TEST(ClipPolygon, TriangleAcrossEveryPlaneStaysWithinNineVertices) {
  Vec4 polygon[kMaxPolygonVertices], scratch[kMaxPolygonVertices];
  // Big enough to cross all four sides, from behind the eye to beyond the far plane.
  const int n = clipTriangle(Vec4{-5, -3, -8, 2}, Vec4{6, -4, 3, 2}, Vec4{0.5f, 7, -1, 2}, polygon, scratch);
  ASSERT_GE(n, 3);
  ASSERT_LE(n, kMaxPolygonVertices);
  for (int k = 0; k < n; ++k) {
    const Vec4& v = polygon[k];
    EXPECT_LE(std::fabs(v.x), v.w * (1 + 1e-6)) << k;
    EXPECT_LE(std::fabs(v.y), v.w * (1 + 1e-6)) << k;
    EXPECT_LT(v.z, 0) << k;
    EXPECT_GE(v.z, -v.w * (1 + 1e-6)) << k;
  }
  EXPECT_EQ(clipTriangle(Vec4{-5, 0, -1, 1}, Vec4{-4, 1, -1, 1}, Vec4{-6, 0.5f, -1, 1}, polygon, scratch), 0);
  // Non-numbers count as outside every plane.
  EXPECT_EQ(clipTriangle(Vec4{kNaN, 0, -1, 1}, Vec4{kNaN, 1, -1, 1}, Vec4{kNaN, 0.5f, -1, 1}, polygon, scratch), 0);
}

// Every render buffer size the scenes use.
const struct {
  int32_t width, height;
} kBufferSizes[] = {{320, 240}, {160, 120}, {80, 60}, {40, 30}, {20, 15}, {10, 15}};

// A vertex the clipper creates on a side of the view volume lies on x = -w,
// y = -w, x = w or y = w; divided and mapped it must land exactly on the
// buffer's first or last column or row: column 0, row height - 1, column
// width - 1, row 0. One rounding off and the fill rule loses row 0 or column
// 0, or gains the last row or column (at 10 x 15 a pixel is a 64 x 32 block
// on the screen). On the far plane the divided depth is exactly -1; on the
// near plane the new vertex has z = -2^-23, so its divided depth is -2^-23 / w.
// Every vertex of a clipped polygon stays within the buffer.
TEST(ClipPolygon, VerticesCutOnEachPlaneLandExactlyOnTheBufferEdge) {
  const ClipPlane planes[6] = {ClipPlane::leftPlane, ClipPlane::bottomPlane, ClipPlane::rightPlane,
                               ClipPlane::topPlane,  ClipPlane::farPlane,    ClipPlane::nearPlane};
  std::mt19937 rng(8);
  std::uniform_real_distribution<float> across(-3, 3), deep(-1.6f, 0.4f), distance(0.05f, 120);
  // Clip-space vertices around the view volume: x/w and y/w from -3 to 3,
  // z/w from -1.6 to 0.4, so that each triangle crosses some planes.
  auto vertex = [&] {
    const float w = distance(rng);
    return Vec4{across(rng) * w, across(rng) * w, deep(rng) * w, w};
  };
  for (const auto& size : kBufferSizes) {
    const ViewportRect rect = {0, size.height, 0, size.width};
    const float lastColumn = float(size.width - 1), lastRow = float(size.height - 1);
    int checked[6] = {};
    for (int trial = 0; trial < 1500; ++trial) {
      // The six passes one by one, remembering which plane made each vertex
      // (-1: one of the triangle's own).
      Vec4 polygon[kMaxPolygonVertices] = {vertex(), vertex(), vertex()};
      int madeBy[kMaxPolygonVertices] = {-1, -1, -1};
      int n = 3;
      for (int k = 0; k < 6 && n > 0; ++k) {
        Vec4 out[kMaxPolygonVertices];
        int outMadeBy[kMaxPolygonVertices];
        const int m = clipPolygon(polygon, n, out, planes[k]);
        for (int j = 0; j < m; ++j) {
          outMadeBy[j] = k;
          for (int i = 0; i < n; ++i) {
            if (std::memcmp(&out[j], &polygon[i], sizeof(Vec4)) == 0) outMadeBy[j] = madeBy[i];
          }
        }
        for (int j = 0; j < m; ++j) {
          polygon[j] = out[j];
          madeBy[j] = outMadeBy[j];
        }
        n = m;
      }
      for (int j = 0; j < n; ++j) {
        const Vec4 v = toScreen(perspectiveDivide(polygon[j]), rect);
        const float w = polygon[j].w;
        ASSERT_TRUE(v.x >= 0 && v.x <= lastColumn && v.y >= 0 && v.y <= lastRow)
            << size.width << "x" << size.height << " trial " << trial << ": " << v.x << "," << v.y;
        switch (madeBy[j]) {
          case 0:
            ASSERT_EQ(v.x, 0.0f) << size.width << "x" << size.height << " trial " << trial;
            break;
          case 1:
            ASSERT_EQ(v.y, lastRow) << size.width << "x" << size.height << " trial " << trial;
            break;
          case 2:
            ASSERT_EQ(v.x, lastColumn) << size.width << "x" << size.height << " trial " << trial;
            break;
          case 3:
            ASSERT_EQ(v.y, 0.0f) << size.width << "x" << size.height << " trial " << trial;
            break;
          case 4:
            ASSERT_EQ(v.z, -1.0f) << size.width << "x" << size.height << " trial " << trial;
            break;
          case 5:
            ASSERT_NEAR(v.z * double(w), -0x1p-23, 0x1p-45) << size.width << "x" << size.height << " trial " << trial;
            break;
        }
        if (madeBy[j] >= 0) ++checked[madeBy[j]];
      }
    }
    // Enough cuts on every plane survive the later passes to mean something.
    for (int k = 0; k < 6; ++k) EXPECT_GT(checked[k], 300) << "plane " << k;
  }
}

TEST(OrderConvexPolygon, WalksTheHullFromTheLeftmostVertex) {
  // A square with two vertices on the leftmost column; the later one leads.
  Vec4 square[4] = {{10, 0, 0, 1}, {0, 10, 0, 1}, {10, 10, 0, 1}, {0, 0, 0, 1}};
  orderConvexPolygon(square, 4);
  EXPECT_EQ(square[0].x, 0);
  EXPECT_EQ(square[0].y, 0);
  // Each following vertex keeps every other one on the same side.
  for (int i = 0; i < 4; ++i) {
    const Vec4& f = square[i];
    const Vec4& s = square[(i + 1) % 4];
    for (int k = 0; k < 4; ++k) {
      const Vec4& q = square[k];
      EXPECT_GE((q.y - f.y) * (s.x - f.x) - (s.y - f.y) * (q.x - f.x), 0) << i << " " << k;
    }
  }
}

}  // namespace
