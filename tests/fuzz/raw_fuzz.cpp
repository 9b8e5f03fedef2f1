// Fuzz target: the input is a raw image, loaded at both sizes the demo uses
// (the 640 x 480 mask and the 8 x 8 sprite). Each pixel must be the file's
// three bytes as 0x01RRGGBB, and every pixel the file does not supply in full
// must be 0.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "assets/assets.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

void loadAndCheck(const char* path, const uint8_t* data, size_t size, int32_t width, int32_t height) {
  PixelSurface surface;
  loadRawImage(path, width, height, surface);
  if (!surface.pixels || surface.width != uint32_t(width) || surface.height != uint32_t(height)) {
    fuzz::fail("surface size");
  }
  const size_t count = size_t(width) * size_t(height);
  const size_t supplied = size / 3 < count ? size / 3 : count;
  for (size_t i = 0; i < supplied; ++i) {
    const uint8_t* p = data + 3 * i;
    const uint32_t expected = 0x01000000u | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    if (surface.pixels[i] != expected) fuzz::fail("pixel from the file");
  }
  // Past the data: the whole rest of the sprite; of the mask, a stretch after
  // the last supplied pixel and its last row (reading all of its untouched
  // pages on every run would cost more than the load itself).
  const size_t window = supplied + 4096 < count ? supplied + 4096 : count;
  for (size_t i = supplied; i < window; ++i) {
    if (surface.pixels[i] != 0) fuzz::fail("pixel past the end of the file");
  }
  for (size_t i = count - size_t(width) > window ? count - size_t(width) : window; i < count; ++i) {
    if (surface.pixels[i] != 0) fuzz::fail("pixel past the end of the file");
  }
  std::free(surface.pixels);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::silenceStandardOutput();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* path = fuzz::writeInput(data, size);
  loadAndCheck(path, data, size, 8, 8);
  loadAndCheck(path, data, size, 640, 480);
  return 0;
}
