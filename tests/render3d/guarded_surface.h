// Test surfaces with canary words around their pixels and depth entries, so
// that a write outside the target shows up even without AddressSanitizer.
#pragma once

#include <cstdint>
#include <vector>

#include "surface/surface.h"

class GuardedSurface {
 public:
  static constexpr size_t kGuard = 256;
  static constexpr uint32_t kCanary = 0xDEADBEEF;
  static constexpr float kDepthCanary = 12345.0f;

  GuardedSurface(uint32_t width, uint32_t height, uint32_t fill = 0)
      : pixels_(size_t(width) * height + 2 * kGuard, kCanary),
        depth_(size_t(width) * height + 2 * kGuard, kDepthCanary) {
    surface.pixels = pixels_.data() + kGuard;
    surface.width = width;
    surface.height = height;
    for (size_t i = 0; i < count(); ++i) surface.pixels[i] = fill;
    for (size_t i = 0; i < count(); ++i) depth()[i] = 0.0f;
  }
  GuardedSurface(const GuardedSurface&) = delete;
  GuardedSurface& operator=(const GuardedSurface&) = delete;

  size_t count() const { return size_t(surface.width) * surface.height; }
  float* depth() { return depth_.data() + kGuard; }
  uint32_t& at(uint32_t x, uint32_t y) { return surface.pixels[size_t(y) * surface.width + x]; }
  float& depthAt(uint32_t x, uint32_t y) { return depth()[size_t(y) * surface.width + x]; }

  bool guardsIntact() const {
    for (size_t i = 0; i < kGuard; ++i) {
      if (pixels_[i] != kCanary || pixels_[kGuard + count() + i] != kCanary) return false;
      if (depth_[i] != kDepthCanary || depth_[kGuard + count() + i] != kDepthCanary) return false;
    }
    return true;
  }

  // Pixels whose value differs from `value`.
  size_t countNot(uint32_t value) const {
    size_t n = 0;
    for (size_t i = 0; i < count(); ++i) n += surface.pixels[i] != value;
    return n;
  }

  PixelSurface surface;

 private:
  std::vector<uint32_t> pixels_;
  std::vector<float> depth_;
};
