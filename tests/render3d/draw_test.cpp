#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "render3d/render3d.h"
#include "tests/fnv1a.h"
#include "tests/render3d/guarded_surface.h"

namespace {

// A rasterizer over a guarded surface with the demo's projection and the
// identity for model and view, so that vertices are given in eye space.
struct Scene {
  Scene(uint32_t width, uint32_t height, uint32_t fill = 0)
      : guarded(width, height, fill),
        surface(guarded.surface),
        r(surface, ViewportRect{0, int32_t(height), 0, int32_t(width)}) {
    setIdentity(r.model);
    setIdentity(r.view);
    r.projection = perspective(1.5707964f, 1.3333334f, 1, 100);
    r.clearDepthBuffer();
  }
  uint32_t& at(uint32_t x, uint32_t y) { return guarded.at(x, y); }
  float depthAt(uint32_t x, uint32_t y) const { return r.depthBuffer[size_t(y) * surface.width + x]; }

  GuardedSurface guarded;
  PixelSurface surface;
  Rasterizer r;
};

const int32_t kTriangle[3] = {0, 1, 2};

TEST(Rasterizer, DrawsWholeTriplesOnly) {
  // Four small triangles, one per quadrant.
  const Vec3 v[12] = {{-3, 1, -5},  {-1, 1, -5},  {-3, 3, -5},  {1, 1, -5},  {3, 1, -5},  {1, 3, -5},
                      {-3, -3, -5}, {-1, -3, -5}, {-3, -1, -5}, {1, -3, -5}, {3, -3, -5}, {1, -1, -5}};
  int32_t indices[14];
  for (int32_t i = 0; i < 14; ++i) indices[i] = i % 12;
  auto quadrants = [](Scene& s) {
    int hit = 0;
    hit += s.at(8, 13) != 0x00808080 ? 1 : 0;   // upper left
    hit += s.at(34, 13) != 0x00808080 ? 2 : 0;  // upper right
    hit += s.at(8, 29) != 0x00808080 ? 4 : 0;   // lower left
    hit += s.at(34, 29) != 0x00808080 ? 8 : 0;  // lower right
    return hit;
  };
  for (const auto& [count, expected] : {std::pair{0, 0}, {-3, 0}, {3, 1}, {11, 7}, {12, 15}, {14, 15}}) {
    Scene s(48, 40, 0x00808080);
    s.r.drawSubtractive(v, indices, count, 0.5f, 0.5f, 0.5f);
    EXPECT_EQ(quadrants(s), expected) << count;
    EXPECT_TRUE(s.guarded.guardsIntact());
  }
}

TEST(Rasterizer, UnclippedTriangleIsFilledFromItsMappedVerticesInOrder) {
  const Vec3 v[3] = {{-2.3f, -1.1f, -4}, {2.9f, 0.4f, -6}, {0.3f, 2.2f, -3.5f}};
  Scene s(64, 48, 0x00A0A0A0);
  s.r.drawSubtractive(v, kTriangle, 3, 0.25f, 0.5f, 0.75f);

  GuardedSurface expected(64, 48, 0x00A0A0A0);
  const Matrix4 m = s.r.projection * s.r.view * s.r.model;
  Vec4 p[3];
  for (int k = 0; k < 3; ++k) p[k] = toScreen(perspectiveDivide(transformPoint(m, v[k])), s.r.viewport);
  fillTriangleSubtract(p[0], p[1], p[2], expected.surface, packColour(0.25f, 0.5f, 0.75f));
  EXPECT_EQ(std::memcmp(s.surface.pixels, expected.surface.pixels, 64 * 48 * 4), 0);
  EXPECT_GT(expected.countNot(0x00A0A0A0), 100u);
}

TEST(Rasterizer, InvisibleTrianglesDrawNothing) {
  const Vec3 behind[3] = {{-1, -1, 5}, {1, -1, 5}, {0, 1, 5}};
  const Vec3 leftOf[3] = {{-40, -1, -5}, {-30, -1, -5}, {-35, 1, -5}};
  const Vec3 beyondFar[3] = {{-1, -1, -150}, {1, -1, -150}, {0, 1, -150}};
  Scene s(32, 24, 0x00808080);
  for (const Vec3* v : {behind, leftOf, beyondFar}) {
    s.r.drawSubtractive(v, kTriangle, 3, 0.5f, 0.5f, 0.5f);
    s.r.drawShaded(v, kTriangle, 3, 0, 1, 0);
  }
  EXPECT_EQ(s.guarded.countNot(0x00808080), 0u);
}

TEST(Rasterizer, NearPlaneCutKeepsDepthFinite) {
  // From 0.2 in front of the eye (inside the near plane) back to 5.
  const Vec3 v[3] = {{-0.1f, -0.1f, -0.2f}, {0.1f, -0.1f, -0.2f}, {0, 3, -5}};
  Scene s(64, 48);
  s.r.drawShaded(v, kTriangle, 3, 0, 1, 0);
  float nearest = 0;
  for (uint32_t y = 0; y < 48; ++y) {
    for (uint32_t x = 0; x < 64; ++x) {
      const float q = s.depthAt(x, y);
      EXPECT_TRUE(std::isfinite(q));
      EXPECT_LE(q, 0.0f);
      nearest = std::min(nearest, q);
    }
  }
  // Cut vertices sit at z = -2^-23, where 1/z is about -8388608.
  EXPECT_LT(nearest, -1e6f);
  EXPECT_GE(nearest, -8388608.0f * 1.001f);
}

TEST(Rasterizer, ShadedCullsBackFacesAndLightsAlongTheAxis) {
  const Vec3 front[3] = {{0, 0, -5}, {1, 0, -5}, {0, 1, -5}};
  const Vec3 back[3] = {{0, 0, -5}, {0, 1, -5}, {1, 0, -5}};
  Scene s(64, 48);
  s.r.drawShaded(back, kTriangle, 3, 0, 1, 0);
  EXPECT_EQ(s.guarded.countNot(0), 0u);
  s.r.drawShaded(front, kTriangle, 3, 0, 1, 0);
  EXPECT_EQ(s.at(34, 21), 0x0100FF00u);
  EXPECT_GT(s.guarded.countNot(0), 10u);

  // Without culling both windings draw.
  Scene t(64, 48, 0x00808080);
  t.r.drawSubtractive(back, kTriangle, 3, 0.5f, 0.5f, 0.5f);
  t.r.drawSubtractive(front, kTriangle, 3, 0.5f, 0.5f, 0.5f);
  EXPECT_EQ(t.at(34, 21), 0x00828282u);  // 0x80 - 0x7F - 0x7F, modulo 256
}

TEST(Rasterizer, ShadedEdgeCasesOfTheFacingTest) {
  // Normal perpendicular to the axis, facing the eye: drawn black.
  const Vec3 side[3] = {{1, -1, -5}, {1, 1, -5}, {1, -1, -7}};
  Scene s(64, 48, 0x00123456);
  s.r.drawShaded(side, kTriangle, 3, 1, 1, 1);
  EXPECT_GT(s.guarded.countNot(0x00123456), 0u);
  for (size_t i = 0; i < s.guarded.count(); ++i) {
    const uint32_t p = s.surface.pixels[i];
    EXPECT_TRUE(p == 0x00123456 || p == 0x01000000) << std::hex << p;
  }
  // A back face seen exactly head-on, its third vertex on the axis: the
  // facing value reaches 1 and the face is drawn, unlit.
  const Vec3 headOn[3] = {{0, 1, -5}, {1, 0, -5}, {0, 0, -5}};
  Scene t(64, 48, 0x00123456);
  t.r.drawShaded(headOn, kTriangle, 3, 1, 1, 1);
  EXPECT_EQ(t.at(33, 22), 0x01000000u);
}

// Faces close to the facing test's two edges, seen nearly edge-on (d near
// 0) and nearly head-on from behind (d near 1), and ordinary ones: each is
// drawn, in the colour its lighting gives, exactly when the test on the unit
// vectors says so, worked out here as its definition.
TEST(Rasterizer, FacingDecisionsNearTheEdgesFollowTheUnitVectorTest) {
  std::mt19937 rng(21);
  std::uniform_real_distribution<double> unit(-1, 1);
  const double scales[] = {1, 1e-3, 1e-6, 1e-8, 1e-10, 1e-13, 0};
  // The faces are made first and read back from memory below: GCC's SLP
  // vectorizer would otherwise let the definition see the corners before
  // their rounding to float.
  std::vector<std::array<Vec3, 3>> faces;
  for (int trial = 0; trial < 4000; ++trial) {
    // The third vertex in front of the eye; the other two from it along a
    // direction that is, but for a little noise, either the viewing ray
    // (edge-on) or across it (head-on), or any direction.
    const double p[3] = {0.6 * unit(rng), 0.45 * unit(rng), -4 + unit(rng)};
    const double noise = scales[trial % 7];
    double u[3], v[3];
    for (int k = 0; k < 3; ++k) u[k] = unit(rng);
    if (trial % 3 == 0) {  // the viewing ray
      for (int k = 0; k < 3; ++k) v[k] = 0.3 * p[k] + noise * unit(rng);
    } else if (trial % 3 == 1) {  // across the ray: u and v made perpendicular to it
      for (int k = 0; k < 3; ++k) v[k] = unit(rng);
      for (double* w : {u, v}) {
        const double along = (w[0] * p[0] + w[1] * p[1] + w[2] * p[2]) / (p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
        for (int k = 0; k < 3; ++k) w[k] = w[k] - along * p[k] + noise * unit(rng);
      }
    } else {
      for (int k = 0; k < 3; ++k) v[k] = unit(rng);
    }
    std::array<Vec3, 3> face;
    face[2] = Vec3{float(p[0]), float(p[1]), float(p[2])};
    face[0] = Vec3{float(p[0] + 0.7 * u[0]), float(p[1] + 0.7 * u[1]), float(p[2] + 0.7 * u[2])};
    face[1] = Vec3{float(p[0] + 0.7 * v[0]), float(p[1] + 0.7 * v[1]), float(p[2] + 0.7 * v[2])};
    if (trial % 2) std::swap(face[0], face[1]);  // both windings
    faces.push_back(face);
  }
  int drawn = 0, culled = 0;
  for (const std::array<Vec3, 3>& face : faces) {
    // The definition: face normal (E0 - E1) x (E0 - E2) and the ray to E2,
    // each scaled by one reciprocal square root.
    const Vec3 &e0 = face[0], &e1 = face[1], &e2 = face[2];
    const double ax = double(e0.x) - e1.x, ay = double(e0.y) - e1.y, az = double(e0.z) - e1.z;
    const double bx = double(e0.x) - e2.x, by = double(e0.y) - e2.y, bz = double(e0.z) - e2.z;
    double n[3] = {ay * bz - az * by, az * bx - ax * bz, ax * by - ay * bx};
    double q[3] = {e2.x, e2.y, e2.z};
    for (double* w : {n, q}) {
      const double scale = 1.0 / std::sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]);
      for (int k = 0; k < 3; ++k) w[k] *= scale;
    }
    const double d = n[0] * q[0] + n[1] * q[1] + n[2] * q[2];
    const bool visible = !(d > 0 && d < 1);

    Scene shaded(40, 30, 0x00123456), expected(40, 30, 0x00123456);
    shaded.r.drawShaded(face.data(), kTriangle, 3, 0.9f, 0.6f, 0.3f);
    if (visible) {
      const double light = n[2] < 0 ? 0 : n[2];
      const uint32_t colour = packColour(float(0.9f * light), float(0.6f * light), float(0.3f * light));
      Vec4 screen[3];
      bool inside = true;
      for (int k = 0; k < 3; ++k) {
        const Vec4 clip = transformPoint(expected.r.projection, face[k]);
        inside = inside && insideClipVolume(clip);
        screen[k] = toScreen(perspectiveDivide(clip), ViewportRect{0, 30, 0, 40});
      }
      if (!inside) continue;  // the clipper's work is checked elsewhere
      fillTriangleDepth(screen[0], screen[1], screen[2], expected.surface, expected.r.depthBuffer, colour);
    }
    ASSERT_EQ(0, std::memcmp(shaded.surface.pixels, expected.surface.pixels, 40 * 30 * 4)) << "d = " << d;
    ++(visible ? drawn : culled);
  }
  EXPECT_GT(drawn, 1000);
  EXPECT_GT(culled, 1000);
}

TEST(Rasterizer, NearerSurfaceWinsWhicheverIsDrawnFirst) {
  const Vec3 nearer[3] = {{-2, -2, -4}, {2, -2, -4}, {0, 2, -4}};
  const Vec3 farther[3] = {{-2, -2, -6}, {2, -2, -6}, {0, 2, -6}};
  for (const bool nearFirst : {true, false}) {
    Scene s(64, 48);
    if (nearFirst) s.r.drawShaded(nearer, kTriangle, 3, 1, 0, 0);
    s.r.drawShaded(farther, kTriangle, 3, 0, 1, 0);
    if (!nearFirst) s.r.drawShaded(nearer, kTriangle, 3, 1, 0, 0);
    EXPECT_EQ(s.at(32, 24), 0x01FF0000u);
  }
}

// A triangle larger than the view is clipped to the screen rectangle and
// filled as a fan, at every buffer size the scenes use: every pixel once,
// none twice. Its clipped vertices land exactly on the first and last rows
// and columns; the last column and row lie on the rectangle's right and
// bottom edges, which the fill rule leaves out.
TEST(Rasterizer, ClippedFanCoversTheViewOnce) {
  const uint32_t sizes[6][2] = {{320, 240}, {160, 120}, {80, 60}, {40, 30}, {20, 15}, {10, 15}};
  std::mt19937 rng(12);
  std::uniform_real_distribution<float> turn(0, 6.2831855f), shift(-20, 20);
  for (const auto& size : sizes) {
    const uint32_t width = size[0], height = size[1];
    for (int trial = 0; trial < 20; ++trial) {
      // At z = -10 the view spans |x| < 7.5 and |y| < 10; a triangle of
      // circumradius 100 centred within 20 of the axis covers it.
      const float a = turn(rng), cx = shift(rng), cy = shift(rng);
      Vec3 v[3];
      for (int k = 0; k < 3; ++k) {
        const float angle = a + 2.0943952f * float(k);
        v[k] = Vec3{cx + 100 * std::cos(angle), cy + 100 * std::sin(angle), -10};
      }
      if (trial % 2) std::swap(v[1], v[2]);  // the other winding, for the subtractive draw
      const bool subtract = trial % 2 == 1;
      Scene s(width, height, 0x00808080);
      if (subtract) {
        s.r.drawSubtractive(v, kTriangle, 3, 1.5f / 255, 1.5f / 255, 1.5f / 255);
      } else {
        s.r.drawShaded(v, kTriangle, 3, 1, 1, 1);
      }
      const uint32_t hit = subtract ? 0x007F7F7Fu : 0x01FFFFFFu;
      for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
          const uint32_t expected = x + 1 < width && y + 1 < height ? hit : 0x00808080u;
          ASSERT_EQ(s.at(x, y), expected) << width << "x" << height << " trial " << trial << " at " << x << "," << y;
        }
      }
      ASSERT_TRUE(s.guarded.guardsIntact());
    }
  }
}

// Garbage in (non-numbers, infinities, huge and degenerate coordinates, odd
// matrices and viewports): nothing outside the target is written.
TEST(Rasterizer, NeverWritesOutsideTheTarget) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const float specials[] = {0, -0.0f, 1, -1, 1e-30f, 1e30f, -1e30f, inf, -inf, nan, 4e9f, 1e-7f};
  std::mt19937 rng(9);
  std::uniform_real_distribution<float> coordinate(-12, 12), depth(-30, 3);
  std::uniform_int_distribution<int> pick(0, int(std::size(specials)) - 1);
  auto maybe = [&](float v) { return rng() % 10 == 0 ? specials[pick(rng)] : v; };
  Vec3 vertices[32];
  int32_t indices[96];
  for (int trial = 0; trial < 600; ++trial) {
    const bool oddView = trial % 7 == 0;
    const ViewportRect rect = oddView ? ViewportRect{-40, 90, -2000000000, 2000000000} : ViewportRect{0, 30, 0, 40};
    GuardedSurface g(40, 30, 0x00808080);
    PixelSurface surface = g.surface;
    Rasterizer r(surface, rect);
    r.clearDepthBuffer();
    for (Vec3& v : vertices) v = Vec3{maybe(coordinate(rng)), maybe(coordinate(rng)), maybe(depth(rng))};
    for (int32_t& i : indices) i = int32_t(rng() % 32);
    r.model = rotationY(coordinate(rng)) * rotationX(coordinate(rng));
    r.view = trial % 3 ? lookAt(Vec3{maybe(1), 0, maybe(3)}, Vec3{0, 0, -5}, Vec3{0, 1, 0}) : translation(0, 0, 0);
    r.projection = trial % 5 ? perspective(1.5707964f, 1.3333334f, 1, 100)
                             : perspective(maybe(1), maybe(1), maybe(0.5f), maybe(3));
    r.drawShaded(vertices, indices, 96, 0, 1, 0);
    r.drawSubtractive(vertices, indices, 96, 0.5f, 0.5f, 0.5f);
    for (int k = 0; k < 8; ++k) r.drawLine(vertices[k], vertices[k + 8], 0, 0, 0);
    ASSERT_TRUE(g.guardsIntact()) << trial;
  }
}

TEST(Rasterizer, TargetGrownAfterConstructionStaysWithinTheDepthBuffer) {
  GuardedSurface g(40, 30, 0);
  PixelSurface surface = g.surface;
  surface.height = 10;
  Rasterizer r(surface, ViewportRect{0, 30, 0, 40});
  surface.height = 30;  // the surface changed size; the rasterizer was not rebuilt
  setIdentity(r.model);
  setIdentity(r.view);
  r.projection = perspective(1.5707964f, 1.3333334f, 1, 100);
  r.clearDepthBuffer();
  const Vec3 v[3] = {{-400, -300, -10}, {400, -300, -10}, {0, 500, -10}};
  r.drawShaded(v, kTriangle, 3, 1, 1, 1);
  EXPECT_EQ(g.at(5, 5), 0x01FFFFFFu);
  EXPECT_EQ(g.at(5, 20), 0u);

  // An empty target has no depth buffer and takes nothing.
  PixelSurface empty = {nullptr, 0, 0};
  Rasterizer none(empty, ViewportRect{0, 0, 0, 0});
  EXPECT_EQ(none.depthBuffer, nullptr);
  none.model = none.view = r.model;
  none.projection = r.projection;
  none.clearDepthBuffer();
  none.drawShaded(v, kTriangle, 3, 1, 1, 1);
  none.drawSubtractive(v, kTriangle, 3, 1, 1, 1);
  none.drawLine(v[0], v[1], 1, 1, 1);
}

TEST(RasterizerDeathTest, DepthBufferThatCannotBeAllocatedEndsWithAMessage) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  PixelSurface huge = {nullptr, 0xFFFFFFFFu, 0xFFFFFFFFu};
  EXPECT_EXIT(
      {
        Rasterizer r(huge, ViewportRect{0, 1, 0, 1});
      },
      ::testing::ExitedWithCode(EXIT_FAILURE), "depth buffer");
}

// A mesh's vertices are transformed once for all the triangles near each
// other in its index list that share them. Drawn whole, a mesh gives the
// pixels and depths of its triangles drawn one at a time, also when the
// indices jump about, so that vertices far apart in the list meet in the
// same reuse slot.
TEST(Rasterizer, WholeMeshMatchesItsTrianglesDrawnOneAtATime) {
  constexpr int kSide = 11;
  std::vector<Vec3> grid;
  for (int j = 0; j < kSide; ++j) {
    for (int i = 0; i < kSide; ++i) {
      grid.push_back(Vec3{-1.6f + 0.32f * i, -1.3f + 0.26f * j, -2.4f - 0.4f * std::sin(0.7f * i + 0.45f * j)});
    }
  }
  std::vector<int32_t> indices;
  constexpr int kCells = (kSide - 1) * (kSide - 1);
  for (int n = 0; n < kCells; ++n) {
    const int cell = n * 37 % kCells;  // 37 and 100 are coprime: every cell once, out of order
    const int32_t v = cell / (kSide - 1) * kSide + cell % (kSide - 1);
    // Both windings, so that some triangles are culled; corners 32 apart
    // and more share triangles.
    if (n % 3 == 0) {
      indices.insert(indices.end(), {v, v + 1, v + kSide, v + 1, v + kSide + 1, v + kSide});
    } else {
      indices.insert(indices.end(), {v, v + kSide, v + 1, v + 1, v + kSide, v + kSide + 1});
    }
  }
  Scene whole(64, 48, 0x00FFFFFF), single(64, 48, 0x00FFFFFF);
  for (Scene* s : {&whole, &single}) s->r.model = rotationY(0.3f) * rotationX(-0.2);
  whole.r.drawShaded(grid.data(), indices.data(), int32_t(indices.size()), 0.3f, 0.9f, 0.6f);
  whole.r.drawSubtractive(grid.data(), indices.data(), int32_t(indices.size()), 0.1f, 0.05f, 0.2f);
  for (int pass = 0; pass < 2; ++pass) {
    for (size_t k = 0; k < indices.size(); k += 3) {
      const Vec3 corners[3] = {grid[indices[k]], grid[indices[k + 1]], grid[indices[k + 2]]};
      if (pass == 0) single.r.drawShaded(corners, kTriangle, 3, 0.3f, 0.9f, 0.6f);
      if (pass == 1) single.r.drawSubtractive(corners, kTriangle, 3, 0.1f, 0.05f, 0.2f);
    }
  }
  EXPECT_GT(whole.guarded.countNot(0x00FFFFFF), 500u);  // the mesh covers much of the view
  EXPECT_EQ(0, std::memcmp(whole.surface.pixels, single.surface.pixels, 64 * 48 * 4));
  EXPECT_EQ(0, std::memcmp(whole.r.depthBuffer, single.r.depthBuffer, 64 * 48 * 4));
}

// ---------------------------------------------------------------------------
// Exact output of a small scene, so that every build (x86-64, 32-bit Windows
// under Wine, sanitizers) is seen to compute the same pixels and depths.

const Vec3 kCube[8] = {{-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1},
                       {-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1}};
const int32_t kCubeIndices[36] = {0, 1, 2, 0, 3, 2, 1, 2, 5, 2, 5, 6, 0, 4, 3, 3, 4, 7,
                                  4, 5, 6, 4, 6, 7, 0, 1, 4, 1, 4, 5, 7, 6, 2, 7, 2, 3};
const int32_t kCubeEdges[12][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6},
                                   {6, 7}, {7, 4}, {0, 4}, {1, 5}, {3, 7}, {2, 6}};

TEST(Rasterizer, SmallSceneIsBitExact) {
  Scene s(48, 36, 0x00FFFFFF);
  Rasterizer& r = s.r;
  r.view = lookAt(Vec3{0.7f, 0.4f, 0.3f}, Vec3{0, 0, -1}, Vec3{0, 1, 0});
  // A cube cut by the near plane and the left edge, shaded.
  r.model = translation(-0.2f, 0.3f, -1.2f) * rotationY(0.5235988f) * rotationX(0.4);
  r.drawShaded(kCube, kCubeIndices, 36, 0, 1, 0);
  // A farther one subtracted in grey with its outline.
  r.model = translation(1.5f, -0.6f, -6) * rotationY(-0.9f) * rotationX(1.1);
  r.drawShaded(kCube, kCubeIndices, 36, 0.8f, 0.3f, 1);
  r.drawSubtractive(kCube, kCubeIndices, 36, 0.5f, 0.5f, 0.5f);
  for (const auto& e : kCubeEdges) r.drawLine(kCube[e[0]], kCube[e[1]], 0.2f, 0.1f, 0.7f);

  const uint64_t hash = fnv1a(r.depthBuffer, 48 * 36 * 4, fnv1a(s.surface.pixels, 48 * 36 * 4));
  EXPECT_EQ(hash, 0x2875dd78635a3f52u) << std::hex << hash;
  // A few landmarks, for a readable failure: the near cube's lit and unlit
  // faces, the far cube under the grey subtraction, an outline pixel.
  EXPECT_EQ(s.at(20, 5), 0x0100C800u);
  EXPECT_EQ(s.at(2, 20), 0x01000000u);
  EXPECT_EQ(s.at(14, 20), 0x01009D00u);
  EXPECT_EQ(s.at(38, 14), 0x00C34AF4u);
  EXPECT_EQ(s.at(42, 14), 0x00020902u);
  EXPECT_EQ(s.at(40, 11), 0x013319B2u);
  EXPECT_TRUE(s.guarded.guardsIntact());
}

// The rasterizer keeps the product of its matrices from one draw to the next
// and draws a batch of edges with each vertex transformed once. Drawn through
// one rasterizer whose matrices change between draws (one matrix at a time,
// too), a cube gives the pixels of a fresh rasterizer per
// draw with one drawLine per edge, also where the near plane and the sides
// cut it.
TEST(Rasterizer, BatchedEdgesAndChangedMatricesMatchFreshSingleDraws) {
  struct Pose {
    Vec3 at;
    float turn;
    float eyeX;
    float fovY;
  };
  const Pose poses[] = {
      {{0.4f, -0.2f, -5}, 0.3f, 0, 1.5707964f},        {{0.4f, -0.2f, -5}, 0.3f, 0.25f, 1.5707964f},
      {{0.4f, -0.2f, -5}, 0.3f, 0.25f, 1.2f},          {{-1.9f, 0.8f, -2.2f}, 1.1f, 0.25f, 1.2f},
      {{0.3f, 0.1f, -1.4f}, -0.6f, -0.5f, 1.5707964f}, {{0.3f, 0.1f, -1.4f}, -0.6f, -0.5f, 1.5707964f}};
  Scene kept(56, 42, 0x00FFFFFF);
  GuardedSurface fresh(56, 42, 0x00FFFFFF);
  PixelSurface freshSurface = fresh.surface;
  for (const Pose& pose : poses) {
    const Matrix4 model = translation(pose.at.x, pose.at.y, pose.at.z) * rotationY(pose.turn) * rotationX(0.7);
    const Matrix4 view = lookAt(Vec3{pose.eyeX, 0.1f, 0}, Vec3{0, 0, -1}, Vec3{0, 1, 0});
    const Matrix4 projection = perspective(pose.fovY, 1.3333334f, 1, 100);
    kept.r.model = model;
    kept.r.view = view;
    kept.r.projection = projection;
    kept.r.drawSubtractive(kCube, kCubeIndices, 36, 0.1f, 0.2f, 0.05f);
    kept.r.drawLines(kCube, kCubeEdges, 12, 0.2f, 0.1f, 0.7f);

    Rasterizer single(freshSurface, ViewportRect{0, 42, 0, 56});
    single.model = model;
    single.view = view;
    single.projection = projection;
    single.drawSubtractive(kCube, kCubeIndices, 36, 0.1f, 0.2f, 0.05f);
    for (const auto& e : kCubeEdges) single.drawLine(kCube[e[0]], kCube[e[1]], 0.2f, 0.1f, 0.7f);
  }
  EXPECT_GT(fresh.countNot(0x00FFFFFF), 600u);
  EXPECT_EQ(0, std::memcmp(kept.surface.pixels, freshSurface.pixels, 56 * 42 * 4));
  EXPECT_TRUE(kept.guarded.guardsIntact());
}

}  // namespace
