#include "surface/surface.h"

#include <cstddef>

#include "display/screen.h"

void fillSurface(PixelSurface& surface, uint32_t value) {
  const size_t count = size_t(surface.width) * surface.height;
  uint32_t* p = surface.pixels;
  for (size_t i = 0; i < count; ++i) p[i] = value;
}

// Each pixel of the region is visited once, so the order of the visits does
// not matter; rows are walked in memory order.
void invertRegion(uint32_t x0, uint32_t y0, PixelSurface& surface) {
  if (x0 >= surface.width) return;
  for (uint32_t y = y0; y < surface.height; ++y) {
    uint32_t* row = surface.pixels + size_t(y) * surface.width;
    for (uint32_t x = x0; x < surface.width; ++x) row[x] = ~row[x] & 0x00FFFFFFu;
  }
}

void complementRegion(uint32_t value, uint32_t x0, uint32_t y0, PixelSurface& surface) {
  if (x0 >= surface.width) return;
  const uint32_t v = value & 0xFF;
  for (uint32_t y = y0; y < surface.height; ++y) {
    uint32_t* row = surface.pixels + size_t(y) * surface.width;
    for (uint32_t x = x0; x < surface.width; ++x) {
      const uint32_t p = row[x];
      const uint32_t r = (v - ((p >> 16) & 0xFF)) & 0xFF;
      const uint32_t g = (v - ((p >> 8) & 0xFF)) & 0xFF;
      const uint32_t b = (v - (p & 0xFF)) & 0xFF;
      row[x] = (r << 16) | (g << 8) | b;
    }
  }
}

void doubleInto(const PixelSurface& surface, uint32_t* frameBuffer) {
  const uint32_t w = surface.width;
  uint32_t* d = frameBuffer;
  for (uint32_t y = 0; y < surface.height; ++y) {
    const uint32_t* src = surface.pixels + size_t(y) * w;
    uint32_t* first = d;
    for (uint32_t x = 0; x < w; ++x) {
      const uint32_t p = src[x];
      d[0] = p;
      d[1] = p;
      d += 2;
    }
    // The second copy of the row is the first one again.
    for (uint32_t x = 0; x < 2 * w; ++x) d[x] = first[x];
    d += 2 * size_t(w);
  }
}

void scaleInto(const PixelSurface& surface, uint32_t* frameBuffer, uint32_t sx, uint32_t sy) {
  // The full-size scenes' factor, with a pixel loop that needs no inner one.
  if (sx == 2 && sy == 2) return doubleInto(surface, frameBuffer);
  const uint32_t w = surface.width;
  const size_t outRow = size_t(w) * sx;
  uint32_t* d = frameBuffer;
  for (uint32_t y = 0; y < surface.height; ++y) {
    if (sy == 0) break;
    const uint32_t* src = surface.pixels + size_t(y) * w;
    uint32_t* first = d;
    for (uint32_t x = 0; x < w; ++x) {
      const uint32_t p = src[x];
      for (uint32_t k = 0; k < sx; ++k) d[k] = p;
      d += sx;
    }
    for (uint32_t r = 1; r < sy; ++r) {
      for (size_t x = 0; x < outRow; ++x) d[x] = first[x];
      d += outRow;
    }
  }
}

void overlayInto(const PixelSurface& source, uint32_t* frameBuffer) {
  const size_t count = size_t(source.width) * source.height;
  const uint32_t* s = source.pixels;
  for (size_t i = 0; i < count; ++i) {
    // Black in all three colour bytes is transparent whatever the top byte.
    // Every pixel is stored, unchanged where transparent: a select instead of
    // a branch lets the loop run on vectors, whatever the mask looks like.
    const uint32_t p = s[i];
    frameBuffer[i] = (p & 0x00FFFFFFu) ? p : frameBuffer[i];
  }
}

namespace {

// The rows of `surface` whose output, `pixelsPerRow` frame-buffer pixels each
// written one after the other from the first, fit in the screen's frame
// buffer. A surface or factors too large for the screen lose their last rows
// instead of writing past the buffer.
PixelSurface rowsThatFit(const PixelSurface& surface, const Screen& screen, uint64_t pixelsPerRow) {
  PixelSurface fitted = surface;
  if (pixelsPerRow == 0) return fitted;
  const uint64_t rows = screen.pixelCount / pixelsPerRow;
  if (rows < fitted.height) fitted.height = uint32_t(rows);
  return fitted;
}

}  // namespace

void doubleToScreen(const PixelSurface& surface, Screen& screen) {
  doubleInto(rowsThatFit(surface, screen, uint64_t(surface.width) * 4), screen.frameBuffer);
}

void scaleToScreen(const PixelSurface& surface, Screen& screen, uint32_t sx, uint32_t sy) {
  scaleInto(rowsThatFit(surface, screen, uint64_t(surface.width) * sx * sy), screen.frameBuffer, sx, sy);
}

void overlayNonBlack(const PixelSurface& source, Screen& screen) {
  overlayInto(rowsThatFit(source, screen, source.width), screen.frameBuffer);
}

void showScaled(const PixelSurface& picture, const PixelSurface* overlay, Screen& screen) {
  // An empty picture draws nothing: only the overlay.
  const uint32_t sx = picture.width ? uint32_t(screen.width) / picture.width : 0;
  const uint32_t sy = picture.height ? uint32_t(screen.height) / picture.height : 0;
  const bool fills = sx != 0 && sy != 0 && picture.width * sx == uint32_t(screen.width) &&
                     picture.height * sy == uint32_t(screen.height);
  const bool overlayFits =
      !overlay || (overlay->width == uint32_t(screen.width) && overlay->height == uint32_t(screen.height));
  if (screen.takesLayers && fills && overlayFits) {
    screen.layers = {picture.pixels, picture.width, picture.height, overlay ? overlay->pixels : nullptr};
    return;
  }
  screen.layers = {};
  scaleToScreen(picture, screen, sx, sy);
  if (overlay) overlayNonBlack(*overlay, screen);
}
