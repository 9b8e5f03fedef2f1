#include "surface/surface.h"

#include <cstddef>
#include <cstring>

#include "display/screen.h"

// The loops below keep the surface's fields in locals: a pixel store could
// otherwise change them as far as the compiler knows, which forces a reload
// on every pixel and keeps the loop off vectors.

void fillSurface(PixelSurface& surface, uint32_t value) {
  const size_t count = size_t(surface.width) * surface.height;
  uint32_t* p = surface.pixels;
  for (size_t i = 0; i < count; ++i) p[i] = value;
}

// Each pixel of the region is visited once, so the order of the visits does
// not matter; rows are walked in memory order.
void invertRegion(uint32_t x0, uint32_t y0, PixelSurface& surface) {
  const uint32_t width = surface.width, height = surface.height;
  uint32_t* const pixels = surface.pixels;
  if (x0 >= width) return;
  for (uint32_t y = y0; y < height; ++y) {
    uint32_t* row = pixels + size_t(y) * width;
    for (uint32_t x = x0; x < width; ++x) row[x] = ~row[x] & 0x00FFFFFFu;
  }
}

void complementRegion(uint32_t value, uint32_t x0, uint32_t y0, PixelSurface& surface) {
  const uint32_t width = surface.width, height = surface.height;
  uint32_t* const pixels = surface.pixels;
  if (x0 >= width) return;
  const uint32_t v = value & 0xFF;
  for (uint32_t y = y0; y < height; ++y) {
    uint32_t* row = pixels + size_t(y) * width;
    for (uint32_t x = x0; x < width; ++x) {
      const uint32_t p = row[x];
      const uint32_t r = (v - ((p >> 16) & 0xFF)) & 0xFF;
      const uint32_t g = (v - ((p >> 8) & 0xFF)) & 0xFF;
      const uint32_t b = (v - (p & 0xFF)) & 0xFF;
      row[x] = (r << 16) | (g << 8) | b;
    }
  }
}

namespace {

// One source row of w pixels as w * sx pixels at `out`, each repeated sx
// times; the full-size scenes' factor 2 with a loop that needs no inner one.
void scaleRow(const uint32_t* src, uint32_t w, uint32_t sx, uint32_t* out) {
  if (sx == 2) {
    for (uint32_t x = 0; x < w; ++x) out[2 * x] = out[2 * x + 1] = src[x];
    return;
  }
  for (uint32_t x = 0; x < w; ++x) {
    const uint32_t p = src[x];
    for (uint32_t k = 0; k < sx; ++k) out[k] = p;
    out += sx;
  }
}

}  // namespace

void doubleInto(const PixelSurface& surface, uint32_t* frameBuffer) {
  const uint32_t w = surface.width, height = surface.height;
  uint32_t* d = frameBuffer;
  for (uint32_t y = 0; y < height; ++y) {
    uint32_t* first = d;
    scaleRow(surface.pixels + size_t(y) * w, w, 2, d);
    d += 2 * size_t(w);
    // The second copy of the row is the first one again.
    for (uint32_t x = 0; x < 2 * w; ++x) d[x] = first[x];
    d += 2 * size_t(w);
  }
}

void scaleInto(const PixelSurface& surface, uint32_t* frameBuffer, uint32_t sx, uint32_t sy) {
  // The full-size scenes' factor, with a pixel loop that needs no inner one.
  if (sx == 2 && sy == 2) return doubleInto(surface, frameBuffer);
  const uint32_t w = surface.width, height = surface.height;
  const size_t outRow = size_t(w) * sx;
  uint32_t* d = frameBuffer;
  for (uint32_t y = 0; y < height; ++y) {
    if (sy == 0) break;
    uint32_t* first = d;
    scaleRow(surface.pixels + size_t(y) * w, w, sx, d);
    d += outRow;
    for (uint32_t r = 1; r < sy; ++r) {
      for (size_t x = 0; x < outRow; ++x) d[x] = first[x];
      d += outRow;
    }
  }
}

namespace {

// Copies the mask's pixels whose colour bytes are not all zero over `out`.
// Black in all three colour bytes is transparent whatever the top byte.
// Every pixel is stored, unchanged where transparent: a select instead of a
// branch lets the loop run on vectors, whatever the mask looks like.
void layMask(uint32_t* out, const uint32_t* mask, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const uint32_t p = mask[i];
    out[i] = (p & 0x00FFFFFFu) ? p : out[i];
  }
}

}  // namespace

void overlayInto(const PixelSurface& source, uint32_t* frameBuffer) {
  layMask(frameBuffer, source.pixels, size_t(source.width) * source.height);
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

void scaleToScreenUnderMask(const PixelSurface& surface, const PixelSurface& mask, Screen& screen, uint32_t sx,
                            uint32_t sy) {
  const PixelSurface scaled = rowsThatFit(surface, screen, uint64_t(surface.width) * sx * sy);
  const PixelSurface fittedMask = rowsThatFit(mask, screen, mask.width);
  const size_t maskCount = size_t(fittedMask.width) * fittedMask.height;
  const uint32_t* const maskPixels = fittedMask.pixels;
  uint32_t* const frameBuffer = screen.frameBuffer;
  const uint32_t w = scaled.width, height = sy ? scaled.height : 0;
  const size_t outRow = size_t(w) * sx;
  size_t at = 0;
  // Rows no wider than this are scaled into a buffer of their own, from
  // which each output row is written once with the mask laid over it.
  constexpr size_t kRowBuffer = 1024;
  if (outRow <= kRowBuffer) {
    uint32_t row[kRowBuffer];
    for (uint32_t y = 0; y < height; ++y) {
      scaleRow(scaled.pixels + size_t(y) * w, w, sx, row);
      for (uint32_t r = 0; r < sy; ++r, at += outRow) {
        uint32_t* const out = frameBuffer + at;
        const size_t masked = at >= maskCount ? 0 : (maskCount - at < outRow ? maskCount - at : outRow);
        const uint32_t* const m = maskPixels + at;
        for (size_t i = 0; i < masked; ++i) {
          // Both read before the choice, which then needs no branch.
          const uint32_t p = m[i], under = row[i];
          out[i] = (p & 0x00FFFFFFu) ? p : under;
        }
        for (size_t i = masked; i < outRow; ++i) out[i] = row[i];
      }
    }
    if (at < maskCount) layMask(frameBuffer + at, maskPixels + at, maskCount - at);
    return;
  }
  for (uint32_t y = 0; y < height; ++y) {
    // The source row is scaled into its first output row and copied into the
    // others, and the mask is laid over them while they are in the cache.
    uint32_t* first = frameBuffer + at;
    scaleRow(scaled.pixels + size_t(y) * w, w, sx, first);
    for (uint32_t r = 1; r < sy; ++r) std::memcpy(first + r * outRow, first, outRow * sizeof *first);
    const size_t rows = size_t(sy) * outRow;
    if (at < maskCount) layMask(first, maskPixels + at, maskCount - at < rows ? maskCount - at : rows);
    at += rows;
  }
  // The mask beyond the scaled picture, laid over what the frame buffer holds.
  if (at < maskCount) layMask(frameBuffer + at, maskPixels + at, maskCount - at);
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
  if (overlay) {
    scaleToScreenUnderMask(picture, *overlay, screen, sx, sy);
  } else {
    scaleToScreen(picture, screen, sx, sy);
  }
}
