// Double-double evaluation of sin, cos, tan, pow and exp2, rounded once.
// Compiled with -ffp-contract=off (a fused multiply-add would change the
// error terms below); the library functions used here (nearbyint, ldexp,
// frexp, sqrt) are exact operations, the same in every C library.
#include "render3d/maths.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace {

struct Dd {
  double hi;
  double lo;
};

inline Dd twoSum(double a, double b) {
  const double s = a + b;
  const double v = s - a;
  return {s, (a - (s - v)) + (b - v)};
}

// |a| >= |b| or a == 0.
inline Dd quickTwoSum(double a, double b) {
  const double s = a + b;
  return {s, b - (s - a)};
}

// Dekker's exact product, without a fused multiply-add; |a|, |b| < 2^995.
inline Dd twoProduct(double a, double b) {
  constexpr double split = 134217729.0;  // 2^27 + 1
  const double ta = split * a;
  const double ah = ta - (ta - a);
  const double al = a - ah;
  const double tb = split * b;
  const double bh = tb - (tb - b);
  const double bl = b - bh;
  const double p = a * b;
  return {p, ((ah * bh - p) + ah * bl + al * bh) + al * bl};
}

inline Dd add(Dd a, Dd b) {
  Dd s = twoSum(a.hi, b.hi);
  const Dd t = twoSum(a.lo, b.lo);
  s.lo += t.hi;
  s = quickTwoSum(s.hi, s.lo);
  s.lo += t.lo;
  return quickTwoSum(s.hi, s.lo);
}

inline Dd add(Dd a, double b) {
  Dd s = twoSum(a.hi, b);
  s.lo += a.lo;
  return quickTwoSum(s.hi, s.lo);
}

inline Dd mul(Dd a, Dd b) {
  Dd p = twoProduct(a.hi, b.hi);
  p.lo += a.hi * b.lo + a.lo * b.hi;
  return quickTwoSum(p.hi, p.lo);
}

inline Dd mul(Dd a, double b) {
  Dd p = twoProduct(a.hi, b);
  p.lo += a.lo * b;
  return quickTwoSum(p.hi, p.lo);
}

inline Dd divide(Dd a, Dd b) {
  const double q1 = a.hi / b.hi;
  Dd r = add(a, mul(b, -q1));
  const double q2 = r.hi / b.hi;
  r = add(r, mul(b, -q2));
  const double q3 = r.hi / b.hi;
  return add(quickTwoSum(q1, q2), q3);
}

inline Dd negate(Dd a) { return {-a.hi, -a.lo}; }

// Horner's scheme over coefficients c[0..n) in double-double for the first
// `exact` of them and in double for the rest, whose terms are too small for
// their rounding errors to reach the double-double result.
Dd horner(const Dd* c, int n, int exact, Dd z) {
  double tail = 0;
  for (int k = n - 1; k >= exact; --k) tail = c[k].hi + z.hi * tail;
  Dd sum = {tail, 0};
  for (int k = exact - 1; k >= 0; --k) sum = add(c[k], mul(z, sum));
  return sum;
}

// (-1)^k / (2k + 1)! and (-1)^k / (2k)!, k = 0 .. 13: for |r| <= pi/4 the
// first term left out is below 2^-110 of the sum.
constexpr Dd sinCoefficients[] = {
    {1.0, 0.0},
    {-0.16666666666666666, -9.25185853854297e-18},
    {0.008333333333333333, 1.1564823173178714e-19},
    {-0.0001984126984126984, -1.7209558293420705e-22},
    {2.7557319223985893e-06, -1.858393274046472e-22},
    {-2.505210838544172e-08, 1.448814070935912e-24},
    {1.6059043836821613e-10, 1.2585294588752098e-26},
    {-7.647163731819816e-13, -7.03872877733453e-30},
    {2.8114572543455206e-15, 1.6508842730861433e-31},
    {-8.22063524662433e-18, -2.2141894119604265e-34},
    {1.9572941063391263e-20, -1.3643503830087908e-36},
    {-3.868170170630684e-23, 8.843177655482344e-40},
    {6.446950284384474e-26, -1.9330404233703465e-42},
    {-9.183689863795546e-29, -1.4303150396787322e-45},
};
constexpr Dd cosCoefficients[] = {
    {1.0, 0.0},
    {-0.5, 0.0},
    {0.041666666666666664, 2.3129646346357427e-18},
    {-0.001388888888888889, 5.300543954373577e-20},
    {2.48015873015873e-05, 2.1511947866775882e-23},
    {-2.755731922398589e-07, -2.3767714622250297e-23},
    {2.08767569878681e-09, -1.20734505911326e-25},
    {-1.1470745597729725e-11, -2.0655512752830745e-28},
    {4.779477332387385e-14, 4.399205485834081e-31},
    {-1.5619206968586225e-16, -1.1910679660273754e-32},
    {4.110317623312165e-19, 1.4412973378659527e-36},
    {-8.896791392450574e-22, 7.911402614872376e-38},
    {1.6117375710961184e-24, -3.6846573564509766e-41},
    {-2.4795962632247976e-27, 1.2953730964765229e-43},
};

// 1 / m!, m = 0 .. 23: for |r| <= ln 2 / 2 the first term left out is
// below 2^-106.
constexpr Dd expCoefficients[] = {
    {1.0, 0.0},
    {1.0, 0.0},
    {0.5, 0.0},
    {0.16666666666666666, 9.25185853854297e-18},
    {0.041666666666666664, 2.3129646346357427e-18},
    {0.008333333333333333, 1.1564823173178714e-19},
    {0.001388888888888889, -5.300543954373577e-20},
    {0.0001984126984126984, 1.7209558293420705e-22},
    {2.48015873015873e-05, 2.1511947866775882e-23},
    {2.7557319223985893e-06, -1.858393274046472e-22},
    {2.755731922398589e-07, 2.3767714622250297e-23},
    {2.505210838544172e-08, -1.448814070935912e-24},
    {2.08767569878681e-09, -1.20734505911326e-25},
    {1.6059043836821613e-10, 1.2585294588752098e-26},
    {1.1470745597729725e-11, 2.0655512752830745e-28},
    {7.647163731819816e-13, 7.03872877733453e-30},
    {4.779477332387385e-14, 4.399205485834081e-31},
    {2.8114572543455206e-15, 1.6508842730861433e-31},
    {1.5619206968586225e-16, 1.1910679660273754e-32},
    {8.22063524662433e-18, 2.2141894119604265e-34},
    {4.110317623312165e-19, 1.4412973378659527e-36},
    {1.9572941063391263e-20, -1.3643503830087908e-36},
    {8.896791392450574e-22, -7.911402614872376e-38},
    {3.868170170630684e-23, -8.843177655482344e-40},
};

// 1 / (2k + 1), k = 0 .. 21: ln m = 2 s sum s^2k / (2k + 1) with
// s = (m - 1) / (m + 1), |s| <= 0.172, and the first term left out is below
// 2^-110.
constexpr Dd logCoefficients[] = {
    {1.0, 0.0},
    {0.3333333333333333, 1.850371707708594e-17},
    {0.2, -1.1102230246251566e-17},
    {0.14285714285714285, 7.93016446160826e-18},
    {0.1111111111111111, 6.1679056923619804e-18},
    {0.09090909090909091, -2.523234146875356e-18},
    {0.07692307692307693, -4.270088556250602e-18},
    {0.06666666666666667, 9.251858538542971e-19},
    {0.058823529411764705, 8.163404592832033e-19},
    {0.05263157894736842, 2.921639538487254e-18},
    {0.047619047619047616, 2.64338815386942e-18},
    {0.043478260869565216, 1.206764157201257e-18},
    {0.04, -8.326672684688674e-19},
    {0.037037037037037035, 2.05596856412066e-18},
    {0.034482758620689655, 4.785444071660157e-19},
    {0.03225806451612903, 8.953411488912552e-19},
    {0.030303030303030304, -8.410780489584519e-19},
    {0.02857142857142857, 8.921435019309293e-19},
    {0.02702702702702703, -1.50030138462859e-18},
    {0.02564102564102564, 8.896017825522087e-19},
    {0.024390243902439025, -8.46206573647223e-19},
    {0.023255813953488372, 3.2273925134452225e-19},
};

constexpr Dd ln2 = {0.6931471805599453, 2.3190468138462996e-17};
constexpr Dd log2e = {1.4426950408889634, 2.0355273740931033e-17};
constexpr Dd halfPi = {1.5707963267948966, 6.123233995736766e-17};
// pi / 2 in three parts for the reduction of moderate arguments.
constexpr double halfPi1 = 1.5707963267948966;
constexpr double halfPi2 = 6.123233995736766e-17;
constexpr double halfPi3 = -1.4973849048591698e-33;
constexpr double twoOverPi = 0.6366197723675814;

// The binary digits of 2 / pi, 32 to a word, from the first after the point:
// enough for the largest doubles and 256 bits below their units.
constexpr uint32_t twoOverPiBits[] = {
    0xA2F9836E, 0x4E441529, 0xFC2757D1, 0xF534DDC0, 0xDB629599, 0x3C439041, 0xFE5163AB, 0xDEBBC561,
    0xB7246E3A, 0x424DD2E0, 0x06492EEA, 0x09D1921C, 0xFE1DEB1C, 0xB129A73E, 0xE88235F5, 0x2EBB4484,
    0xE99C7026, 0xB45F7E41, 0x3991D639, 0x835339F4, 0x9C845F8B, 0xBDF9283B, 0x1FF897FF, 0xDE05980F,
    0xEF2F118B, 0x5A0A6D1F, 0x6D367ECF, 0x27CB09B7, 0x4F463F66, 0x9E5FEA2D, 0x7527BAC7, 0xEBE5F17B,
    0x3D0739F7, 0x8A5292EA, 0x6BFB5FB1, 0x1F8D5D08, 0x56033046, 0xFC7B6BAB, 0xF0CFBC20, 0x9AF4361D,
};

// x >= 2^20, finite: x - k pi/2 for the nearest integer k, with k mod 4.
// x 2/pi is formed exactly enough from x's 53-bit integer mantissa and the
// eight words of 2/pi that reach from x's units' place (mod 4) to 2^-222 and
// beyond; the words before them only add multiples of 4.
Dd reduceLarge(double x, int& quadrant) {
  int exponent = 0;
  const double m = std::frexp(x, &exponent);  // x = m 2^exponent, m in [0.5, 1)
  const uint64_t mantissa = uint64_t(std::ldexp(m, 53));
  const int e = exponent - 53;  // x = mantissa 2^e, e >= -33
  const int first = e - 2 >= 0 ? (e - 2) / 32 : 0;
  constexpr int words = 8;
  // product = mantissa * words of 2/pi, little-endian 32-bit limbs.
  uint32_t product[words + 2] = {};
  const uint64_t m0 = mantissa & 0xFFFFFFFFu;
  const uint64_t m1 = mantissa >> 32;
  auto addAt = [&](int limb, uint64_t value) {
    for (; value != 0 && limb < words + 2; ++limb) {
      value += product[limb];
      product[limb] = uint32_t(value);
      value >>= 32;
    }
  };
  for (int j = 0; j < words; ++j) {
    const uint64_t w = twoOverPiBits[first + words - 1 - j];
    addAt(j, m0 * w);
    addAt(j + 1, m1 * w);
  }
  // product 2^point is x 2/pi modulo 4 (point = e - 32 (first + words) < 0).
  const int units = 32 * (first + words) - e;  // the bit of weight 1
  auto bits = [&](int position) -> uint32_t {  // 32 bits from position up
    const int limb = position / 32;
    const int shift = position % 32;
    const uint64_t window = uint64_t(product[limb]) | (uint64_t(limb + 1 < words + 2 ? product[limb + 1] : 0) << 32);
    return uint32_t(window >> shift);
  };
  quadrant = int(bits(units) & 3);
  // The fraction, from its six 32-bit chunks below the point.
  Dd fraction = {0, 0};
  for (int chunk = 6; chunk >= 1; --chunk) {
    fraction = add(fraction, std::ldexp(double(bits(units - 32 * chunk)), -32 * chunk));
  }
  if (fraction.hi >= 0.5) {
    fraction = add(fraction, -1.0);
    quadrant = (quadrant + 1) & 3;
  }
  return mul(fraction, halfPi);
}

// x - k pi/2 with |result| <= about pi/4, and k mod 4; x finite.
Dd reduce(double x, int& quadrant) {
  const double ax = std::fabs(x);
  if (ax <= 0.785398) {
    quadrant = 0;
    return {x, 0};
  }
  if (ax >= 1048576.0) {
    Dd r = reduceLarge(ax, quadrant);
    if (x < 0) {
      r = negate(r);
      quadrant = (4 - quadrant) & 3;
    }
    return r;
  }
  const double n = std::nearbyint(x * twoOverPi);
  quadrant = int(int64_t(n) & 3);
  Dd r = add(twoProduct(-n, halfPi1), x);
  r = add(r, twoProduct(-n, halfPi2));
  return add(r, -n * halfPi3);
}

Dd sinSeries(Dd r) { return mul(r, horner(sinCoefficients, 14, 8, mul(r, r))); }

Dd cosSeries(Dd r) { return horner(cosCoefficients, 14, 9, mul(r, r)); }

// sin (shift 0) or cos (shift 1) of x.
double sinOrCos(double x, int shift) {
  int quadrant = 0;
  const Dd r = reduce(x, quadrant);
  switch ((quadrant + shift) & 3) {
    case 0:
      return sinSeries(r).hi;
    case 1:
      return cosSeries(r).hi;
    case 2:
      return -sinSeries(r).hi;
    default:
      return -cosSeries(r).hi;
  }
}

// RN(v 2^n) for v within [0.5, 2]: exact scaling for normal results; for
// subnormal ones v 2^(n + 1074) is rounded to an integer once, so the result
// is not rounded twice.
double scaleRounded(Dd v, int n) {
  if (n >= -1021) return std::ldexp(v.hi, n);
  const Dd w = {std::ldexp(v.hi, n + 1074), std::ldexp(v.lo, n + 1074)};
  if (w.hi < 0.25) return 0;  // below a quarter of the least subnormal
  double q = std::floor(w.hi);
  const Dd f = add(w, -q);  // in about [-2^-50, 1 + 2^-50]
  double rest = f.hi;
  if (rest < 0 || (rest == 0 && f.lo < 0)) {
    q -= 1;
    rest += 1;
  }
  const bool half = rest == 0.5 && f.lo == 0;
  if (rest > 0.5 || (rest == 0.5 && f.lo > 0) || (half && std::fmod(q, 2) != 0)) q += 1;
  return std::ldexp(q, -1074);
}

// 2^t for a double-double t, rounded once.
double exp2Dd(Dd t) {
  if (t.hi >= 1024) return std::numeric_limits<double>::infinity();
  if (t.hi < -1080) return 0;
  const double n = std::nearbyint(t.hi);
  const Dd f = quickTwoSum(t.hi - n, t.lo);  // t.hi - n is exact
  const Dd v = horner(expCoefficients, 24, 14, mul(f, ln2));
  return scaleRounded(v, int(n));
}

// log2 x for finite x > 0, in double-double.
Dd log2Dd(double x) {
  int exponent = 0;
  double m = std::frexp(x, &exponent);  // [0.5, 1)
  if (m < 0.70710678118654752) {
    m *= 2;
    exponent -= 1;
  }
  // s = (m - 1) / (m + 1); m - 1 is exact, m + 1 kept exactly.
  const Dd s = divide(Dd{m - 1, 0}, twoSum(m, 1));
  const Dd lnM = mul(mul(s, horner(logCoefficients, 22, 10, mul(s, s))), 2.0);
  return add(mul(lnM, log2e), double(exponent));
}

bool isInteger(double y) { return std::nearbyint(y) == y; }

bool isOddInteger(double y) { return std::fabs(y) < 9007199254740992.0 && isInteger(y) && std::fmod(y, 2) != 0; }

}  // namespace

namespace maths {

double sin(double x) {
  if (!std::isfinite(x)) return x - x;
  if (x == 0) return x;
  return sinOrCos(x, 0);
}

double cos(double x) {
  if (!std::isfinite(x)) return x - x;
  return sinOrCos(x, 1);
}

double tan(double x) {
  if (!std::isfinite(x)) return x - x;
  if (x == 0) return x;
  int quadrant = 0;
  const Dd r = reduce(x, quadrant);
  const Dd s = sinSeries(r);
  const Dd c = cosSeries(r);
  return (quadrant & 1) ? -divide(c, s).hi : divide(s, c).hi;
}

double exp2(double x) {
  if (std::isnan(x)) return x + x;
  return exp2Dd({x, 0});
}

double pow(double x, double y) {
  if (y == 0 || x == 1) return 1;
  if (std::isnan(x) || std::isnan(y)) return x + y;
  const bool oddY = isOddInteger(y);
  if (std::isinf(y)) {
    const double ax = std::fabs(x);
    if (ax == 1) return 1;
    return (ax < 1) == (y < 0) ? std::numeric_limits<double>::infinity() : 0;
  }
  if (x == 0 || std::isinf(x)) {
    // 0 and infinity to a power: 0 or infinity, negative for an odd
    // integer power of a negative base.
    const bool large = (x == 0) == (y < 0);
    const double magnitude = large ? std::numeric_limits<double>::infinity() : 0;
    return std::signbit(x) && oddY ? -magnitude : magnitude;
  }
  if (x < 0) {
    if (!isInteger(y)) return std::numeric_limits<double>::quiet_NaN();
    const double v = pow(-x, y);
    return oddY ? -v : v;
  }
  // The exact operations, rounded once by the hardware.
  if (y == 1) return x;
  if (y == 2) return x * x;
  if (y == -1) return 1 / x;
  if (y == 0.5) return std::sqrt(x);
  const Dd l = log2Dd(x);
  // Far outside the doubles' exponents: overflow or underflow, decided by
  // the signs alone (and the product below could overflow its splitting).
  const double estimate = y * l.hi;
  if (estimate > 2200) return std::numeric_limits<double>::infinity();
  if (estimate < -2200) return 0;
  return exp2Dd(mul(l, y));
}

}  // namespace maths
