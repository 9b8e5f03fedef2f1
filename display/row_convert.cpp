#include "display/row_convert.h"

#include <cstring>

const char* const unsupportedFormatText = "Unknown or unsupported adapterformat";

void convertRowTo565(const uint32_t* source, void* destination, uint32_t count) {
  uint16_t* d = static_cast<uint16_t*>(destination);
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t s = source[i];
    d[i] = uint16_t(((s >> 8) & 0xF800) | ((s >> 5) & 0x07E0) | ((s >> 3) & 0x001F));
  }
}

void convertRowTo1555(const uint32_t* source, void* destination, uint32_t count) {
  uint16_t* d = static_cast<uint16_t*>(destination);
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t s = source[i];
    d[i] = uint16_t(((s >> 16) & 0x8000) | ((s >> 9) & 0x7C00) | ((s >> 6) & 0x03E0) | ((s >> 3) & 0x001F));
  }
}

void copyRow32(const uint32_t* source, void* destination, uint32_t count) {
  std::memcpy(destination, source, size_t(count) * 4);
}

void convertRowToBgr565(const uint32_t* source, void* destination, uint32_t count) {
  uint16_t* d = static_cast<uint16_t*>(destination);
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t s = source[i];
    d[i] = uint16_t(((s << 8) & 0xF800) | ((s >> 5) & 0x07E0) | ((s >> 19) & 0x001F));
  }
}

void convertRowToBgr1555(const uint32_t* source, void* destination, uint32_t count) {
  uint16_t* d = static_cast<uint16_t*>(destination);
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t s = source[i];
    d[i] = uint16_t(((s >> 16) & 0x8000) | ((s << 7) & 0x7C00) | ((s >> 6) & 0x03E0) | ((s >> 19) & 0x001F));
  }
}

void convertRowToBgr32(const uint32_t* source, void* destination, uint32_t count) {
  uint32_t* d = static_cast<uint32_t*>(destination);
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t s = source[i];
    d[i] = (s & 0x0000FF00u) | ((s >> 16) & 0xFF) | ((s & 0xFF) << 16);
  }
}

uint32_t countBits(uint32_t value) {
  uint32_t n = 0;
  for (uint32_t bit = 0; bit < 32; ++bit) n += (value >> bit) & 1;
  return n;
}

RowConverter chooseRowConverter(uint32_t bitCount, uint32_t redMask, uint32_t greenMask, uint32_t blueMask) {
  if (bitCount == 16) {
    const bool sixteen = countBits(redMask) + countBits(greenMask) + countBits(blueMask) == 16;
    if (blueMask & 0x1F) return sixteen ? convertRowTo565 : convertRowTo1555;
    // Blue at the top: only the exact mirror of 565 or 555 is written right.
    if (redMask == 0x001F && greenMask == 0x07E0 && blueMask == 0xF800) return convertRowToBgr565;
    if (redMask == 0x001F && greenMask == 0x03E0 && blueMask == 0x7C00) return convertRowToBgr1555;
    return nullptr;
  }
  if (bitCount == 32) {
    if (blueMask & 0xFF) return copyRow32;
    if (redMask == 0x0000FF && greenMask == 0x00FF00 && blueMask == 0xFF0000) return convertRowToBgr32;
    return nullptr;
  }
  return nullptr;
}
