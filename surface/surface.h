// Pixel surfaces and the whole-image operations the scenes apply every frame.
#pragma once

#include <cstdint>

class Screen;

// A 32-bit image: pixel (x, y) at pixels[y * width + x], rows top to bottom
// without gaps, red in bits 16-23, green 8-15, blue 0-7; the top byte carries
// no colour. The record does not own its block: whoever fills `pixels` takes
// it with malloc and whoever replaces the surface frees it.
struct PixelSurface {
  uint32_t* pixels = nullptr;
  uint32_t width = 0;
  uint32_t height = 0;
};

// Every pixel becomes `value`.
void fillSurface(PixelSurface& surface, uint32_t value);

// Each colour channel c of the pixels x0 <= x < width, y0 <= y < height
// becomes 255 - c; the top byte becomes 0.
void invertRegion(uint32_t x0, uint32_t y0, PixelSurface& surface);

// As invertRegion with (v - c) mod 256, v the low byte of `value`.
void complementRegion(uint32_t value, uint32_t x0, uint32_t y0, PixelSurface& surface);

// Each pixel becomes a 2 x 2 block in the screen's frame buffer, written
// contiguously from its first pixel: meant for surfaces half the screen's width.
void doubleToScreen(const PixelSurface& surface, Screen& screen);

// Each pixel becomes an sx x sy block; width * sx must equal the screen's
// width and height * sy must not exceed its height.
void scaleToScreen(const PixelSurface& surface, Screen& screen, uint32_t sx, uint32_t sy);

// Copies every pixel of `source` whose colour bytes are not all zero into the
// frame buffer at the same index; `source` has the screen's width.
void overlayNonBlack(const PixelSurface& source, Screen& screen);

// scaleToScreen(surface, screen, sx, sy), then overlayNonBlack(mask, screen),
// in one pass over the frame buffer: the same pixels, written once.
void scaleToScreenUnderMask(const PixelSurface& surface, const PixelSurface& mask, Screen& screen, uint32_t sx,
                            uint32_t sy);

// The frame on the screen: each pixel of `picture` becomes a block of (screen
// width / its width) x (screen height / its height) pixels, and the non-black
// pixels of `overlay` (the screen's size; null for none) lie over them. A
// screen that takes layers is handed the two instead, when the picture fills
// it exactly.
void showScaled(const PixelSurface& picture, const PixelSurface* overlay, Screen& screen);

// The same operations on a bare frame buffer, for callers without a Screen.
void doubleInto(const PixelSurface& surface, uint32_t* frameBuffer);
void scaleInto(const PixelSurface& surface, uint32_t* frameBuffer, uint32_t sx, uint32_t sy);
void overlayInto(const PixelSurface& source, uint32_t* frameBuffer);
