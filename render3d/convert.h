// Float-to-integer conversions shared by the renderer's sources.
#pragma once

#include <cmath>
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

// A float factor f with |f| < 2^15 as +-mantissa / 2^shift, the mantissa
// below 2^24. A byte b times f (exact in double), truncated toward zero and
// cut to its low 8 bits is then +-((b * mantissa) >> shift) & 0xFF exactly,
// in 32-bit integers (255 * 2^24 < 2^32): integer lanes instead of a double
// product and a float-to-integer conversion per byte, which WebAssembly's
// vectors lack.
struct ByteScale {
  uint32_t mantissa;
  uint32_t shift;
  uint32_t negate;  // all ones for a negative factor
};

inline ByteScale byteScaleOf(float f) {
  int exponent = 0;
  const float fraction = std::frexp(std::fabs(f), &exponent);  // in [0.5, 1), or 0
  // f = fraction * 2^exponent = (fraction * 2^24) / 2^(24 - exponent); the
  // bound on f keeps the shift at 9 or more. Past 31 every product shifts
  // out to 0.
  const int shift = 24 - exponent;
  if (shift > 31) return {0, 0, 0};
  return {uint32_t(fraction * 16777216.0f), uint32_t(shift), f < 0 ? 0xFFFFFFFFu : 0u};
}

inline uint32_t scaledByte(uint32_t byte, ByteScale scale) {
  const uint32_t magnitude = (byte * scale.mantissa) >> scale.shift;
  return ((magnitude ^ scale.negate) - scale.negate) & 0xFF;
}
