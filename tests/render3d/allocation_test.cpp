// Drawing must not touch the heap: the draws run every frame and the scenes
// call them thousands of times. This file replaces the global allocation
// functions of the test program with counting ones; the renderer's own
// blocks (depth buffer, particle pool) come from malloc in the constructors
// only, which the draws below never reach.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "render3d/render3d.h"
#include "tests/render3d/guarded_surface.h"

namespace {

std::atomic<bool> counting{false};
std::atomic<long> allocations{0};

void* allocate(std::size_t size) {
  if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return allocate(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

// Counts the allocations made while it lives.
class AllocationCounter {
 public:
  AllocationCounter() {
    allocations = 0;
    counting = true;
  }
  ~AllocationCounter() { counting = false; }
  long count() const { return allocations.load(); }
};

TEST(Allocation, TheCounterSeesAnAllocation) {
  AllocationCounter counter;
  int* volatile p = new int(3);  // volatile: the new-expression may not be elided
  delete p;
  EXPECT_EQ(counter.count(), 1);
}

TEST(Allocation, DrawsAllocateNothing) {
  const Vec3 cube[8] = {{-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1},
                        {-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1}};
  const int32_t indices[36] = {0, 1, 2, 0, 3, 2, 1, 2, 5, 2, 5, 6, 0, 4, 3, 3, 4, 7,
                               4, 5, 6, 4, 6, 7, 0, 1, 4, 1, 4, 5, 7, 6, 2, 7, 2, 3};
  GuardedSurface frame(80, 60, 0x00FFFFFF);
  GuardedSurface sprite(8, 8, 0x00804020);
  PixelSurface surface = frame.surface;
  Rasterizer r(surface, ViewportRect{0, 60, 0, 80});
  ParticleSystem particles(200, 40, 30, 0, 0);
  r.projection = perspective(1.5707964f, 1.3333334f, 1, 100);
  r.view = lookAt(Vec3{0.5f, 0.3f, 0.2f}, Vec3{0, 0, -1}, Vec3{0, 1, 0});
  r.clearDepthBuffer();

  AllocationCounter counter;
  // Whole, clipped (sides and near plane) and culled triangles, the
  // subtractive draw and the outlines, then a few particle frames.
  for (const float z : {-6.0f, -1.3f, -0.4f}) {
    r.model = translation(-0.8f, 0.2f, z) * rotationY(0.7f) * rotationX(0.3);
    r.drawShaded(cube, indices, 36, 0, 1, 0);
    r.drawSubtractive(cube, indices, 36, 0.5f, 0.5f, 0.5f);
    for (int k = 0; k < 8; ++k) r.drawLine(cube[k], cube[(k + 3) % 8], 0, 0, 0);
    const int32_t edges[3][2] = {{0, 6}, {1, 7}, {2, 4}};
    r.drawLines(cube, edges, 3, 0, 0, 0);
  }
  for (int frameNumber = 0; frameNumber < 20; ++frameNumber) {
    particles.move(0.02);
    particles.draw(surface, sprite.surface);
    particles.update(0.02);
  }
  EXPECT_EQ(counter.count(), 0);
  EXPECT_GT(frame.countNot(0x00FFFFFF), 100u);  // the draws did draw
  EXPECT_TRUE(frame.guardsIntact());
}

}  // namespace
