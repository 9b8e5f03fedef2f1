// The per-frame whole-image operations, each beside a plain memcpy of the
// 640 x 480 frame as the floor: every one touches the whole frame buffer once,
// so each should stay within a small factor of that copy (3x is the target).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "display/row_convert.h"
#include "display/screen.h"
#include "surface/surface.h"

namespace {

constexpr int32_t screenWidth = 640;
constexpr int32_t screenHeight = 480;
constexpr size_t framePixels = size_t(screenWidth) * screenHeight;
constexpr size_t frameBytes = framePixels * 4;

// A surface whose pixels are a cheap function of their index.
struct OwnedSurface {
  std::vector<uint32_t> block;
  PixelSurface surface;
  OwnedSurface(uint32_t width, uint32_t height) : block(size_t(width) * height) {
    for (size_t i = 0; i < block.size(); ++i) block[i] = uint32_t(i * 2654435761u) & 0x00FFFFFF;
    surface.pixels = block.data();
    surface.width = width;
    surface.height = height;
  }
};

Screen& screen() {
  static Screen instance("Demo", screenWidth, screenHeight, false);
  return instance;
}

void BM_MemcpyFrame(benchmark::State& state) {
  std::vector<uint32_t> source(framePixels, 0x123456), destination(framePixels);
  for (auto _ : state) {
    std::memcpy(destination.data(), source.data(), frameBytes);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(frameBytes));
}
BENCHMARK(BM_MemcpyFrame);

void BM_DoubleToScreen(benchmark::State& state) {
  OwnedSurface frame(320, 240);
  for (auto _ : state) {
    doubleToScreen(frame.surface, screen());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(frameBytes));
}
BENCHMARK(BM_DoubleToScreen);

void BM_ScaleToScreen(benchmark::State& state) {
  OwnedSurface frame(10, 15);
  for (auto _ : state) {
    scaleToScreen(frame.surface, screen(), 64, 32);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(frameBytes));
}
BENCHMARK(BM_ScaleToScreen);

// A mask like the demo's: black with a border and blocks of lettering, so
// that long runs of each kind alternate.
OwnedSurface demoLikeMask() {
  OwnedSurface mask(screenWidth, screenHeight);
  for (uint32_t y = 0; y < uint32_t(screenHeight); ++y) {
    for (uint32_t x = 0; x < uint32_t(screenWidth); ++x) {
      const bool border = x < 16 || x >= 624 || y < 16 || y >= 464;
      const bool lettering = y >= 400 && y < 440 && (x / 6) % 3 != 2;
      uint32_t& p = mask.block[size_t(y) * screenWidth + x];
      p = border || lettering ? (0x01000000 | p | 1) : 0x01000000;
    }
  }
  return mask;
}

void BM_OverlayNonBlack(benchmark::State& state) {
  const OwnedSurface mask = demoLikeMask();
  for (auto _ : state) {
    overlayNonBlack(mask.surface, screen());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(frameBytes));
}
BENCHMARK(BM_OverlayNonBlack);

// What the full-size mesh scenes do per frame: the picture doubled and the
// mask laid over it, as two passes and as the one pass they use.
void BM_DoubleThenOverlay(benchmark::State& state) {
  OwnedSurface frame(320, 240);
  const OwnedSurface mask = demoLikeMask();
  for (auto _ : state) {
    scaleToScreen(frame.surface, screen(), 2, 2);
    overlayNonBlack(mask.surface, screen());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(frameBytes));
}
BENCHMARK(BM_DoubleThenOverlay);

void BM_DoubleUnderMask(benchmark::State& state) {
  OwnedSurface frame(320, 240);
  const OwnedSurface mask = demoLikeMask();
  for (auto _ : state) {
    scaleToScreenUnderMask(frame.surface, mask.surface, screen(), 2, 2);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(frameBytes));
}
BENCHMARK(BM_DoubleUnderMask);

// The worst case for a branch per pixel: black and colour at random.
void BM_OverlayNonBlackRandom(benchmark::State& state) {
  OwnedSurface mask(screenWidth, screenHeight);
  uint32_t seed = 1;
  for (uint32_t& p : mask.block) {
    seed = seed * 1103515245u + 12345u;
    p = (seed >> 16) & 1 ? (p | 1) : 0x01000000;
  }
  for (auto _ : state) {
    overlayNonBlack(mask.surface, screen());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(frameBytes));
}
BENCHMARK(BM_OverlayNonBlackRandom);

// present's conversion on a 32-bit display: one converter call per row.
void BM_CopyRow32Frame(benchmark::State& state) {
  std::vector<uint32_t> source(framePixels, 0x123456), destination(framePixels);
  const RowConverter convert = chooseRowConverter(32, 0xFF0000, 0x00FF00, 0x0000FF);
  for (auto _ : state) {
    for (int32_t y = 0; y < screenHeight; ++y) {
      convert(source.data() + size_t(y) * screenWidth, destination.data() + size_t(y) * screenWidth,
              uint32_t(screenWidth));
    }
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(frameBytes));
}
BENCHMARK(BM_CopyRow32Frame);

}  // namespace
