// The Screen in a web page: the frame buffer is converted row by row into a
// block of the module's memory laid out as the canvas wants it (red, green,
// blue, alpha bytes), and putImageData copies that block into the page's
// canvas through a view of the memory, with no copy in between.
#include <emscripten.h>

#include <cstdio>
#include <cstdlib>

#include "display/screen.h"

struct ScreenDevice {
  uint32_t* surface = nullptr;  // width x height pixels in the canvas's byte order
};

int32_t screenClassUseCount = 0;

namespace {

// clang-format off
// The canvas with id "screen", sized to the frame; false when the page has
// none or it gives no 2D context. The context is opaque, but Chromium still
// keeps the alpha bytes that putImageData brings: present sets them to full
// cover.
EM_JS(int, webScreenOpen, (const char* title, int width, int height), {
  const canvas = document.getElementById('screen');
  if (!canvas) return 0;
  const context = canvas.getContext('2d', {alpha: false});
  if (!context) return 0;
  canvas.width = width;
  canvas.height = height;
  document.title = UTF8ToString(title);
  Module.screen = {context: context, image: null, address: 0, width: width, height: height};
  return 1;
});

// The ImageData over the surface is made again whenever the memory has grown,
// which replaces the buffer every view looks into.
EM_JS(void, webScreenShow, (const void* surface), {
  const screen = Module.screen;
  if (!screen.image || screen.address != surface || screen.image.data.buffer !== HEAPU8.buffer) {
    const bytes = new Uint8ClampedArray(HEAPU8.buffer, surface, screen.width * screen.height * 4);
    screen.image = new ImageData(bytes, screen.width, screen.height);
    screen.address = surface;
  }
  screen.context.putImageData(screen.image, 0, 0);
});

EM_JS(void, webScreenClose, (), { Module.screen = null; });

// The page shows the text in place of the demo.
EM_JS(void, webShowFatalError, (const char* text), {
  const message = UTF8ToString(text);
  if (Module.onFatalError) Module.onFatalError(message);
});
// clang-format on

}  // namespace

void fatalError(const char* text) {
  std::fprintf(stderr, "%s\n", text);
  webShowFatalError(text);
  std::exit(-1);
}

Screen::Screen(const char* title, int32_t width_, int32_t height_, bool fullscreen_) {
  fullscreen = fullscreen_;
  width = width_;
  height = height_;
  pixelCount = uint32_t(width_) * uint32_t(height_);
  device = new ScreenDevice;
  if (!webScreenOpen(title, width_, height_)) fatalError("The page has no canvas with a 2D context");
  ++screenClassUseCount;

  frameBuffer = static_cast<uint32_t*>(std::malloc(size_t(pixelCount) * 4));
  if (!frameBuffer) fatalError("Virtual framebuffer not created due to lack of memory");
  device->surface = static_cast<uint32_t*>(std::malloc(size_t(pixelCount) * 4));
  if (!device->surface) fatalError("Canvas surface not created due to lack of memory");

  // Canvas pixels are the bytes R, G, B, A: as little-endian 32-bit words,
  // red in the low byte. present converts the whole picture in one loop.
  convertRow = chooseRowConverter(32, 0x000000FF, 0x0000FF00, 0x00FF0000);
  if (!convertRow) fatalError(unsupportedFormatText);
}

Screen::~Screen() {
  std::free(frameBuffer);
  std::free(device->surface);
  webScreenClose();
  --screenClassUseCount;
  delete device;
}

bool Screen::present() {
  // The rows lie back to back in both: one pass over the whole picture, red
  // and blue swapped and the alpha byte set to full cover, which the
  // compiler runs on vectors.
  const uint32_t* source = frameBuffer;
  uint32_t* target = device->surface;
  for (uint32_t i = 0; i < pixelCount; ++i) {
    const uint32_t p = source[i];
    target[i] = 0xFF000000u | (p & 0x0000FF00u) | ((p >> 16) & 0xFFu) | ((p & 0xFFu) << 16);
  }
  webScreenShow(device->surface);
  return true;
}
