// Writes the picture the demo shows on its first frame, as a binary PPM: the
// real frame step drawn into a headless Screen's frame buffer.
#include <cstdio>
#include <cstdlib>

#include "display/screen.h"
#include "driver/demo.h"

namespace {

// The frame step asks nothing of the platform while the picture is drawn.
class IdlePlatform final : public Platform {
 public:
  bool peekMessage(PlatformMessage&, bool) override { return false; }
  void dispatchMessage(const PlatformMessage&) override {}
  uint32_t milliseconds() override { return 0; }
  bool keyPressed(int) override { return false; }
  void postQuit(int) override {}
  void showCursor(bool) override {}
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s out.ppm\n", argv[0]);
    return 2;
  }
  Screen screen("Demo", 640, 480, false);
  IdlePlatform platform;
  DemoState state;
  state.frame.width = 320;
  state.frame.height = 240;
  state.frame.pixels = static_cast<uint32_t*>(std::malloc(size_t(state.frame.width) * state.frame.height * 4));
  if (!state.frame.pixels) return 1;
  renderScene(state, screen, platform);
  std::free(state.frame.pixels);

  std::FILE* file = std::fopen(argv[1], "wb");
  if (!file) {
    std::perror(argv[1]);
    return 1;
  }
  std::fprintf(file, "P6\n%d %d\n255\n", screen.width, screen.height);
  for (uint32_t i = 0; i < screen.pixelCount; ++i) {
    const uint32_t p = screen.frameBuffer[i];
    const unsigned char rgb[3] = {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)};
    std::fwrite(rgb, 1, 3, file);
  }
  return std::fclose(file) == 0 ? 0 : 1;
}
