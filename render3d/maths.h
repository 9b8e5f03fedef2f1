// sin, cos, tan, pow and exp2 for the scenes and the music player, the same
// on every build.
//
// The pictures and the sound must be bit for bit equal on Linux, Windows
// and in the browser, and they go through these functions. Every C library
// has its own sin and pow (glibc's results even change with the CPU's fused
// multiply-add), so the program brings its own: plain double arithmetic,
// compiled without contraction into fused multiply-adds and with SSE2
// rather than x87 on 32-bit x86, so every compiler and target computes the
// same bits.
//
// Each function evaluates its result in double-double arithmetic (about 106
// bits) and rounds once; sin, cos and exp2 (also pow's last step) first
// try a quicker table-driven evaluation good to better than 2^-62 and keep
// its result only when that error cannot change the rounding. Measured
// against MPFR (tests/render3d/maths_test.cpp) on about 320,000 arguments,
// over the demo's ranges (angles up to 2^15, every exponent the music player
// passes to exp2 and pow) and far beyond, every result is the correctly
// rounded double: the largest error is 0.4999994 ulp. The exception is below
// (pow's exact halfway cases, 0.5 ulp). A sin or cos costs about 3.5 times
// glibc's, an exp2 about 4.5 times.
//
// Domains:
// - sin, cos, tan: every finite double. Arguments up to 2^20 are reduced
//   with a three-part pi/2, larger ones with 256 bits of 2/pi, so even
//   sin(1e300) is accurate. Infinity and NaN give NaN.
// - exp2: every double; overflow gives infinity, underflow rounds into the
//   subnormals and to zero correctly.
// - pow: every pair of doubles, with the special cases of C's pow (pow(x, 0)
//   is 1, a negative base needs an integer exponent, else NaN, and so on).
//   Exact results that fall halfway between two doubles (x^n for an integer
//   n >= 3 and a base of few significant bits) may round either way;
//   x^2, x^1, x^-1 and x^0.5 are exact operations and always right.
#pragma once

namespace maths {

double sin(double x);
double cos(double x);
// sin(x) and cos(x), the same bits as the two calls, for about the price of
// one: the argument is reduced once.
void sinCos(double x, double& sine, double& cosine);
double tan(double x);
double pow(double x, double y);
double exp2(double x);

}  // namespace maths
