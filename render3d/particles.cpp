// The particle fountain and its random numbers.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "render3d/convert.h"
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

// The pixel nearest (x, y) gets half of each colour channel added,
// saturating at 255.
inline void addHalfColour(float x, float y, uint32_t colour, PixelSurface& target) {
  const double column = double(x) + 0.5;
  const double row = double(y) + 0.5;
  if (!truncatesToIndexBelow(column, target.width) || !truncatesToIndexBelow(row, target.height)) return;
  uint32_t& pixel = target.pixels[size_t(uint32_t(row)) * target.width + uint32_t(column)];
  const uint32_t old = pixel;
  auto add = [&](int shift) {
    const uint32_t sum = ((colour >> shift) & 0xFF) / 2 + ((old >> shift) & 0xFF);
    return (sum < 255 ? sum : 255) << shift;
  };
  pixel = add(16) | add(8) | add(0);
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
    p.x = float(p.x + dt * (10 * std::cos(double(p.angle)) + p.vx));
    p.y = float(p.y + dt * (10 * std::sin(double(p.angle)) + p.vy));
    p.angle += kDegree;
  }
}

void ParticleSystem::draw(PixelSurface& target, const PixelSurface& sprite) const {
  if (!active) return;
  // In double, so that an empty target has no last column to wrap around to.
  const double lastColumn = double(target.width) - 1;
  const double lastRow = double(target.height) - 1;
  for (uint32_t k = 0; k < count; ++k) {
    const Particle& p = pool[k];
    for (uint32_t c = 0; c < sprite.width; ++c) {
      const double x = double(c) + p.x;
      if (x < 0 || x > lastColumn) continue;  // the unrounded position decides
      for (uint32_t r = 0; r < sprite.height; ++r) {
        const double y = double(r) + p.y;
        if (y < 0 || y > lastRow) continue;
        addHalfColour(float(x), float(y), tintColour(sprite.pixels[c + size_t(sprite.width) * r], p.life), target);
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

void plotAdditive(float x, float y, uint32_t colour, PixelSurface& target) { addHalfColour(x, y, colour, target); }
