// Fuzz target: the input is a point file. Besides running the loader under the
// sanitizers, it checks the result against the format read straight from the
// bytes: a signed 16-bit count (below zero meaning none), then that many
// 12-byte points, of which only the complete ones are kept.
#include <cstddef>
#include <cstdint>

#include "assets/assets.h"
#include "tests/fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::silenceStandardOutput();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PointList points{{1.0f, 2.0f, 3.0f}};  // whatever was there is replaced
  loadPointFile(points, fuzz::writeInput(data, size));

  size_t expected = 0;
  if (size >= 2) {
    const int32_t count = fuzz::int16At(data);
    const size_t complete = (size - 2) / 12;
    expected = count <= 0 ? 0 : (size_t(count) < complete ? size_t(count) : complete);
  }
  if (points.size() != expected) fuzz::fail("point count");
  for (size_t i = 0; i < expected; ++i) {
    const uint8_t* p = data + 2 + 12 * i;
    if (fuzz::floatBits(points[i].x) != fuzz::uint32At(p) || fuzz::floatBits(points[i].y) != fuzz::uint32At(p + 4) ||
        fuzz::floatBits(points[i].z) != fuzz::uint32At(p + 8)) {
      fuzz::fail("point bytes");
    }
  }
  return 0;
}
