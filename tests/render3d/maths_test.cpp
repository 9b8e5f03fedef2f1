// The program's own sin, cos, tan, pow and exp2 against MPFR's exact values:
// over the arguments the scenes and the music player use, and far beyond.
#include "render3d/maths.h"

#include <gtest/gtest.h>
#include <mpfr.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <vector>

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();

// Errors of one function over a set of arguments, in ulps of the exact value.
struct Errors {
  const char* name;
  long count = 0;
  long misrounded = 0;  // results other than the correctly rounded double
  long halfway = 0;     // exact values halfway between two doubles
  long halfwayMisrounded = 0;
  double worst = 0;  // largest |result - exact| / ulp(exact)
  double worstArgument = 0;
};

class Exact {
 public:
  Exact() {
    mpfr_inits2(256, value_, difference_, (mpfr_ptr) nullptr);
    mpfr_init2(x_, 53);
    mpfr_init2(y_, 53);
  }
  ~Exact() { mpfr_clears(value_, difference_, x_, y_, (mpfr_ptr) nullptr); }

  using Unary = int (*)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t);

  void check(Errors& errors, double argument, double result, Unary f) {
    mpfr_set_d(x_, argument, MPFR_RNDN);
    f(value_, x_, MPFR_RNDN);
    record(errors, argument, result);
  }

  void checkPow(Errors& errors, double x, double y, double result) {
    mpfr_set_d(x_, x, MPFR_RNDN);
    mpfr_set_d(y_, y, MPFR_RNDN);
    mpfr_pow(value_, x_, y_, MPFR_RNDN);
    record(errors, y, result);
  }

 private:
  void record(Errors& errors, double argument, double result) {
    ++errors.count;
    const double rounded = mpfr_get_d(value_, MPFR_RNDN);
    const bool right = result == rounded || (std::isnan(result) && std::isnan(rounded));
    // A value of 54 significant bits, not subnormal, lies halfway.
    if (mpfr_number_p(value_) && !mpfr_zero_p(value_) && mpfr_min_prec(value_) == 54 && mpfr_get_exp(value_) > -1021) {
      ++errors.halfway;
      if (!right) ++errors.halfwayMisrounded;
    } else if (!right) {
      ++errors.misrounded;
    }
    if (mpfr_zero_p(value_) || !mpfr_number_p(value_) || std::isinf(result)) return;
    // ulp(exact) = 2^(e - 53) for exact in [2^(e-1), 2^e), at least 2^-1074.
    long exponent = mpfr_get_exp(value_) - 53;
    if (exponent < -1074) exponent = -1074;
    mpfr_sub_d(difference_, value_, result, MPFR_RNDN);
    mpfr_abs(difference_, difference_, MPFR_RNDN);
    mpfr_div_2si(difference_, difference_, exponent, MPFR_RNDN);
    const double ulps = mpfr_get_d(difference_, MPFR_RNDU);
    if (ulps > errors.worst) {
      errors.worst = ulps;
      errors.worstArgument = argument;
    }
  }

  mpfr_t value_, difference_, x_, y_;
};

void report(const Errors& e) {
  std::printf("%-20s %7ld arguments, %ld misrounded, largest error %.9f ulp (at %.17g)", e.name, e.count, e.misrounded,
              e.worst, e.worstArgument);
  if (e.halfway) std::printf("; exact halfway cases: %ld, %ld of them rounded to odd", e.halfway, e.halfwayMisrounded);
  std::printf("\n");
}

// Every result correctly rounded, apart from exact values halfway between
// two doubles (integer powers of short bases), which may round either way:
// within half an ulp.
void expectCorrectlyRounded(const Errors& e) {
  report(e);
  EXPECT_EQ(e.misrounded, 0) << e.name;
  EXPECT_LE(e.worst, 0.5) << e.name << " at " << e.worstArgument;
}

// Uniform in [-limit, limit], and spread over exponents from 2^lowest to
// limit: the small angles get their share.
std::vector<double> angles(std::mt19937_64& random, double limit, int lowest, int n) {
  std::uniform_real_distribution<double> uniform(-limit, limit);
  std::uniform_real_distribution<double> exponent(lowest, std::log2(limit));
  std::vector<double> out;
  for (int i = 0; i < n; ++i) {
    out.push_back(uniform(random));
    const double spread = std::exp2(exponent(random)) * (i % 2 ? 1 : -1);
    out.push_back(spread);
    if (std::fabs(spread) < 3e38) out.push_back(double(float(spread)));  // the renderer's angles are floats
  }
  return out;
}

TEST(Maths, SinCosTanCorrectlyRoundedOverTheDemosAnglesAndBeyond) {
  std::mt19937_64 random(19);
  Exact exact;
  // The demo's angles: the players' sine tables, the scenes' float angles
  // advanced a degree per frame (under 2^15 even for a capture at the
  // smallest time step), the cube field's phases, the field of view.
  std::vector<double> demo = angles(random, 32768, -30, 15000);
  for (int p = 0; p < 256; ++p) demo.push_back(p * 0.0245436877);
  for (int q = -32; q < 32; ++q) demo.push_back(q * 2 * double(0.049087375f));
  float angle = 0;
  for (int frame = 0; frame < 20000; ++frame, angle += 0.017453292f) demo.push_back(double(angle));
  demo.push_back(double(0.7853982f));
  // Far beyond: every exponent up to the largest doubles, and the double
  // closest to a multiple of pi/2 (6381956970095103 2^797, 2^-61 from it).
  std::vector<double> beyond = angles(random, 1.7e308, 15, 2000);
  beyond.push_back(std::ldexp(6381956970095103.0, 797));
  beyond.push_back(-std::ldexp(6381956970095103.0, 797));
  beyond.push_back(0x1p112);
  beyond.push_back(std::numeric_limits<double>::max());
  beyond.push_back(std::numeric_limits<double>::denorm_min());

  for (const auto* set : {&demo, &beyond}) {
    const bool inDemo = set == &demo;
    Errors s{inDemo ? "sin (demo)" : "sin (beyond)"}, c{inDemo ? "cos (demo)" : "cos (beyond)"},
        t{inDemo ? "tan (demo)" : "tan (beyond)"};
    for (double x : *set) {
      exact.check(s, x, maths::sin(x), mpfr_sin);
      exact.check(c, x, maths::cos(x), mpfr_cos);
      exact.check(t, x, maths::tan(x), mpfr_tan);
    }
    expectCorrectlyRounded(s);
    expectCorrectlyRounded(c);
    expectCorrectlyRounded(t);
  }
}

TEST(Maths, Exp2AndPowCorrectlyRoundedOverTheMusicsExponentsAndBeyond) {
  std::mt19937_64 random(19);
  Exact exact;
  Errors exp2Demo{"exp2 (demo)"}, exp2Beyond{"exp2 (beyond)"}, powDemo{"pow(2, y) (demo)"}, pow{"pow (beyond)"};
  // Linear frequencies: every period the player can form, however absurd,
  // as the float exponent it passes.
  for (int64_t period = -30000; period <= 30000; ++period) {
    const double x = double(float(4608 - period) * 0.0013020834f);
    exact.check(exp2Demo, x, maths::exp2(x), mpfr_exp2);
  }
  // The Amiga period table's powers of two.
  for (int k = -2000; k <= 2000; ++k) {
    const double y = (132 - k) * double(0.0833333358f);
    exact.checkPow(powDemo, 2, y, maths::pow(2, y));
  }
  // The whole range of exp2, the subnormal results and their edges.
  std::uniform_real_distribution<double> exponents(-1080, 1025);
  std::uniform_real_distribution<double> subnormal(-1080, -1020);
  for (int i = 0; i < 10000; ++i) {
    for (double x : {exponents(random), subnormal(random)}) exact.check(exp2Beyond, x, maths::exp2(x), mpfr_exp2);
  }
  // pow over the positive bases and exponents whose results are doubles,
  // and negative bases with integer exponents.
  std::uniform_real_distribution<double> logBase(-1074, 1023);
  std::uniform_real_distribution<double> logResult(-1080, 1025);
  std::uniform_real_distribution<double> near1(-0x1p-20, 0x1p-20);
  for (int i = 0; i < 10000; ++i) {
    const double x = std::exp2(logBase(random));
    double y = logResult(random) / std::log2(x);
    exact.checkPow(pow, x, y, maths::pow(x, y));
    const double closeTo1 = 1 + near1(random);
    y = logResult(random) / std::log2(closeTo1);
    exact.checkPow(pow, closeTo1, y, maths::pow(closeTo1, y));
    const double negative = -(1 + double(i % 1000) / 64);
    exact.checkPow(pow, negative, double(i % 61 - 30), maths::pow(negative, double(i % 61 - 30)));
  }
  expectCorrectlyRounded(exp2Demo);
  expectCorrectlyRounded(exp2Beyond);
  expectCorrectlyRounded(powDemo);
  expectCorrectlyRounded(pow);
}

TEST(Maths, EdgesAndSpecialValuesAreSane) {
  // Exact cases: integer powers of two, squares halfway between doubles.
  EXPECT_EQ(maths::exp2(-1074), std::numeric_limits<double>::denorm_min());
  EXPECT_EQ(maths::exp2(-1075), 0.0);  // halfway to 2^-1074: to even
  EXPECT_EQ(maths::exp2(-1022), std::numeric_limits<double>::min());
  EXPECT_EQ(maths::exp2(1023), 0x1p1023);
  EXPECT_EQ(maths::exp2(1024), inf);
  EXPECT_EQ(maths::exp2(-inf), 0.0);
  EXPECT_EQ(maths::pow(2, 10), 1024.0);
  EXPECT_EQ(maths::pow(-2, 3), -8.0);
  EXPECT_EQ(maths::pow(0x1p-1074, 0x1p1023), 0.0);
  EXPECT_EQ(maths::pow(0x1p1000, 0.5), 0x1p500);
  EXPECT_EQ(maths::pow(0x1p1000, 2), inf);
  EXPECT_EQ(maths::pow(std::ldexp(1.0, 1000) * 1.5, -1), 1 / (std::ldexp(1.0, 1000) * 1.5));
  const double odd = 1 + 0x1p-30;  // its square lies halfway between two doubles
  EXPECT_EQ(maths::pow(odd, 2), 1 + 0x1p-29);
  EXPECT_TRUE(std::isnan(maths::pow(-8, 1.0 / 3)));
  EXPECT_EQ(maths::pow(-0.0, 3), -0.0);
  EXPECT_TRUE(std::signbit(maths::pow(-0.0, 3)));
  EXPECT_EQ(maths::pow(-0.0, -1), -inf);
  EXPECT_EQ(maths::pow(0.5, inf), 0.0);
  EXPECT_EQ(maths::pow(1, std::nan("")), 1.0);
  EXPECT_EQ(maths::pow(std::nan(""), 0), 1.0);
  // Odd functions keep the sign of zero; no value from infinity.
  EXPECT_TRUE(std::signbit(maths::sin(-0.0)));
  EXPECT_TRUE(std::signbit(maths::tan(-0.0)));
  EXPECT_EQ(maths::cos(0), 1.0);
  EXPECT_TRUE(std::isnan(maths::sin(inf)));
  EXPECT_TRUE(std::isnan(maths::cos(-inf)));
  EXPECT_TRUE(std::isnan(maths::exp2(std::nan(""))));
  // Symmetry holds exactly, to the last bit.
  for (double x : {0.3, 2.0, 1e5, 3e7, 1e300}) {
    EXPECT_EQ(maths::sin(-x), -maths::sin(x)) << x;
    EXPECT_EQ(maths::cos(-x), maths::cos(x)) << x;
    EXPECT_EQ(maths::tan(-x), -maths::tan(x)) << x;
  }
  // sinCos gives the bits of sin and cos: small, quadrant-crossing, huge
  // and special arguments, and angles as the particles turn them.
  auto sameBits = [](double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; };
  std::vector<double> angles = {0.0,       -0.0,  0.785398, 0.7853982, -2.356194,   1048575.9,
                                1048576.0, 1e300, inf,      -inf,      std::nan("")};
  float turning = 0;
  for (int k = 0; k < 3000; ++k, turning += 0.017453292f) angles.push_back(double(turning + 0.7853982f * (k % 8)));
  for (const double x : angles) {
    double sine, cosine;
    maths::sinCos(x, sine, cosine);
    EXPECT_TRUE(sameBits(sine, maths::sin(x))) << x;
    EXPECT_TRUE(sameBits(cosine, maths::cos(x))) << x;
  }
}

}  // namespace
