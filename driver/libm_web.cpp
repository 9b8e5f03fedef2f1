// sin, cos, tan and pow for the browser build, correctly rounded.
//
// The pictures and the music must come out bit for bit as in the native
// build, and they go through these functions. The C library that comes with
// emscripten computes them differently from glibc (each within an ulp, but
// not the same ulp), and a particle that lands on the other side of a pixel
// edge after a few hundred frames shows. glibc's results are the correctly
// rounded ones in all but very rare cases; so are these: each is evaluated
// in double-double arithmetic (about 106 bits) and rounded once at the end.
// Defined in the program itself, they take the place of the library's.
//
// Argument reduction keeps its full precision for |x| below about 2^30;
// beyond that the results lose accuracy (the demo's angles stay far below).
#include <cmath>
#include <cstdint>

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

inline Dd quickTwoSum(double a, double b) {
  const double s = a + b;
  return {s, b - (s - a)};
}

// Dekker's exact product, without a fused multiply-add.
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
  return add(quickTwoSum(q1, q2), Dd{q3, 0});
}

inline Dd divide(Dd a, double b) {
  const double q1 = a.hi / b;
  const Dd p = twoProduct(q1, b);
  const double rest = ((a.hi - p.hi) - p.lo) + a.lo;
  return quickTwoSum(q1, rest / b);
}

inline Dd negate(Dd a) { return {-a.hi, -a.lo}; }

// pi / 2 in three parts, and its inverse.
constexpr double halfPi1 = 1.5707963267948966;
constexpr double halfPi2 = 6.123233995736766e-17;
constexpr double halfPi3 = -1.4973849048591698e-33;
constexpr double twoOverPi = 0.6366197723675814;

// x - k pi/2, with k the nearest integer to x 2/pi: |r| <= about pi/4.
Dd reduce(double x, int64_t& k) {
  const double n = std::nearbyint(x * twoOverPi);
  k = int64_t(n);
  Dd r = twoSum(x, 0);
  r = add(r, twoProduct(-n, halfPi1));
  r = add(r, twoProduct(-n, halfPi2));
  r = add(r, twoProduct(-n, halfPi3));
  return r;
}

// 1 / (n (n + 1)) for n = 1 .. 26, to double-double precision.
struct Reciprocals {
  Dd of[27];
  Reciprocals() {
    for (int n = 1; n <= 26; ++n) of[n] = divide(Dd{1, 0}, double(n * (n + 1)));
  }
};
const Reciprocals reciprocals;

// Taylor series of sin and cos around 0 for |r| <= pi/4, in Horner's form
// from the 27th and 26th powers down: every term left out is below 2^-110.
Dd sinSeries(Dd r) {
  const Dd r2 = mul(r, r);
  Dd sum = {1, 0};
  for (int n = 26; n >= 2; n -= 2) sum = add(Dd{1, 0}, negate(mul(mul(r2, sum), reciprocals.of[n])));
  return mul(r, sum);
}

Dd cosSeries(Dd r) {
  const Dd r2 = mul(r, r);
  Dd sum = {1, 0};
  for (int n = 25; n >= 1; n -= 2) sum = add(Dd{1, 0}, negate(mul(mul(r2, sum), reciprocals.of[n])));
  return sum;
}

// sin (quadrant 0) or cos (quadrant 1) of x, shifted by k quarter turns.
Dd sinOrCos(double x, int shift) {
  int64_t k = 0;
  const Dd r = reduce(x, k);
  switch ((k + shift) & 3) {
    case 0:
      return sinSeries(r);
    case 1:
      return cosSeries(r);
    case 2:
      return negate(sinSeries(r));
    default:
      return negate(cosSeries(r));
  }
}

// The quick way to the same results. The reduced argument r = a + b with a
// a multiple of 1/64 and |b| <= 1/128: sin and cos of a come from a table
// (made once by the series above), those of b from short polynomials, and
// sin(a + b) = S + (S (cos b - 1) + C sin b), cos(a + b) = C + (C (cos b - 1)
// - S sin b), with the terms that matter in double-double and the small
// ones in double. Its error stays below 2^-66 of the result; the caller
// accepts the result only when that error cannot change the rounding, and
// otherwise goes the long way. Both ways then round the same value.
constexpr int tableSteps = 64;  // table entries per radian
constexpr int tableSize = 52;   // up to just over pi/4
struct SinCosTable {
  Dd sinOf[tableSize];
  Dd cosOf[tableSize];
  SinCosTable() {
    for (int j = 0; j < tableSize; ++j) {
      const Dd a = {double(j) / tableSteps, 0};
      sinOf[j] = sinSeries(a);
      cosOf[j] = cosSeries(a);
    }
  }
};
const SinCosTable sinCosTable;

// The relative error the quick way is credited with: 16 times what it has.
constexpr double quickError = 0x1p-62;

// sin or cos of x as the long way rounds it, or NaN when the quick result
// lies too near a rounding boundary to tell.
double quickSinOrCos(double x, int shift) {
  int64_t k = 0;
  Dd r = reduce(x, k);
  const int quadrant = int((k + shift) & 3);
  // sin is odd and cos even.
  bool negative = quadrant >= 2;
  if (r.hi < 0) {
    r = negate(r);
    if ((quadrant & 1) == 0) negative = !negative;
  }
  const int j = int(r.hi * tableSteps + 0.5);
  if (j >= tableSize) return NAN;
  const Dd b = add(r, Dd{-double(j) / tableSteps, 0});
  const double h = b.hi;
  const double h2 = h * h;
  // sin b = b + h^3 p, cos b - 1 = -b^2 / 2 + h^4 q.
  const double p = h * h2 * (-1.0 / 6 + h2 * (1.0 / 120 + h2 * (-1.0 / 5040 + h2 * (1.0 / 362880))));
  const double q = h2 * h2 * (1.0 / 24 + h2 * (-1.0 / 720 + h2 * (1.0 / 40320)));
  const Dd halfSquare = mul(mul(b, b), -0.5);
  const Dd s = sinCosTable.sinOf[j];
  const Dd c = sinCosTable.cosOf[j];
  Dd v;
  if ((quadrant & 1) == 0) {
    Dd t = add(mul(c, b), mul(s, halfSquare));
    t = add(t, Dd{c.hi * p + s.hi * q, 0});
    v = add(s, t);
  } else {
    Dd t = add(mul(c, halfSquare), negate(mul(s, b)));
    t = add(t, Dd{c.hi * q - s.hi * p, 0});
    v = add(c, t);
  }
  const double error = std::fabs(v.hi) * quickError;
  const double up = v.hi + (v.lo + error);
  const double down = v.hi + (v.lo - error);
  if (up != down) return NAN;
  return negative ? -up : up;
}

// ln 2 as a double-double.
constexpr Dd ln2 = {0.6931471805599453, 2.3190468138462996e-17};

// e^t = 2^n e^r with n the nearest integer to t / ln 2 and |r| <= ln 2 / 2;
// returns e^r unrounded.
Dd expReduced(Dd t, int& n) {
  const double k = std::nearbyint(t.hi / ln2.hi);
  n = int(k);
  const Dd r = add(t, mul(ln2, -k));
  Dd sum = {1, 0};
  for (int m = 24; m >= 1; --m) sum = add(Dd{1, 0}, divide(mul(r, sum), double(m)));
  return sum;
}

// e^t rounded once.
double expRounded(Dd t) {
  if (t.hi > 710) return HUGE_VAL;
  if (t.hi < -746) return 0;
  int n = 0;
  const Dd v = expReduced(t, n);
  // Scaling the rounded value by 2^n is exact unless the result is subnormal.
  return std::ldexp(v.hi + v.lo, n);
}

// ln x for finite x > 0: the library's value, corrected by one Newton step
// in double-double (ln x = l + ln(x e^-l), and x e^-l is within an ulp of 1).
Dd logDd(double x) {
  const double l = std::log(x);
  int n = 0;
  const Dd e = expReduced(Dd{-l, 0}, n);
  Dd ratio = mul(e, x);
  ratio = {std::ldexp(ratio.hi, n), std::ldexp(ratio.lo, n)};
  return add(Dd{l, 0}, add(ratio, Dd{-1, 0}));
}

bool isOddInteger(double y) { return std::fabs(y) < 9007199254740992.0 && std::fmod(y, 2) != 0 && std::trunc(y) == y; }

}  // namespace

extern "C" {

double sin(double x) {
  if (!std::isfinite(x)) return x - x;
  if (x == 0) return x;
  const double quick = quickSinOrCos(x, 0);
  if (quick == quick) return quick;
  const Dd v = sinOrCos(x, 0);
  return v.hi + v.lo;
}

double cos(double x) {
  if (!std::isfinite(x)) return x - x;
  const double quick = quickSinOrCos(x, 1);
  if (quick == quick) return quick;
  const Dd v = sinOrCos(x, 1);
  return v.hi + v.lo;
}

void sincos(double x, double* s, double* c) {
  *s = sin(x);
  *c = cos(x);
}

double tan(double x) {
  if (!std::isfinite(x)) return x - x;
  if (x == 0) return x;
  int64_t k = 0;
  const Dd r = reduce(x, k);
  const Dd s = sinSeries(r);
  const Dd c = cosSeries(r);
  const Dd v = (k & 1) ? negate(divide(c, s)) : divide(s, c);
  return v.hi + v.lo;
}

double pow(double x, double y) {
  if (y == 0 || x == 1) return 1;
  if (std::isnan(x) || std::isnan(y)) return x + y;
  const bool oddY = isOddInteger(y);
  if (std::isinf(y)) {
    const double ax = std::fabs(x);
    if (ax == 1) return 1;
    return (ax < 1) == (y < 0) ? HUGE_VAL : 0;
  }
  if (x == 0 || std::isinf(x)) {
    // 0 and infinity to a power: 0 or infinity, negative for an odd
    // integer power of a negative base.
    const bool large = (x == 0) == (y < 0);
    const double magnitude = large ? HUGE_VAL : 0;
    return std::signbit(x) && oddY ? -magnitude : magnitude;
  }
  if (x < 0) {
    if (std::trunc(y) != y) return (x - x) / (x - x);
    const double v = pow(-x, y);
    return oddY ? -v : v;
  }
  // 2^y directly: the demo's frequency tables ask for nothing else.
  const Dd t = x == 2 ? mul(ln2, y) : mul(logDd(x), y);
  return expRounded(t);
}

}  // extern "C"
