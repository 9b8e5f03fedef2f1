#include "display/row_convert.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

std::vector<uint16_t> convert16(RowConverter convert, const std::vector<uint32_t>& row) {
  std::vector<uint16_t> out(row.size() + 1, 0xABCD);
  convert(row.data(), out.data(), uint32_t(row.size()));
  EXPECT_EQ(out.back(), 0xABCD) << "wrote past the row";
  out.pop_back();
  return out;
}

// Decodes a pixel of a display format given by its masks back to 8-bit
// channels (top bits only), to check that a converter put every channel in
// its field.
uint32_t channelOf(uint32_t pixel, uint32_t mask) {
  uint32_t shift = 0;
  while (!((mask >> shift) & 1)) ++shift;
  const uint32_t bits = countBits(mask);
  return ((pixel & mask) >> shift) << (8 - bits);
}

TEST(RowConvert, Rgb565) {
  EXPECT_EQ(
      convert16(convertRowTo565, {0x00FFFFFF, 0x00808080, 0x00000000, 0xFF000000, 0x00F80000, 0x0000FC00, 0x000000F8}),
      (std::vector<uint16_t>{0xFFFF, 0x8410, 0x0000, 0x0000, 0xF800, 0x07E0, 0x001F}));
}

TEST(RowConvert, Xrgb1555CarriesTheTopBit) {
  EXPECT_EQ(convert16(convertRowTo1555, {0x80FF0000, 0x00FF0000, 0x0000FF00, 0x000000FF, 0x00FFFFFF}),
            (std::vector<uint16_t>{0xFC00, 0x7C00, 0x03E0, 0x001F, 0x7FFF}));
}

TEST(RowConvert, Copy32IsBitExact) {
  const std::vector<uint32_t> row{0x00123456, 0x01FFFFFF, 0x80000001};
  std::vector<uint32_t> out(3);
  copyRow32(row.data(), out.data(), 3);
  EXPECT_EQ(out, row);
}

TEST(RowConvert, SelectionFollowsTheMasks) {
  EXPECT_EQ(chooseRowConverter(32, 0xFF0000, 0xFF00, 0xFF), &copyRow32);
  EXPECT_EQ(chooseRowConverter(16, 0xF800, 0x07E0, 0x001F), &convertRowTo565);
  EXPECT_EQ(chooseRowConverter(16, 0x7C00, 0x03E0, 0x001F), &convertRowTo1555);
  EXPECT_EQ(chooseRowConverter(16, 0x001F, 0x07E0, 0xF800), &convertRowToBgr565);
  EXPECT_EQ(chooseRowConverter(16, 0x001F, 0x03E0, 0x7C00), &convertRowToBgr1555);
  EXPECT_EQ(chooseRowConverter(32, 0x0000FF, 0x00FF00, 0xFF0000), &convertRowToBgr32);
  // Formats nothing here writes: 24 bits, palettes, odd layouts.
  EXPECT_EQ(chooseRowConverter(24, 0xFF0000, 0xFF00, 0xFF), nullptr);
  EXPECT_EQ(chooseRowConverter(8, 0, 0, 0), nullptr);
  EXPECT_EQ(chooseRowConverter(32, 0xFF000000, 0x00FF0000, 0x0000FF00), nullptr);
  EXPECT_EQ(chooseRowConverter(16, 0x0F00, 0x00F0, 0xF000), nullptr);
}

// Every chosen converter must put each channel where the masks say.
TEST(RowConvert, EveryConverterHonoursItsMasks) {
  struct Format {
    uint32_t bits, r, g, b;
  };
  const Format formats[] = {{16, 0xF800, 0x07E0, 0x001F}, {16, 0x7C00, 0x03E0, 0x001F}, {16, 0x001F, 0x07E0, 0xF800},
                            {16, 0x001F, 0x03E0, 0x7C00}, {32, 0xFF0000, 0xFF00, 0xFF}, {32, 0xFF, 0xFF00, 0xFF0000}};
  const std::vector<uint32_t> row{0x00FF0000, 0x0000FF00, 0x000000FF, 0x00A0C0E0, 0x00182838};
  for (const Format& f : formats) {
    const RowConverter convert = chooseRowConverter(f.bits, f.r, f.g, f.b);
    ASSERT_NE(convert, nullptr);
    std::vector<uint8_t> out(row.size() * 4);
    convert(row.data(), out.data(), uint32_t(row.size()));
    for (size_t i = 0; i < row.size(); ++i) {
      uint32_t pixel = 0;
      if (f.bits == 16) {
        uint16_t p16;
        std::memcpy(&p16, &out[i * 2], 2);
        pixel = p16;
      } else {
        std::memcpy(&pixel, &out[i * 4], 4);
      }
      const uint32_t keepR = 0xFF & ~((1u << (8 - countBits(f.r))) - 1);
      const uint32_t keepG = 0xFF & ~((1u << (8 - countBits(f.g))) - 1);
      const uint32_t keepB = 0xFF & ~((1u << (8 - countBits(f.b))) - 1);
      EXPECT_EQ(channelOf(pixel, f.r), (row[i] >> 16 & 0xFF) & keepR) << f.bits << " " << std::hex << f.b;
      EXPECT_EQ(channelOf(pixel, f.g), (row[i] >> 8 & 0xFF) & keepG) << f.bits << " " << std::hex << f.b;
      EXPECT_EQ(channelOf(pixel, f.b), (row[i] & 0xFF) & keepB) << f.bits << " " << std::hex << f.b;
    }
  }
}

TEST(RowConvert, CountBitsCountsAll32) {
  EXPECT_EQ(countBits(0), 0u);
  EXPECT_EQ(countBits(0xFFFFFFFF), 32u);
  EXPECT_EQ(countBits(0x80000001), 2u);
  EXPECT_EQ(countBits(0x07E0), 6u);
}

}  // namespace
