#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "render3d/convert.h"
#include "render3d/render3d.h"
#include "tests/render3d/guarded_surface.h"

namespace {

// An independent copy of the generator, to predict the system's draws.
struct Lcg {
  uint32_t state = 1;
  int next() {
    state = state * 214013u + 2531011u;
    return int((state >> 16) & 0x7FFF);
  }
  float drift(int chance, int range) {
    const int up = next() % chance == 0;
    const int down = next() % chance == 0;
    const int minus = next() % range;
    const int plus = next() % range;
    return float(up - down - minus + plus);
  }
};

class Particles : public ::testing::Test {
 protected:
  void SetUp() override { resetParticleRandom(); }
};

TEST_F(Particles, ConstructionDrawsEightNumbersPerParticle) {
  const int classic[] = {41, 18467, 6334, 26500, 19169};  // the C library's rand() from seed 1
  for (int value : classic) EXPECT_EQ(particleRandom(), value);
  resetParticleRandom();

  ParticleSystem system(3, 160, 120, 7, 0);
  Lcg lcg;
  for (uint32_t k = 0; k < 3; ++k) {
    const Particle& p = system.pool[k];
    EXPECT_EQ(p.x, 160);
    EXPECT_EQ(p.y, 120);
    EXPECT_EQ(p.life, 1);
    EXPECT_EQ(p.angle, 0);
    EXPECT_EQ(p.vx, lcg.drift(100, 15)) << k;
    EXPECT_EQ(p.vy, lcg.drift(100, 15)) << k;
  }
  EXPECT_EQ(system.pool[0].vx, 6);  // 0 - 0 - 6334 % 15 + 26500 % 15
  EXPECT_EQ(particleRandom(), lcg.next());
}

TEST_F(Particles, MoveCirclesWhileDrifting) {
  ParticleSystem system(1, 10, 20, 0, 0);
  Particle& p = system.pool[0];
  p.vx = 3;
  p.vy = -2;
  system.move(0.5);
  EXPECT_EQ(p.x, float(10 + 0.5 * (10 + 3)));
  EXPECT_EQ(p.y, float(20 + 0.5 * (0 - 2)));
  EXPECT_EQ(p.angle, 0.017453292f);
  system.move(0.25);
  EXPECT_EQ(p.x, float(16.5 + 0.25 * (10 * std::cos(double(0.017453292f)) + 3)));
  EXPECT_EQ(p.angle, 0.017453292f + 0.017453292f);
}

TEST_F(Particles, UpdateFadesAndRebirthsWithElevenDraws) {
  ParticleSystem system(2, 160, 120, 0, 0);
  Lcg lcg;
  for (int k = 0; k < 16; ++k) lcg.next();
  system.baseAngle = 0.25f;
  Particle& dying = system.pool[0];
  Particle& living = system.pool[1];
  dying.x = 3;
  dying.life = 0.1f;
  living.life = 2;
  system.update(0.1);
  EXPECT_EQ(living.life, float(2 - 0.1 * 5));
  EXPECT_EQ(dying.x, 160);
  EXPECT_EQ(dying.y, 120);
  const int rare = lcg.next() % 1000 == 0;
  EXPECT_EQ(dying.life, float(rare + lcg.next() % 15));
  EXPECT_EQ(dying.vx, lcg.drift(10, 50));
  EXPECT_EQ(dying.vy, lcg.drift(10, 50));
  const float star[8] = {0.0f, 1.5707964f, 3.1415927f, 4.712389f, 5.4977875f, 0.7853982f, 2.3561945f, 3.926991f};
  EXPECT_EQ(dying.angle, 0.25f + star[lcg.next() % 8]);
  EXPECT_EQ(system.baseAngle, 0.25f + 0.017453292f);
  EXPECT_EQ(particleRandom(), lcg.next());
}

TEST_F(Particles, ZeroTimeStepOnlyTurnsTheStarAndInactiveNothingAtAll) {
  ParticleSystem system(4, 5, 6, 0, 0);
  const std::vector<Particle> before(system.pool, system.pool + 4);
  system.update(0);
  EXPECT_EQ(std::memcmp(before.data(), system.pool, sizeof(Particle) * 4), 0);
  EXPECT_EQ(system.baseAngle, 0.017453292f);

  system.active = false;
  uint32_t spritePixel = 0x00FFFFFF;
  const PixelSurface sprite = {&spritePixel, 1, 1};
  GuardedSurface target(16, 16);
  system.move(1);
  system.draw(target.surface, sprite);
  system.update(1);
  EXPECT_EQ(std::memcmp(before.data(), system.pool, sizeof(Particle) * 4), 0);
  EXPECT_EQ(system.baseAngle, 0.017453292f);
  EXPECT_EQ(target.countNot(0), 0u);

  ParticleSystem empty(0, 5, 6, 0, 0);
  empty.update(1);
  EXPECT_EQ(empty.baseAngle, 0.017453292f);
}

TEST_F(Particles, TintWrapsAndPlottingSaturates) {
  ParticleSystem system(0, 0, 0, 0, 0);
  EXPECT_EQ(system.tintColour(0x00FF0000, 2), 0x00FE0000u);  // 510 keeps its low byte
  EXPECT_EQ(system.tintColour(0x00FF0000, 0.5f), 0x007F0000u);
  EXPECT_EQ(system.tintColour(0xFF102030, 1), 0x00102030u);
  system.tint[1] = 2;
  EXPECT_EQ(system.tintColour(0x00008000, 1), 0u);  // 256 wraps to 0

  GuardedSurface s(4, 4);
  s.at(1, 1) = 0x00FFFFFF;
  plotAdditive(1, 1, 0x00FFFFFF, s.surface);
  EXPECT_EQ(s.at(1, 1), 0x00FFFFFFu);
  s.at(2, 2) = 0x01000000;
  plotAdditive(2.4f, 1.5f, 0x00804020, s.surface);  // rounds to column 2, row 2
  EXPECT_EQ(s.at(2, 2), 0x00402010u);
  plotAdditive(-1.6f, 0, 0x00FFFFFF, s.surface);
  plotAdditive(3.6f, 0, 0x00FFFFFF, s.surface);
  plotAdditive(0, std::nanf(""), 0x00FFFFFF, s.surface);
  EXPECT_TRUE(s.guardsIntact());
  GuardedSurface columnless(0, 3);
  plotAdditive(-0.8f, 1, 0x00FFFFFF, columnless.surface);  // -0.3 truncates to column 0
  EXPECT_TRUE(columnless.guardsIntact());
}

TEST_F(Particles, DrawSkipsSpritePixelsOffTheTargetByTheirUnroundedPosition) {
  ParticleSystem system(3, 0, 0, 0, 0);
  uint32_t spritePixel = 0x00804020;
  const PixelSurface sprite = {&spritePixel, 1, 1};
  GuardedSurface target(10, 4);
  system.pool[0].x = -0.3f;  // would round into column 0
  system.pool[0].y = 0;
  system.pool[1].x = 10 - 1.4f;  // lands in column 9
  system.pool[1].y = 1;
  system.pool[2].x = 10 - 0.6f;  // beyond the last column
  system.pool[2].y = 2;
  for (uint32_t k = 0; k < 3; ++k) system.pool[k].life = 1;
  system.draw(target.surface, sprite);
  EXPECT_EQ(target.at(9, 1), 0x00402010u);
  EXPECT_EQ(target.countNot(0), 1u);
  EXPECT_TRUE(target.guardsIntact());

  // Each sprite pixel at its own offset, scaled by the life.
  uint32_t block[4] = {0x00000010, 0x00000020, 0x00000030, 0x00000040};
  const PixelSurface sprite2 = {block, 2, 2};
  GuardedSurface t(10, 4);
  system.pool[0].x = 2;
  system.pool[0].y = 1;
  system.pool[0].life = 3;
  system.pool[1].x = system.pool[2].x = 50;
  system.draw(t.surface, sprite2);
  EXPECT_EQ(t.at(2, 1), 0x18u);
  EXPECT_EQ(t.at(3, 1), 0x30u);
  EXPECT_EQ(t.at(2, 2), 0x48u);
  EXPECT_EQ(t.at(3, 2), 0x60u);

  // An empty target takes nothing.
  GuardedSurface empty(0, 0);
  system.pool[0].x = system.pool[0].y = 0;
  system.draw(empty.surface, sprite2);
  EXPECT_TRUE(empty.guardsIntact());
}

// Every old channel value against every colour channel value, the three
// channels different at once so that a carry between them would show.
TEST_F(Particles, PlottingSaturatesEachChannelOnItsOwn) {
  GuardedSurface s(1, 1);
  for (uint32_t old = 0; old < 256; ++old) {
    for (uint32_t add = 0; add < 256; ++add) {
      const uint32_t oldRed = old, oldGreen = 255 - old, oldBlue = (old * 7) & 0xFF;
      const uint32_t red = add, green = (add * 13) & 0xFF, blue = 255 - add;
      s.at(0, 0) = 0xA5000000 | oldRed << 16 | oldGreen << 8 | oldBlue;
      plotAdditive(0, 0, 0x5A000000 | red << 16 | green << 8 | blue, s.surface);
      auto sum = [](uint32_t a, uint32_t b) { return std::min(a + b / 2, 255u); };
      const uint32_t expected = sum(oldRed, red) << 16 | sum(oldGreen, green) << 8 | sum(oldBlue, blue);
      ASSERT_EQ(s.at(0, 0), expected) << "old " << old << ", added " << add;
    }
  }
}

// draw against its definition, pixel by pixel through tintColour and
// plotAdditive, in the defined order: a sprite larger than the drawing's
// tiles, non-unit tints, lives that wrap the channels, lives outside the
// integer range and not a number, positions on rounding edges and across the
// target's borders.
TEST_F(Particles, DrawMatchesThePixelByPixelDefinition) {
  // Few enough particles that the sums stay mostly below saturation.
  constexpr uint32_t kCount = 200, kSpriteW = 19, kSpriteH = 17, kW = 200, kH = 150;
  // Non-unit tints, and the unit tint the demo uses, which has a path of its
  // own.
  const uint8_t tints[2][3] = {{1, 3, 200}, {1, 1, 1}};
  for (const auto& tint : tints) {
    SCOPED_TRACE(int(tint[2]));
    ParticleSystem system(kCount, 0, 0, 0, 0);
    for (int k = 0; k < 3; ++k) system.tint[k] = tint[k];
    Lcg lcg;
    std::vector<uint32_t> spritePixels(kSpriteW * kSpriteH);
    for (uint32_t& pixel : spritePixels) pixel = uint32_t(lcg.next()) << 17 ^ uint32_t(lcg.next());
    const PixelSurface sprite = {spritePixels.data(), kSpriteW, kSpriteH};
    const float edges[] = {-0.5f, 0.49999997f, 0.5f, 2.5f, 1e-7f, -1e-7f, kW - 1.5f, kW - 0.50001f, kH - 9.4f};
    const float lives[] = {0, 1, 15, 7.3f, 0.001f, 1e-30f, 40000, -3.5f, -40000, std::nanf(""), 32767.99f};
    for (uint32_t k = 0; k < kCount; ++k) {
      Particle& p = system.pool[k];
      const float fraction = float(lcg.next()) / 32768.0f;
      p.x = k % 3 == 0 ? edges[(k / 3) % 9] : float(lcg.next() % kW) - 20 + fraction;
      p.y = k % 5 == 0 ? edges[(k / 5) % 9] : float(lcg.next() % kH) - 20 + fraction;
      p.life = k % 2 == 0 ? lives[(k / 2) % 11] : float(lcg.next() % 16) - fraction;
    }

    GuardedSurface drawn(kW, kH, 0x01203040), expected(kW, kH, 0x01203040);
    system.draw(drawn.surface, sprite);
    for (uint32_t k = 0; k < kCount; ++k) {
      const Particle& p = system.pool[k];
      for (uint32_t c = 0; c < kSpriteW; ++c) {
        for (uint32_t r = 0; r < kSpriteH; ++r) {
          const double x = double(c) + p.x, y = double(r) + p.y;
          if (x < 0 || x > kW - 1 || y < 0 || y > kH - 1) continue;
          plotAdditive(float(x), float(y), system.tintColour(spritePixels[c + kSpriteW * r], p.life), expected.surface);
        }
      }
    }
    EXPECT_GT(drawn.countNot(0x00FFFFFF), kW * kH * 9 / 10);  // mostly unsaturated
    for (uint32_t y = 0; y < kH; ++y)
      for (uint32_t x = 0; x < kW; ++x) ASSERT_EQ(drawn.at(x, y), expected.at(x, y)) << x << ", " << y;
    EXPECT_TRUE(drawn.guardsIntact());
  }
}

// The integer scaling of a byte by a float equals the double product
// truncated, in all eight bits (drawing shows only the top seven): every
// byte, with about 128 factors in each binade of |f| < 2^15 of both signs,
// and the edges.
TEST(ByteScale, EqualsTheTruncatedDoubleProduct) {
  std::vector<float> factors = {0.0f, -0.0f, 1e-45f, 1.0f, 0.5f, 255.0f, 256.0f, 1.0f / 255, 32767.998f, -32767.998f,
                                0.99999994f, 1.0000001f, -1.0f, 7.3f, -7.3f};
  uint32_t top;
  const float limit = 32768.0f;
  std::memcpy(&top, &limit, 4);
  for (uint32_t bits = 0; bits < top; bits += 65521) {
    float f;
    std::memcpy(&f, &bits, 4);
    factors.push_back(f);
    factors.push_back(-f);
  }
  for (const float f : factors) {
    const ByteScale scale = byteScaleOf(f);
    for (uint32_t b = 0; b < 256; ++b) {
      const double product = double(b) * double(f);
      ASSERT_EQ(scaledByte(b, scale), uint32_t(int32_t(product)) & 0xFF) << f << " x " << b;
    }
  }
}

// A thousand particles for a few hundred frames of the fountain stay on
// the target, whatever the frame time.
TEST_F(Particles, FountainStaysOnTheTarget) {
  ParticleSystem system(1000, 160, 120, 0, 0);
  std::vector<uint32_t> sprite(64, 0x00FFFFFF);
  const PixelSurface image = {sprite.data(), 8, 8};
  GuardedSurface target(320, 240);
  const double steps[] = {0.016, 0.05, 0.0, 0.3, 1e-4};
  for (int frame = 0; frame < 300; ++frame) {
    const double dt = steps[frame % 5];
    system.move(dt);
    system.draw(target.surface, image);
    system.update(dt);
  }
  EXPECT_TRUE(target.guardsIntact());
  EXPECT_GT(target.countNot(0), 100u);
}

}  // namespace
