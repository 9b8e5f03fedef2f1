// Float-to-integer conversions shared by the renderer's sources.
#pragma once

#include <cstdint>

// The low 8 bits of v truncated toward zero to a 32-bit integer. Outside the
// range of a 32-bit integer, and for non-numbers, the x86 conversion gives
// 0x80000000, whose low byte is 0: so does this, without undefined behaviour.
inline uint32_t truncatedLowByte(double v) {
  if (!(v > -2147483649.0 && v < 2147483648.0)) return 0;
  return uint32_t(int32_t(v)) & 0xFF;
}

// Whether trunc(c), c rounded toward zero, is an index below `size`.
inline bool truncatesToIndexBelow(double c, double size) { return c > -1 && c < size && size >= 1; }
