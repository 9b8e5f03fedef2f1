#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "render3d/render3d.h"

namespace {

Matrix4 identity() {
  Matrix4 m;
  setIdentity(m);
  return m;
}

bool sameBits(const Matrix4& a, const Matrix4& b) { return std::memcmp(a.m, b.m, sizeof a.m) == 0; }

Matrix4 filledWith(float first) {
  Matrix4 m;
  for (int i = 0; i < 16; ++i) m.m[i] = first + float(i) * 0.37f - float(i * i) * 0.011f;
  return m;
}

TEST(Matrix, BuildersGiveExactElements) {
  Matrix4 m = filledWith(3.5f);
  setIdentity(m);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(m.m[i], (i % 5 == 0) ? 1.0f : 0.0f) << i;
  EXPECT_TRUE(sameBits(translation(0, 0, 0), m));
  EXPECT_EQ(translation(1.5f, -2, 3).m[13], -2.0f);

  // Positive angles turn +z towards +x (y rotation) and +y towards +z (x rotation).
  const Vec4 y = transformPoint(rotationY(1.5707964f), Vec3{0, 0, 1});
  EXPECT_NEAR(y.x, 1, 1e-6);
  EXPECT_NEAR(y.z, 0, 1e-6);
  const Vec4 x = transformPoint(identity() * rotationX(1.5707963267948966), Vec3{0, 1, 0});
  EXPECT_NEAR(x.y, 0, 1e-6);
  EXPECT_NEAR(x.z, 1, 1e-6);
}

TEST(Matrix, ProductSumsInDoubleAndRoundsOnce) {
  // Summed in float, 1 + 2^-24 + 2^-24 would stop at 1 after each addition.
  Matrix4 a = {}, b = {};
  a.m[0] = a.m[4] = a.m[8] = 1;
  b.m[0] = 1;
  b.m[1] = b.m[2] = std::ldexp(1.0f, -24);
  EXPECT_EQ((a * b).m[0], 1 + std::ldexp(1.0f, -23));

  // The double elements of an x rotation enter unrounded: cos + sin of 0.07
  // rounded once differs from the sum of the rounded terms.
  Matrix4 c = {};
  c.m[4] = c.m[8] = 1;
  EXPECT_EQ((c * rotationX(0.07)).m[4], float(std::cos(0.07) + std::sin(0.07)));
  EXPECT_NE((c * rotationX(0.07)).m[4], float(std::cos(0.07)) + float(std::sin(0.07)));
}

TEST(Matrix, ProductIntoAnOperandMatchesSeparateDestination) {
  const Matrix4 a = filledWith(0.25f), b = filledWith(-1.75f);
  const Matrix4 expected = a * b;
  Matrix4 left = a, right = b;
  left = left * b;
  right = a * right;
  EXPECT_TRUE(sameBits(left, expected));
  EXPECT_TRUE(sameBits(right, expected));
  // Column vectors: (translation * rotation) rotates first.
  const Vec4 p = transformPoint(translation(10, 0, 0) * rotationY(1.5707964f), Vec3{0, 0, 1});
  EXPECT_NEAR(p.x, 11, 1e-5);
}

TEST(Matrix, LookAtAlongTheAxisIsATranslation) {
  const Matrix4 v = lookAt(Vec3{0, 0, 5}, Vec3{0, 0, 0}, Vec3{0, 1, 0});
  EXPECT_TRUE(sameBits(v, translation(0, 0, -5)));
  const Vec4 t = transformPoint(v, Vec3{0, 0, 0});
  EXPECT_EQ(t.z, -5);

  // A camera off the axis puts its target straight ahead at its distance.
  const Matrix4 w = lookAt(Vec3{3, 4, 12}, Vec3{0, 0, 0}, Vec3{0, 1, 0});
  const Vec4 ahead = transformPoint(w, Vec3{0, 0, 0});
  EXPECT_NEAR(ahead.x, 0, 1e-5);
  EXPECT_NEAR(ahead.y, 0, 1e-5);
  EXPECT_NEAR(ahead.z, -13, 1e-5);
  // Degenerate input is not guarded: eye on the target gives non-numbers.
  EXPECT_TRUE(std::isnan(lookAt(Vec3{1, 1, 1}, Vec3{1, 1, 1}, Vec3{0, 1, 0}).m[0]));
}

TEST(Matrix, PerspectiveMapsNearToZeroAndFarToMinusOne) {
  const Matrix4 p = perspective(1.5707964f, 1.3333334f, 1, 100);
  EXPECT_EQ(p.m[11], -1);
  EXPECT_EQ(p.m[15], 0);
  EXPECT_EQ(p.m[10], float(100.0 / 99.0));
  EXPECT_EQ(p.m[14], float(100.0 / 99.0));
  const Vec4 nearPoint = perspectiveDivide(transformPoint(p, Vec3{0, 0, -1}));
  const Vec4 farPoint = perspectiveDivide(transformPoint(p, Vec3{0, 0, -100}));
  EXPECT_NEAR(nearPoint.z, 0, 1e-6);
  EXPECT_NEAR(farPoint.z, -1, 1e-6);
  // The aspect factor multiplies.
  EXPECT_NEAR(perspectiveDivide(transformPoint(p, Vec3{1, 0, -1})).x, 4.0 / 3.0, 1e-6);
}

}  // namespace
