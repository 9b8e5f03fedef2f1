#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "assets/assets.h"
#include "assets/file_path.h"

void loadRawImage(const char* path, int32_t width, int32_t height, PixelSurface& surface) {
  DataFile data(path);
  std::FILE* file = data.file;
  const bool opened = file != nullptr;

  surface.pixels = nullptr;
  surface.width = 0;
  surface.height = 0;
  if (width <= 0 || height <= 0) return;
  // A size whose block could not even be counted (possible with a 32-bit
  // size_t) is treated like a failed allocation.
  const uint64_t wanted = uint64_t(uint32_t(width)) * uint64_t(uint32_t(height));
  if (wanted > SIZE_MAX / sizeof(uint32_t)) return;
  const size_t count = size_t(wanted);
  // calloc: whatever the file does not supply stays 0, black and so transparent.
  uint32_t* pixels = static_cast<uint32_t*>(std::calloc(count, sizeof(uint32_t)));
  if (!pixels) return;
  surface.pixels = pixels;
  surface.width = uint32_t(width);
  surface.height = uint32_t(height);
  if (!opened) return;

  // Whole pixels only: a pixel cut short by the end of the file stays 0.
  constexpr size_t kChunkPixels = 1024;
  unsigned char chunk[kChunkPixels * 3];
  size_t done = 0;
  while (done < count) {
    const size_t want = count - done < kChunkPixels ? count - done : kChunkPixels;
    const size_t got = std::fread(chunk, 1, want * 3, file) / 3;
    for (size_t i = 0; i < got; ++i) {
      const unsigned char* p = chunk + 3 * i;
      pixels[done + i] = 0x01000000u | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | uint32_t(p[2]);
    }
    done += got;
    if (got < want) break;
  }
}
