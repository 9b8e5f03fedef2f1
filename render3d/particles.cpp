// The particle fountain and its random numbers.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "render3d/convert.h"
#include "render3d/maths.h"
#include "render3d/render3d.h"

namespace {

// The generator's state: one per process, used by the particles alone.
uint32_t randomState = 1;

constexpr float kDegree = 0.017453292f;  // pi / 180

// Added to the base angle at rebirth: the eight directions of the star.
constexpr float kBirthAngles[8] = {0.0f,       1.5707964f, 3.1415927f, 4.712389f,
                                   5.4977875f, 0.7853982f, 2.3561945f, 3.926991f};

// [rand() % chance == 0] - [rand() % chance == 0] - rand() % range + rand() % range,
// the four draws taken in that order.
float randomDrift(int chance, int range) {
  const int up = particleRandom() % chance == 0;
  const int down = particleRandom() % chance == 0;
  const int minus = particleRandom() % range;
  const int plus = particleRandom() % range;
  return float(up - down - minus + plus);
}

// Half of each colour channel added to the pixel, saturating at 255; the
// pixel's top byte becomes 0. All three channels at once: with the top bit of
// each old channel set aside, no channel sum reaches 256 and carries into the
// next; a channel overflows exactly when that top bit and the sum's are both
// set, and is then filled with ones.
inline void addHalfColour(uint32_t& pixel, uint32_t colour) {
  const uint32_t half = (colour >> 1) & 0x7F7F7F;
  const uint32_t topBits = pixel & 0x808080;
  const uint32_t low = (pixel & 0x7F7F7F) + half;
  const uint32_t overflow = low & topBits;
  pixel = (low ^ topBits) | ((overflow << 1) - (overflow >> 7));
}

}  // namespace

int particleRandom() {
  randomState = randomState * 214013u + 2531011u;
  return int((randomState >> 16) & 0x7FFF);
}

void resetParticleRandom() { randomState = 1; }

ParticleSystem::ParticleSystem(uint32_t particleCount, float emitterX, float emitterY, float emitterZ,
                               int32_t reservedValue)
    : tint{1, 1, 1},
      active(true),
      pool(nullptr),
      emitter{emitterX, emitterY, emitterZ},
      initialLife(1.0),
      count(particleCount),
      baseAngle(0),
      reserved(reservedValue) {
  if (count == 0) return;
  if (uint64_t(count) * sizeof(Particle) > SIZE_MAX ||
      !(pool = static_cast<Particle*>(std::malloc(size_t(count) * sizeof(Particle))))) {
    std::fprintf(stderr, "Out of memory: cannot allocate %u particles\n", unsigned(count));
    std::exit(EXIT_FAILURE);
  }
  for (uint32_t k = 0; k < count; ++k) {
    Particle& p = pool[k];
    p.x = emitter[0];
    p.y = emitter[1];
    p.life = float(initialLife);
    p.vx = randomDrift(100, 15);
    p.vy = randomDrift(100, 15);
    p.angle = 0;
  }
}

ParticleSystem::~ParticleSystem() { std::free(pool); }

void ParticleSystem::move(double dt) {
  if (!active) return;
  for (uint32_t k = 0; k < count; ++k) {
    Particle& p = pool[k];
    // Circling at 10 pixels per second on top of the drift; the heading turns
    // a degree per frame whatever the frame's length.
    double sine, cosine;
    maths::sinCos(double(p.angle), sine, cosine);
    p.x = float(p.x + dt * (10 * cosine + p.vx));
    p.y = float(p.y + dt * (10 * sine + p.vy));
    p.angle += kDegree;
  }
}

void ParticleSystem::draw(PixelSurface& target, const PixelSurface& sprite) const {
  if (!active) return;
  // In double, so that an empty target has no last column to wrap around to.
  const double lastColumn = double(target.width) - 1;
  const double lastRow = double(target.height) - 1;
  // Positions depend on the sprite column alone or the row alone, so they are
  // worked out once per column and row of a tile, not per pixel. Saturating
  // additions of non-negative values give the same sum in any order, so the
  // pixels are plotted row by row.
  constexpr uint32_t kTile = 16;
  constexpr uint32_t kSkip = UINT32_MAX;
  uint32_t columns[kTile], rows[kTile];  // target index, or kSkip
  // The one rule for both axes: skip by the unrounded position, then take the
  // nearest pixel of the position rounded to float.
  auto place = [](double position, double last, uint32_t size) {
    if (position < 0 || position > last) return kSkip;  // the unrounded position decides
    const double rounded = double(float(position)) + 0.5;
    return truncatesToIndexBelow(rounded, size) ? uint32_t(rounded) : kSkip;
  };
  const uint32_t red = tint[0], green = tint[1], blue = tint[2];
  const bool unitTint = red == 1 && green == 1 && blue == 1;  // as the driver leaves it
  // Other tints: each channel of each sprite pixel times its tint, as the
  // double that multiplies a particle's life, worked out once per draw for a
  // sprite of up to kTable pixels, which leaves a multiplication and a conversion per
  // channel and pixel (the demo's sprite has 64).
  constexpr uint32_t kTable = 256;
  const size_t spritePixels = size_t(sprite.width) * sprite.height;
  const bool tabled = !unitTint && spritePixels <= kTable;
  double channels[3][kTable];
  if (tabled) {
    for (size_t i = 0; i < spritePixels; ++i) {
      const uint32_t colour = sprite.pixels[i];
      channels[0][i] = double(((colour >> 16) & 0xFF) * red);
      channels[1][i] = double(((colour >> 8) & 0xFF) * green);
      channels[2][i] = double((colour & 0xFF) * blue);
    }
  }
  for (uint32_t k = 0; k < count; ++k) {
    const Particle& p = pool[k];
    // Below 32768 in size, every channel product (at most 255 x 255) times
    // life stays inside a 32-bit integer, so the range test of tintColour
    // can be left out. The product is exact in double either way.
    const bool plainTint = p.life > -32768.0f && p.life < 32768.0f;
    const double life = p.life;
    const ByteScale scale = plainTint ? byteScaleOf(p.life) : ByteScale{0, 0, 0};
    for (uint32_t c0 = 0; c0 < sprite.width; c0 += kTile) {
      const uint32_t tileColumns = std::min(kTile, sprite.width - c0);
      for (uint32_t c = 0; c < tileColumns; ++c) columns[c] = place(double(c0 + c) + p.x, lastColumn, target.width);
      // Away from the target's edges the columns follow each other, and a
      // row is plotted as one run of pixels, on vectors.
      bool run = columns[0] != kSkip;
      for (uint32_t c = 1; c < tileColumns; ++c) run = run && columns[c] == columns[0] + c;
      for (uint32_t r0 = 0; r0 < sprite.height; r0 += kTile) {
        const uint32_t tileRows = std::min(kTile, sprite.height - r0);
        for (uint32_t r = 0; r < tileRows; ++r) rows[r] = place(double(r0 + r) + p.y, lastRow, target.height);
        for (uint32_t r = 0; r < tileRows; ++r) {
          if (rows[r] == kSkip) continue;
          uint32_t* const targetRow = target.pixels + size_t(rows[r]) * target.width;
          const uint32_t* const spriteRow = sprite.pixels + size_t(sprite.width) * (r0 + r) + c0;
          // Tinted first, in loops without branches that the compiler can
          // vectorise, then plotted. With the unit tint the driver leaves,
          // each channel is scaled by life in integers.
          uint32_t tinted[kTile];
          if (plainTint && unitTint) {
            for (uint32_t c = 0; c < tileColumns; ++c) {
              const uint32_t colour = spriteRow[c];
              tinted[c] = scaledByte((colour >> 16) & 0xFF, scale) << 16 |
                          scaledByte((colour >> 8) & 0xFF, scale) << 8 | scaledByte(colour & 0xFF, scale);
            }
          } else if (plainTint && tabled) {
            const size_t first = size_t(sprite.width) * (r0 + r) + c0;
            const double* const redRow = channels[0] + first;
            const double* const greenRow = channels[1] + first;
            const double* const blueRow = channels[2] + first;
            for (uint32_t c = 0; c < tileColumns; ++c) {
              const uint32_t redValue = uint32_t(int32_t(redRow[c] * life)) & 0xFF;
              const uint32_t greenValue = uint32_t(int32_t(greenRow[c] * life)) & 0xFF;
              const uint32_t blueValue = uint32_t(int32_t(blueRow[c] * life)) & 0xFF;
              tinted[c] = redValue << 16 | greenValue << 8 | blueValue;
            }
          } else if (plainTint) {
            for (uint32_t c = 0; c < tileColumns; ++c) {
              const uint32_t colour = spriteRow[c];
              auto channel = [&](int shift, uint32_t channelTint) {
                const double value = double(((colour >> shift) & 0xFF) * channelTint) * life;
                return (uint32_t(int32_t(value)) & 0xFF) << shift;
              };
              tinted[c] = channel(16, red) | channel(8, green) | channel(0, blue);
            }
          } else {
            for (uint32_t c = 0; c < tileColumns; ++c) tinted[c] = tintColour(spriteRow[c], p.life);
          }
          if (run) {
            uint32_t* const out = targetRow + columns[0];
            for (uint32_t c = 0; c < tileColumns; ++c) addHalfColour(out[c], tinted[c]);
          } else {
            for (uint32_t c = 0; c < tileColumns; ++c)
              if (columns[c] != kSkip) addHalfColour(targetRow[columns[c]], tinted[c]);
          }
        }
      }
    }
  }
}

void ParticleSystem::update(double dt) {
  if (!active) return;
  for (uint32_t k = 0; k < count; ++k) {
    Particle& p = pool[k];
    p.life = float(p.life - dt * 5);
    if (p.life < 0) {
      p.x = emitter[0];
      p.y = emitter[1];
      const int rare = particleRandom() % 1000 == 0;
      p.life = float(rare + particleRandom() % 15);
      p.vx = randomDrift(10, 50);
      p.vy = randomDrift(10, 50);
      p.angle = baseAngle + kBirthAngles[particleRandom() % 8];
    }
  }
  baseAngle += kDegree;
}

uint32_t ParticleSystem::tintColour(uint32_t colour, float factor) const {
  auto channel = [&](int shift, uint8_t channelTint) {
    const float scaled = float(((colour >> shift) & 0xFF) * channelTint);
    return truncatedLowByte(double(scaled) * factor) << shift;
  };
  return channel(16, tint[0]) | channel(8, tint[1]) | channel(0, tint[2]);
}

void plotAdditive(float x, float y, uint32_t colour, PixelSurface& target) {
  // The pixel nearest (x, y).
  const double column = double(x) + 0.5;
  const double row = double(y) + 0.5;
  if (!truncatesToIndexBelow(column, target.width) || !truncatesToIndexBelow(row, target.height)) return;
  addHalfColour(target.pixels[size_t(uint32_t(row)) * target.width + uint32_t(column)], colour);
}
