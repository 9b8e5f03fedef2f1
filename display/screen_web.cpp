// The Screen in a web page. A frame handed over as layers goes to two stacked
// canvases that the page's style scales to the same box, nearest-neighbour:
// the small picture into the canvas "screen" at its own size, and the overlay
// into "screen-overlay", see-through where it is black, redrawn only when a
// different overlay comes. The browser's compositor does the scaling and the
// overlaying, so a frame costs the page one copy of the small picture instead
// of composing, converting and copying 640 x 480 pixels. Any other frame is
// the whole frame buffer in the canvas "screen" at the screen's size.
//
// Pixels go to a canvas through a block of the module's memory laid out as
// the canvas wants it (red, green, blue, alpha bytes) and putImageData,
// reading the block through a view of the memory, with no copy in between.
#include <emscripten.h>

#include <cstdio>
#include <cstdlib>

#include "display/screen.h"

struct ScreenDevice {
  uint32_t* surface = nullptr;  // up to width x height pixels in the canvas's byte order
  const uint32_t* shownOverlay = nullptr;
  bool overlayShown = false;
};

int32_t screenClassUseCount = 0;

namespace {

// clang-format off
// The canvas with id "screen", sized to the frame; 0 when the page has none
// or it gives no 2D context, 2 when the page also has the overlay canvas
// "screen-overlay", 1 otherwise. The picture's context is opaque, but
// Chromium still keeps the alpha bytes that putImageData brings: the pixels
// are given full cover.
EM_JS(int, webScreenOpen, (const char* title, int width, int height), {
  const canvas = document.getElementById('screen');
  if (!canvas) return 0;
  const context = canvas.getContext('2d', {alpha: false});
  if (!context) return 0;
  canvas.width = width;
  canvas.height = height;
  document.title = UTF8ToString(title);
  const overlayCanvas = document.getElementById('screen-overlay');
  const overlay = overlayCanvas ? overlayCanvas.getContext('2d') : null;
  if (overlay) {
    overlayCanvas.width = width;
    overlayCanvas.height = height;
    overlayCanvas.hidden = true;
  }
  Module.screen = {canvas: canvas, context: context, overlay: overlay, image: null, address: 0,
                   width: width, height: height};
  return overlay ? 2 : 1;
});

// Shows width x height pixels at `pixels` in the canvas "screen", which
// takes that size. The ImageData over the memory is made again when the
// block or the size changes, or when the memory has grown, which replaces the
// buffer every view looks into.
EM_JS(void, webScreenShow, (const void* pixels, int width, int height), {
  const screen = Module.screen;
  const image = screen.image;
  if (!image || screen.address != pixels || image.width != width || image.height != height ||
      image.data.buffer !== HEAPU8.buffer) {
    const bytes = new Uint8ClampedArray(HEAPU8.buffer, pixels, width * height * 4);
    screen.image = new ImageData(bytes, width, height);
    screen.address = pixels;
  }
  if (screen.canvas.width != width || screen.canvas.height != height) {
    screen.canvas.width = width;
    screen.canvas.height = height;
  }
  screen.context.putImageData(screen.image, 0, 0);
});

// The overlay canvas shows the screen-sized pixels at `pixels` (null: the
// canvas is hidden). putImageData copies them: the block may be reused.
EM_JS(void, webScreenOverlay, (const void* pixels), {
  const screen = Module.screen;
  const canvas = screen.overlay.canvas;
  if (!pixels) {
    canvas.hidden = true;
    return;
  }
  const bytes = new Uint8ClampedArray(HEAPU8.buffer, pixels, screen.width * screen.height * 4);
  screen.overlay.putImageData(new ImageData(bytes, screen.width, screen.height), 0, 0);
  canvas.hidden = false;
});

EM_JS(void, webScreenClose, (), { Module.screen = null; });

// The page shows the text in place of the demo.
EM_JS(void, webShowFatalError, (const char* text), {
  const message = UTF8ToString(text);
  if (Module.onFatalError) Module.onFatalError(message);
});
// clang-format on

// 0x00RRGGBB to the canvas's bytes R, G, B, A as a little-endian word, fully
// covered. One loop over back-to-back rows, which the compiler runs on
// vectors.
void toCanvasOrder(const uint32_t* source, uint32_t* target, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t p = source[i];
    target[i] = 0xFF000000u | (p & 0x0000FF00u) | ((p >> 16) & 0xFFu) | ((p & 0xFFu) << 16);
  }
}

// As toCanvasOrder, black (all three colour bytes 0) fully see-through.
void toOverlayOrder(const uint32_t* source, uint32_t* target, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t p = source[i];
    const uint32_t cover = (p & 0x00FFFFFFu) ? 0xFF000000u : 0;
    target[i] = cover | (p & 0x0000FF00u) | ((p >> 16) & 0xFFu) | ((p & 0xFFu) << 16);
  }
}

void showOverlay(ScreenDevice& device, const uint32_t* overlay, uint32_t pixelCount) {
  if (overlay == device.shownOverlay && (overlay != nullptr) == device.overlayShown) return;
  if (overlay) toOverlayOrder(overlay, device.surface, pixelCount);
  webScreenOverlay(overlay ? device.surface : nullptr);
  device.shownOverlay = overlay;
  device.overlayShown = overlay != nullptr;
}

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
  const int canvases = webScreenOpen(title, width_, height_);
  if (!canvases) fatalError("The page has no canvas with a 2D context");
  takesLayers = canvases == 2;
  ++screenClassUseCount;

  frameBuffer = static_cast<uint32_t*>(std::malloc(size_t(pixelCount) * 4));
  if (!frameBuffer) fatalError("Virtual framebuffer not created due to lack of memory");
  device->surface = static_cast<uint32_t*>(std::malloc(size_t(pixelCount) * 4));
  if (!device->surface) fatalError("Canvas surface not created due to lack of memory");

  // Canvas pixels are the bytes R, G, B, A: as little-endian 32-bit words,
  // red in the low byte.
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
  if (layers.picture) {
    // The overlay first: its pixels pass through the same block, and
    // putImageData has copied them before the picture takes it.
    showOverlay(*device, layers.overlay, pixelCount);
    const uint32_t count = layers.width * layers.height;
    toCanvasOrder(layers.picture, device->surface, count);
    webScreenShow(device->surface, int(layers.width), int(layers.height));
    layers = {};
    return true;
  }
  if (takesLayers) showOverlay(*device, nullptr, pixelCount);
  toCanvasOrder(frameBuffer, device->surface, pixelCount);
  webScreenShow(device->surface, width, height);
  return true;
}
