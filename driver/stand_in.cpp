// A still test picture through the real 2D operations, shown until the scene
// timeline takes over: eight colour bars over a grey ramp, right half
// inverted, doubled into the screen's frame buffer.
#include "display/screen.h"
#include "driver/demo.h"

void renderScene(DemoState& state, Screen& screen, Platform&) {
  static const uint32_t bars[8] = {0xFFFFFF, 0xFFFF00, 0x00FFFF, 0x00FF00, 0xFF00FF, 0xFF0000, 0x0000FF, 0x000000};
  PixelSurface& frame = state.frame;
  fillSurface(frame, 0x202020);
  const uint32_t barHeight = frame.height * 2 / 3;
  for (uint32_t y = 0; y < frame.height; ++y) {
    uint32_t* row = frame.pixels + size_t(y) * frame.width;
    for (uint32_t x = 0; x < frame.width; ++x) {
      if (y < barHeight) {
        row[x] = bars[x * 8 / frame.width];
      } else {
        const uint32_t level = x * 255 / (frame.width - 1);
        row[x] = level << 16 | level << 8 | level;
      }
    }
  }
  invertRegion(frame.width / 2, frame.height * 5 / 6, frame);
  doubleToScreen(frame, screen);
}
