// A Screen with no window: the frame buffer stays in memory and present
// converts it into an in-memory 32-bit surface, as a display would. Serves
// the tests and the offline tools.
#include <cstdio>
#include <cstdlib>

#include "display/screen.h"

struct ScreenDevice {
  uint32_t* surface = nullptr;  // the "display", X8R8G8B8
};

int32_t screenClassUseCount = 0;

void fatalError(const char* text) {
  std::fprintf(stderr, "%s\n", text);
  std::fflush(stderr);
  std::exit(-1);
}

Screen::Screen(const char*, int32_t width_, int32_t height_, bool fullscreen_) {
  fullscreen = fullscreen_;
  width = width_;
  height = height_;
  pixelCount = uint32_t(width_) * uint32_t(height_);
  device = new ScreenDevice;
  ++screenClassUseCount;
  frameBuffer = static_cast<uint32_t*>(std::malloc(size_t(pixelCount) * 4));
  if (!frameBuffer) fatalError("Virtual framebuffer not created due to lack of memory");
  device->surface = static_cast<uint32_t*>(std::malloc(size_t(pixelCount) * 4));
  if (!device->surface) fatalError("Virtual framebuffer not created due to lack of memory");
  convertRow = copyRow32;
}

Screen::~Screen() {
  std::free(frameBuffer);
  std::free(device->surface);
  --screenClassUseCount;
  delete device;
}

bool Screen::present() {
  for (int32_t y = 0; y < height; ++y) {
    convertRow(frameBuffer + size_t(y) * uint32_t(width), device->surface + size_t(y) * uint32_t(width),
               uint32_t(width));
  }
  return true;
}
