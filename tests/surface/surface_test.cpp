#include "surface/surface.h"

#include <gtest/gtest.h>

#include <vector>

#include "display/screen.h"

namespace {

// A surface over a vector, with guard pixels after the block to catch
// writes past its end.
struct TestSurface {
  TestSurface(uint32_t w, uint32_t h, uint32_t fill = 0) : storage(size_t(w) * h + 16, fill) {
    surface.pixels = storage.data();
    surface.width = w;
    surface.height = h;
    for (size_t i = size_t(w) * h; i < storage.size(); ++i) storage[i] = 0xDEADBEEF;
  }
  bool guardsIntact() const {
    for (size_t i = size_t(surface.width) * surface.height; i < storage.size(); ++i) {
      if (storage[i] != 0xDEADBEEF) return false;
    }
    return true;
  }
  uint32_t at(uint32_t x, uint32_t y) const { return storage[size_t(y) * surface.width + x]; }
  std::vector<uint32_t> storage;
  PixelSurface surface;
};

TEST(Surface, FillCoversEveryPixelAndNothingBeyond) {
  TestSurface s(10, 15);
  fillSurface(s.surface, 0xFFFFFF);
  for (uint32_t i = 0; i < 150; ++i) EXPECT_EQ(s.storage[i], 0xFFFFFFu);
  EXPECT_TRUE(s.guardsIntact());

  TestSurface empty(0, 5, 7);
  fillSurface(empty.surface, 1);
  EXPECT_TRUE(empty.guardsIntact());
}

TEST(Surface, InvertRightHalf) {
  TestSurface s(320, 240, 0x01FF8000);
  invertRegion(160, 0, s.surface);
  for (uint32_t y = 0; y < 240; y += 7) {
    EXPECT_EQ(s.at(159, y), 0x01FF8000u);
    EXPECT_EQ(s.at(0, y), 0x01FF8000u);
    EXPECT_EQ(s.at(160, y), 0x00007FFFu);
    EXPECT_EQ(s.at(319, y), 0x00007FFFu);
  }
  // Twice restores the colour channels (the top byte stays 0).
  invertRegion(160, 0, s.surface);
  EXPECT_EQ(s.at(200, 100), 0x00FF8000u);
  EXPECT_TRUE(s.guardsIntact());
}

TEST(Surface, RegionBoundsAreRespected) {
  TestSurface s(8, 6, 0x123456);
  invertRegion(8, 0, s.surface);  // x0 == width: nothing
  invertRegion(0, 6, s.surface);  // y0 == height: no rows
  for (uint32_t i = 0; i < 48; ++i) EXPECT_EQ(s.storage[i], 0x123456u);
  invertRegion(5, 4, s.surface);
  for (uint32_t y = 0; y < 6; ++y) {
    for (uint32_t x = 0; x < 8; ++x) {
      EXPECT_EQ(s.at(x, y), (x >= 5 && y >= 4) ? 0xEDCBA9u : 0x123456u) << x << "," << y;
    }
  }
  EXPECT_TRUE(s.guardsIntact());
}

TEST(Surface, ComplementWrapsPerChannel) {
  TestSurface s(2, 1);
  s.storage[0] = 0x01C000C0;
  s.storage[1] = 0x00102030;
  complementRegion(0x1280, 0, 0, s.surface);  // only the low byte counts
  EXPECT_EQ(s.storage[0], 0x00C080C0u);
  EXPECT_EQ(s.storage[1], 0x00706050u);
  TestSurface a(4, 4, 0x01ABCDEF), b(4, 4, 0x01ABCDEF);
  complementRegion(255, 1, 1, a.surface);
  invertRegion(1, 1, b.surface);
  EXPECT_EQ(a.storage, b.storage);
}

class ScreenFixture : public ::testing::Test {
 protected:
  ScreenFixture() : screen("Demo", 640, 480, false) {
    for (uint32_t i = 0; i < screen.pixelCount; ++i) screen.frameBuffer[i] = 0xCCCCCCCC;
  }
  uint32_t at(uint32_t x, uint32_t y) const { return screen.frameBuffer[y * 640 + x]; }
  Screen screen;
};

TEST_F(ScreenFixture, DoubleFillsTheFrameExactly) {
  TestSurface s(320, 240);
  for (uint32_t i = 0; i < 320 * 240; ++i) s.storage[i] = i;
  doubleToScreen(s.surface, screen);
  for (uint32_t y = 0; y < 480; ++y) {
    for (uint32_t x = 0; x < 640; ++x) ASSERT_EQ(at(x, y), (y / 2) * 320 + x / 2) << x << "," << y;
  }
  EXPECT_EQ(at(2, 0), 1u);
  EXPECT_EQ(at(3, 1), 1u);
}

TEST_F(ScreenFixture, ScaleTenByFifteenIntoBlocks) {
  TestSurface s(10, 15);
  for (uint32_t i = 0; i < 150; ++i) s.storage[i] = 0x01000000 | i;
  scaleToScreen(s.surface, screen, 640 / 10, 480 / 15);
  for (uint32_t y = 0; y < 480; ++y) {
    for (uint32_t x = 0; x < 640; ++x) ASSERT_EQ(at(x, y), 0x01000000u | ((y / 32) * 10 + x / 64)) << x << "," << y;
  }
}

TEST_F(ScreenFixture, ScaleEverySceneSize) {
  const uint32_t sizes[][2] = {{320, 240}, {160, 120}, {80, 60}, {40, 30}, {20, 15}};
  for (const auto& size : sizes) {
    TestSurface s(size[0], size[1]);
    for (size_t i = 0; i < size_t(size[0]) * size[1]; ++i) s.storage[i] = uint32_t(i * 2654435761u);
    const uint32_t sx = 640 / size[0], sy = 480 / size[1];
    scaleToScreen(s.surface, screen, sx, sy);
    for (uint32_t y = 0; y < 480; y += 3) {
      for (uint32_t x = 0; x < 640; x += 5) ASSERT_EQ(at(x, y), s.at(x / sx, y / sy)) << size[0];
    }
  }
}

TEST_F(ScreenFixture, OverlaySkipsBlackWhateverTheTopByte) {
  TestSurface mask(640, 480, 0);
  mask.storage[0] = 0x00000000;
  mask.storage[1] = 0x01000000;
  mask.storage[2] = 0x01000001;
  mask.storage[3] = 0x00FF0000;
  overlayNonBlack(mask.surface, screen);
  EXPECT_EQ(at(0, 0), 0xCCCCCCCCu);
  EXPECT_EQ(at(1, 0), 0xCCCCCCCCu);
  EXPECT_EQ(at(2, 0), 0x01000001u);
  EXPECT_EQ(at(3, 0), 0x00FF0000u);
  EXPECT_EQ(at(639, 479), 0xCCCCCCCCu);
}

// A screen that takes layers is handed the picture and the overlay only when
// the picture fills it by whole factors; otherwise, and on every other
// screen, the frame is composed in the frame buffer.
TEST_F(ScreenFixture, ShowScaledHandsOverLayersOnlyWhenThePictureFillsTheScreen) {
  TestSurface picture(20, 15);
  for (uint32_t i = 0; i < 300; ++i) picture.storage[i] = i;
  TestSurface mask(640, 480, 0);
  mask.storage[640 * 100 + 33] = 0x00ABCDEF;

  showScaled(picture.surface, &mask.surface, screen);
  EXPECT_EQ(screen.layers.picture, nullptr);
  EXPECT_EQ(at(33, 100), 0x00ABCDEFu);
  EXPECT_EQ(at(34, 100), 61u);  // blocks of 32 x 32: column 1, row 3
  EXPECT_EQ(at(639, 479), 299u);

  screen.takesLayers = true;
  for (uint32_t i = 0; i < screen.pixelCount; ++i) screen.frameBuffer[i] = 0xCCCCCCCC;
  showScaled(picture.surface, &mask.surface, screen);
  EXPECT_EQ(screen.layers.picture, picture.storage.data());
  EXPECT_EQ(screen.layers.width, 20u);
  EXPECT_EQ(screen.layers.height, 15u);
  EXPECT_EQ(screen.layers.overlay, mask.storage.data());
  EXPECT_EQ(at(34, 100), 0xCCCCCCCCu);

  // 30 columns do not divide 640: composed in the frame buffer, and no
  // layers are left over from before.
  TestSurface odd(30, 15, 0x00444444);
  showScaled(odd.surface, nullptr, screen);
  EXPECT_EQ(screen.layers.picture, nullptr);
  EXPECT_EQ(at(0, 0), 0x00444444u);
}

// Surfaces or factors too large for the screen: whole source rows that fit
// are written, the rest is left out, nothing lands past the frame buffer.
TEST_F(ScreenFixture, OversizedInputStopsAtTheFrameBuffersEnd) {
  TestSurface tall(320, 300, 0x00111111);
  doubleToScreen(tall.surface, screen);  // 240 rows of 2 x 640 pixels fill it
  EXPECT_EQ(at(0, 0), 0x00111111u);
  EXPECT_EQ(at(639, 479), 0x00111111u);

  for (uint32_t i = 0; i < screen.pixelCount; ++i) screen.frameBuffer[i] = 0xCCCCCCCC;
  TestSurface blocks(10, 15, 0x00222222);
  // Blocks of 64 x 64: a source row covers 40960 pixels, and 307200 / 40960
  // = 7.5, so 7 rows (screen rows 0..447) are drawn and rows 448.. kept.
  scaleToScreen(blocks.surface, screen, 64, 64);
  EXPECT_EQ(at(639, 447), 0x00222222u);
  EXPECT_EQ(at(0, 448), 0xCCCCCCCCu);
  EXPECT_EQ(at(639, 479), 0xCCCCCCCCu);

  TestSurface mask(640, 600, 0x00333333);
  overlayNonBlack(mask.surface, screen);
  EXPECT_EQ(at(639, 479), 0x00333333u);
}

// The one-pass scale under the mask writes what scaleToScreen then
// overlayNonBlack write (each checked against worked-out pixels above), for
// every scene's size and factors, for blocks that leave the frame buffer's
// last rows alone, and for masks shorter and taller than the screen.
TEST_F(ScreenFixture, ScaleUnderMaskMatchesScaleThenOverlay) {
  const uint32_t cases[][5] = {{320, 240, 2, 2, 480}, {160, 120, 4, 4, 480}, {80, 60, 8, 8, 480},
                               {10, 15, 64, 32, 480}, {20, 15, 32, 32, 100}, {10, 15, 64, 64, 600}};
  Screen twoPass("Demo", 640, 480, false);
  for (const auto& c : cases) {
    TestSurface picture(c[0], c[1]);
    for (size_t i = 0; i < size_t(c[0]) * c[1]; ++i) picture.storage[i] = uint32_t(i * 2654435761u);
    TestSurface mask(640, c[4]);
    for (size_t i = 0; i < size_t(640) * c[4]; ++i) {
      const uint32_t h = uint32_t(i * 2246822519u) >> 7;
      mask.storage[i] = h % 3 ? (h % 5 ? 0 : 0x01000000) : h;  // black (either top byte) or a colour
    }
    for (uint32_t i = 0; i < screen.pixelCount; ++i) screen.frameBuffer[i] = twoPass.frameBuffer[i] = 0xCCCCCCCC;
    scaleToScreen(picture.surface, twoPass, c[2], c[3]);
    overlayNonBlack(mask.surface, twoPass);
    scaleToScreenUnderMask(picture.surface, mask.surface, screen, c[2], c[3]);
    for (uint32_t i = 0; i < screen.pixelCount; ++i)
      ASSERT_EQ(screen.frameBuffer[i], twoPass.frameBuffer[i]) << c[0] << " " << i;
  }
}

}  // namespace
