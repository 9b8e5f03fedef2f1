// Speed of the renderer's inner loops and of whole draws at the demo's sizes.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "render3d/render3d.h"

namespace {

constexpr uint32_t kWidth = 320, kHeight = 240;

struct Target {
  std::vector<uint32_t> pixels = std::vector<uint32_t>(kWidth * kHeight, 0x00808080);
  std::vector<float> depth = std::vector<float>(kWidth * kHeight, 0.0f);
  PixelSurface surface = {pixels.data(), kWidth, kHeight};
  void clearDepth() { std::fill(depth.begin(), depth.end(), 0.0f); }
};

struct Triangle {
  Vec4 a, b, c;
};

// Triangles of about 2000 pixels at random places, turns and depths, with
// the number of pixels they cover between them.
struct TriangleSet {
  std::vector<Triangle> triangles;
  uint64_t pixels = 0;

  TriangleSet() {
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> cx(45, kWidth - 45), cy(45, kHeight - 45), turn(0, 6.2831853f),
        z(-0.95f, -0.05f);
    const float radius = 39.2f;  // an equilateral triangle of this circumradius covers about 2000 pixels
    Target count;
    for (int k = 0; k < 64; ++k) {
      const float x = cx(rng), y = cy(rng), t = turn(rng);
      Vec4 v[3];
      for (int i = 0; i < 3; ++i) {
        const float angle = t + float(i) * 2.0943951f;
        v[i] = Vec4{x + radius * std::cos(angle), y + radius * std::sin(angle), z(rng), 1};
      }
      triangles.push_back({v[0], v[1], v[2]});
      std::fill(count.pixels.begin(), count.pixels.end(), 0x00808080);
      fillTriangleSubtract(v[0], v[1], v[2], count.surface, 0x00010101);
      for (uint32_t p : count.pixels) pixels += p != 0x00808080;
    }
  }
};

const TriangleSet& triangleSet() {
  static const TriangleSet set;
  return set;
}

void BM_FillTriangleSubtract(benchmark::State& state) {
  const TriangleSet& set = triangleSet();
  Target target;
  for (auto _ : state) {
    for (const Triangle& t : set.triangles) fillTriangleSubtract(t.a, t.b, t.c, target.surface, 0x00010203);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations() * set.pixels));
  state.counters["pixels/triangle"] = double(set.pixels) / double(set.triangles.size());
}
BENCHMARK(BM_FillTriangleSubtract);

// Every pixel passes the depth test: the buffer is cleared before each round.
void BM_FillTriangleDepth(benchmark::State& state) {
  const TriangleSet& set = triangleSet();
  Target target;
  for (auto _ : state) {
    state.PauseTiming();
    target.clearDepth();
    state.ResumeTiming();
    for (const Triangle& t : set.triangles) {
      fillTriangleDepth(t.a, t.b, t.c, target.surface, target.depth.data(), 0x0100FF00);
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations() * set.pixels));
}
BENCHMARK(BM_FillTriangleDepth);

// Every pixel fails the depth test: the same triangles again over themselves.
void BM_FillTriangleDepthHidden(benchmark::State& state) {
  const TriangleSet& set = triangleSet();
  Target target;
  for (auto _ : state) {
    state.PauseTiming();
    std::fill(target.depth.begin(), target.depth.end(), -1e30f);
    state.ResumeTiming();
    for (const Triangle& t : set.triangles) {
      fillTriangleDepth(t.a, t.b, t.c, target.surface, target.depth.data(), 0x0100FF00);
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations() * set.pixels));
}
BENCHMARK(BM_FillTriangleDepthHidden);

// A torus of 50 x 20 quads: 2000 triangles, about half of them facing away.
struct Torus {
  std::vector<Vec3> vertices;
  std::vector<int32_t> indices;
  Torus() {
    const int rings = 50, sides = 20;
    for (int i = 0; i < rings; ++i) {
      for (int j = 0; j < sides; ++j) {
        const double u = 2 * 3.141592653589793 * i / rings, v = 2 * 3.141592653589793 * j / sides;
        const double r = 2 + 0.8 * std::cos(v);
        vertices.push_back(Vec3{float(r * std::cos(u)), float(0.8 * std::sin(v)), float(r * std::sin(u))});
      }
    }
    for (int i = 0; i < rings; ++i) {
      for (int j = 0; j < sides; ++j) {
        const int a = i * sides + j, b = ((i + 1) % rings) * sides + j;
        const int c = ((i + 1) % rings) * sides + (j + 1) % sides, d = i * sides + (j + 1) % sides;
        indices.insert(indices.end(), {a, b, c, a, c, d});
      }
    }
  }
};

void setUpRasterizer(Rasterizer& r) {
  r.model = translation(0, 0, -5.5f) * rotationY(0.5235988f) * rotationX(0.9);
  setIdentity(r.view);
  r.projection = perspective(1.5707964f, 1.3333334f, 1, 100);
}

void BM_DrawShadedMesh(benchmark::State& state) {
  const Torus torus;
  Target target;
  Rasterizer r(target.surface, ViewportRect{0, int32_t(kHeight), 0, int32_t(kWidth)});
  setUpRasterizer(r);
  for (auto _ : state) {
    state.PauseTiming();
    r.clearDepthBuffer();
    state.ResumeTiming();
    r.drawShaded(torus.vertices.data(), torus.indices.data(), int32_t(torus.indices.size()), 0, 1, 0);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations() * torus.indices.size() / 3));  // triangles
}
BENCHMARK(BM_DrawShadedMesh)->Unit(benchmark::kMillisecond);

void BM_DrawSubtractiveMesh(benchmark::State& state) {
  const Torus torus;
  Target target;
  Rasterizer r(target.surface, ViewportRect{0, int32_t(kHeight), 0, int32_t(kWidth)});
  setUpRasterizer(r);
  for (auto _ : state) {
    r.drawSubtractive(torus.vertices.data(), torus.indices.data(), int32_t(torus.indices.size()), 0.5f, 0.5f, 0.5f);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations() * torus.indices.size() / 3));
}
BENCHMARK(BM_DrawSubtractiveMesh)->Unit(benchmark::kMillisecond);

// The cube field of the last scene: 14 x 14 cubes, each 12 subtracted
// triangles and its 12 outline edges in one batch, as the scene draws them.
void BM_CubeField(benchmark::State& state) {
  static const Vec3 corners[8] = {{-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1},
                                  {-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1}};
  static const int32_t indices[36] = {0, 1, 2, 0, 3, 2, 1, 2, 5, 2, 5, 6, 0, 4, 3, 3, 4, 7,
                                      4, 5, 6, 4, 6, 7, 0, 1, 4, 1, 4, 5, 7, 6, 2, 7, 2, 3};
  static const int32_t edges[12][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6},
                                       {6, 7}, {7, 4}, {0, 4}, {1, 5}, {3, 7}, {2, 6}};
  Target target;
  Rasterizer r(target.surface, ViewportRect{0, int32_t(kHeight), 0, int32_t(kWidth)});
  setIdentity(r.view);
  r.projection = perspective(1.5707964f, 1.3333334f, 1, 100);
  for (auto _ : state) {
    for (float i = -20; i < 20; i += 3) {
      const double s = std::sin(i * 3.1415927f * 0.08 + 1.0);
      for (float j = -20; j < 20; j += 3) {
        r.model = translation(i, j, float(std::cos(j * 0.08 + 1.0) * s * 5 - 30));
        r.drawSubtractive(corners, indices, 36, 0, 0, 0);
        r.drawLines(corners, edges, 12, 0, 0, 0);
      }
    }
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_CubeField)->Unit(benchmark::kMillisecond);

// One frame of the particle scenes: move, draw and update of 1000 particles
// with an 8 x 8 sprite into 320 x 240.
void BM_ParticleFrame(benchmark::State& state) {
  ParticleSystem particles(1000, 160, 120, 0, 0);
  std::vector<uint32_t> sprite(64);
  for (int k = 0; k < 64; ++k) sprite[k] = uint32_t(k * 4) << 16 | uint32_t(255 - k * 4) << 8 | 0x40;
  const PixelSurface image = {sprite.data(), 8, 8};
  Target target;
  // Let the fountain spread before timing.
  for (int frame = 0; frame < 200; ++frame) {
    particles.move(0.016);
    particles.update(0.016);
  }
  for (auto _ : state) {
    particles.move(0.016);
    particles.draw(target.surface, image);
    particles.update(0.016);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations() * 1000));  // particles
}
BENCHMARK(BM_ParticleFrame)->Unit(benchmark::kMicrosecond);

}  // namespace
