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
  // x * 2/pi rounded to the nearest whole number, ties to even: adding and
  // taking away 1.5 * 2^52 leaves no fraction bits, so the sum rounds the
  // way nearbyint does in the default rounding mode, for any |v| below
  // 2^51 (here below 2^20), without a call into the C library.
  constexpr double kRound = 6755399441055744.0;  // 1.5 * 2^52
  const double n = (x * twoOverPi + kRound) - kRound;
  quadrant = int(int64_t(n) & 3);
  Dd r = add(twoProduct(-n, halfPi1), x);
  r = add(r, twoProduct(-n, halfPi2));
  return add(r, -n * halfPi3);
}

// sin(i/64) and cos(i/64), i = 0 .. 51: the quick evaluation's table.
constexpr Dd sinTable[52] = {
    {0.0, 0.0},
    {0.015624364224883372, -1.2650937552759816e-19},
    {0.03124491398532608, -1.562781562225433e-18},
    {0.04685783574813424, -2.3419368365610254e-18},
    {0.0624593178423802, -2.040259504585711e-18},
    {0.07804555138996731, -5.449443782005793e-18},
    {0.09361273123551289, 1.4628632005878733e-18},
    {0.10915705687532236, 6.6284699502736666e-18},
    {0.12467473338522769, -2.925947496057858e-18},
    {0.1401619723470637, -9.946847113883478e-18},
    {0.15561499277355603, 8.886053372342288e-18},
    {0.17103002203139503, -9.954774726452923e-18},
    {0.18640329676226988, 2.3493796901281573e-18},
    {0.2017310638016388, 5.587232815460113e-18},
    {0.21700958109501015, 1.1170071073364376e-17},
    {0.23223511861151147, -8.318080852687206e-18},
    {0.24740395925452294, -7.53102495590706e-18},
    {0.2625123997691533, -2.2534597527902125e-17},
    {0.2775567516463363, 1.7674070262791822e-17},
    {0.29253334202332754, 7.516944930327352e-18},
    {0.30743851458038085, 1.1004366442765296e-19},
    {0.3222686304333866, 2.093773358126606e-17},
    {0.33702006902225307, 1.0312279860787216e-17},
    {0.3516892289948141, -2.5616208736069942e-17},
    {0.36627252908604757, -9.938814562106524e-18},
    {0.38076640899239017, 2.1372528646211374e-17},
    {0.39516733024093426, -1.9613487871414228e-17},
    {0.40947177705329507, -5.679403000091266e-18},
    {0.42367625720393803, -2.331800700068871e-17},
    {0.4377773028727551, 7.64345629962023e-18},
    {0.4517714714916838, -8.234073942098903e-18},
    {0.46565534658516017, 1.459870391051426e-17},
    {0.479425538604203, -5.103969860556013e-18},
    {0.49307868575392305, 5.605083973871755e-18},
    {0.5066114548142574, -3.269413423618168e-17},
    {0.520020541953727, -3.983266745698455e-17},
    {0.5333026735360201, 5.129318115032044e-17},
    {0.5464546069192036, 8.399754840929507e-18},
    {0.5594731312473669, 1.575565514488728e-17},
    {0.5723550682345072, 2.6575872357215316e-17},
    {0.5850972729404622, -5.4883972461161805e-17},
    {0.5976966345387015, 5.450323593054385e-17},
    {0.6101500770757914, -1.479826990758988e-17},
    {0.6224545602223437, -6.049035765709707e-18},
    {0.6346070800152693, -3.4568582392624965e-17},
    {0.6466046695911524, 4.567647714393289e-19},
    {0.6584443999105676, -3.7736386700306717e-17},
    {0.6701233804731629, 6.183536725574959e-18},
    {0.6816387600233341, 4.410467313197903e-17},
    {0.692987727246318, -5.3543290798909455e-17},
    {0.7041675114545337, -3.94095700584825e-17},
    {0.7151753832640076, -1.466099578328228e-17},
};
constexpr Dd cosTable[52] = {
    {1.0, 0.0},
    {0.9998779321710066, 3.216122229972341e-17},
    {0.9995117584851364, -3.418806487972947e-17},
    {0.9989015683384429, -2.1425557800399754e-17},
    {0.9980475107000991, 3.3232291674141346e-17},
    {0.9969497940760287, -1.2467075728553626e-17},
    {0.9956086864580017, 3.312922430932991e-17},
    {0.9940245152582091, 1.3287985046260087e-17},
    {0.992197667229329, 4.754870575189364e-17},
    {0.9901285883701071, -4.589906353553811e-18},
    {0.9878177838164719, 4.91917302237681e-17},
    {0.9852658177182139, -4.925721262944555e-17},
    {0.9824733131012553, -3.919920375420088e-17},
    {0.9794409517155483, 1.3108769521526758e-17},
    {0.9761694738686353, -7.850690609285027e-18},
    {0.9726596782449127, 2.3920264546490165e-17},
    {0.9689124217106447, 5.071436662403936e-17},
    {0.964928619104771, -3.0345542681018625e-18},
    {0.9607092430155619, -2.807827063516729e-17},
    {0.9562553235431753, -3.148450868841629e-17},
    {0.9515679480481722, -3.8614834675674123e-17},
    {0.9466482608860534, -3.911683334934152e-17},
    {0.9414974631278811, -4.8523830236797095e-18},
    {0.9361168122670553, -5.2350302039683216e-17},
    {0.9305076219123143, 4.488760003328074e-18},
    {0.924671261467036, 5.5444125388034563e-17},
    {0.9186091557949183, -4.0564150104514996e-17},
    {0.9123227848721178, 2.6349040211413332e-17},
    {0.9058136834259364, 4.2864666490805214e-17},
    {0.8990834405601384, 9.076951775075616e-18},
    {0.8921336993669944, 2.3160655211380166e-17},
    {0.8849661565261433, -7.690557775987357e-18},
    {0.8775825618903728, -4.2623149864279997e-17},
    {0.8699847180584174, 1.657385110740923e-17},
    {0.8621744799348805, 4.4132427578105805e-18},
    {0.8541537542773854, 5.420565102675286e-18},
    {0.8459244992310679, 1.549506647350329e-17},
    {0.8374887238505236, 4.3337026043948396e-17},
    {0.8288484876093257, 1.1163935406617444e-17},
    {0.820005899897234, -3.912431748209128e-17},
    {0.8109631195052179, -3.091333486122179e-17},
    {0.8017223540984184, 4.0134533311087014e-17},
    {0.7922858596771786, -2.9049779312834576e-17},
    {0.7826559400262728, -1.474071641211487e-17},
    {0.7728349461524715, 4.231014921891023e-17},
    {0.7628252757105762, 1.6672995021546628e-17},
    {0.7526293724180665, -1.2970993013150526e-17},
    {0.7422497254585013, -1.2339303604869521e-17},
    {0.7316888688738209, -1.0475824306512768e-17},
    {0.7209493809456964, 3.494986701478816e-17},
    {0.7100338835660797, 1.505272211891291e-17},
    {0.6989450415971057, -5.5261332036460915e-18},
};

// sin r (cosine false) or cos r for |r| <= about pi/4, quickly: the table's
// values at a = i/64 nearest |r| and short series in the rest b = |r| - a
// (|b| <= 1/128), whose terms beyond the first are small enough for double
// precision. The error is far below 2^-62 of the result; when that could
// change the rounding, false sends the caller to the full series.
bool quickSinOrCos(Dd r, bool cosine, double& result) {
  const double sign = r.hi < 0 ? -1 : 1;
  const double ar = std::fabs(r.hi);
  const int i = int(ar * 64 + 0.5);
  const double b = ar - i * 0.015625;  // exact
  const double bl = r.lo * sign;
  const double b2 = b * b;
  const double sinTail = b * b2 * (-1.0 / 6 + b2 * (1.0 / 120 - b2 * (1.0 / 5040)));  // sin b - b
  const double cosTail = b2 * (-0.5 + b2 * (1.0 / 24 - b2 * (1.0 / 720)));            // cos b - 1
  const Dd s = sinTable[i];
  const Dd c = cosTable[i];
  Dd v;
  if (!cosine) {
    // sin(a + b + bl) = sin a cos b + cos a sin b + cos(a + b) bl
    const Dd p = twoProduct(c.hi, b);
    const double small = s.lo + c.lo * b + s.hi * cosTail + c.hi * sinTail + (c.hi - s.hi * b) * bl;
    const Dd t = twoSum(s.hi, p.hi);
    v = quickTwoSum(t.hi, t.lo + (p.lo + small));
    v = {v.hi * sign, v.lo * sign};
  } else {
    // cos(a + b + bl) = cos a cos b - sin a sin b - sin(a + b) bl
    const Dd p = twoProduct(-s.hi, b);
    const double small = c.lo - s.lo * b + c.hi * cosTail - s.hi * sinTail - (s.hi + c.hi * b) * bl;
    const Dd t = twoSum(c.hi, p.hi);
    v = quickTwoSum(t.hi, t.lo + (p.lo + small));
  }
  const double e = std::fabs(v.hi) * 0x1p-62;
  const double up = v.hi + (v.lo + e);
  const double down = v.hi + (v.lo - e);
  if (up != down) return false;
  result = up;
  return true;
}

Dd sinSeries(Dd r) { return mul(r, horner(sinCoefficients, 14, 8, mul(r, r))); }

Dd cosSeries(Dd r) { return horner(cosCoefficients, 14, 9, mul(r, r)); }

// sin (shift 0) or cos (shift 1) of the angle reduced to r in `quadrant`.
double sinOrCosReduced(Dd r, int quadrant, int shift) {
  const int turn = (quadrant + shift) & 3;
  double quick = 0;
  if (quickSinOrCos(r, turn & 1, quick)) return turn & 2 ? -quick : quick;
  switch (turn) {
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

// sin (shift 0) or cos (shift 1) of x.
double sinOrCos(double x, int shift) {
  int quadrant = 0;
  const Dd r = reduce(x, quadrant);
  return sinOrCosReduced(r, quadrant, shift);
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

// 2^(j/64), j = -32 .. 32: the quick evaluation's table.
constexpr Dd exp2Table[65] = {
    {0.7071067811865476, -4.833646656726457e-17},
    {0.714806669195985, -6.0158212445268276e-18},
    {0.7225904034885233, -1.5118790674969937e-17},
    {0.7304588970903235, -2.800188593037608e-17},
    {0.7384130729697497, -1.741997278446398e-17},
    {0.7464538641456324, 7.096460077142018e-18},
    {0.7545822137967114, -5.082276638771475e-17},
    {0.7627990753722692, -5.5124708561712805e-17},
    {0.7711054127039704, 3.9749174048488104e-17},
    {0.7795022001189185, 1.8906035266787638e-17},
    {0.7879904225539432, -5.068458235639152e-18},
    {0.7965710756711335, -5.047203271155982e-17},
    {0.8052451659746271, 1.2353596284898944e-17},
    {0.8140137109286739, -3.356477542353542e-17},
    {0.8228777390769825, -5.062839956837386e-17},
    {0.8318382901633682, 2.94549634835655e-17},
    {0.8408964152537145, 4.099505010290748e-17},
    {0.8500531768592617, -4.01185968519885e-18},
    {0.859309649061239, -9.256902091315555e-18},
    {0.8686669176368531, 1.5821946496464785e-17},
    {0.8781260801866497, 1.4800703477244367e-17},
    {0.8876882462632606, 3.214865898278286e-17},
    {0.8973545375015536, 9.113729213956043e-18},
    {0.9071260877501994, -4.9847657694601744e-17},
    {0.9170040432046712, 1.6415536121228136e-17},
    {0.9269895625416927, 4.880943745363797e-17},
    {0.93708381705515, -3.061381706502071e-17},
    {0.9472879907934828, 1.7017017676082648e-17},
    {0.9576032806985737, -5.3099730280979813e-17},
    {0.9680308967461472, 5.166192980338163e-17},
    {0.9785720620877001, 4.480383895518334e-17},
    {0.9892280131939755, 2.0194376554639083e-17},
    {1.0, 0.0},
    {1.0108892860517005, -1.5234778603368577e-17},
    {1.0218971486541166, 5.109225028973444e-17},
    {1.0330248790212284, 7.600838874027088e-18},
    {1.0442737824274138, 8.551889705537965e-17},
    {1.0556451783605572, 1.759325738772092e-18},
    {1.0671404006768237, -7.899853966841582e-17},
    {1.0787607977571199, -6.656660436056593e-17},
    {1.0905077326652577, -3.046782079812471e-17},
    {1.102382583307841, 5.2660368715706944e-17},
    {1.1143867425958924, 1.0410278456845571e-16},
    {1.1265216186082418, 5.165856758795457e-17},
    {1.1387886347566916, 8.912812676025408e-17},
    {1.1511892299529827, 3.250710218863827e-17},
    {1.1637248587775775, 3.8292048369240935e-17},
    {1.1763969916502812, 5.554203254218079e-17},
    {1.189207115002721, 3.982015231465646e-17},
    {1.202156731452703, 6.644981499252301e-17},
    {1.215247359980469, -7.712630692681488e-17},
    {1.22848053610687, -1.89878163130253e-17},
    {1.241857812073484, 4.658027591836937e-17},
    {1.255380757024691, -6.7113898212968784e-18},
    {1.2690509571917332, 2.667932131342186e-18},
    {1.2828700160787783, 1.713594918243561e-17},
    {1.2968395546510096, 2.5382502794888315e-17},
    {1.3109612115247644, -7.181536135519454e-17},
    {1.3252366431597413, -2.8587312100388614e-17},
    {1.339667524053303, 8.927282594831732e-17},
    {1.3542555469368927, 7.70094837980299e-17},
    {1.3690024229745905, 9.593797919118849e-17},
    {1.383909881963832, -6.770511658794786e-17},
    {1.3989796725383112, -9.614213209051323e-17},
    {1.4142135623730951, -9.667293313452913e-17},
};

// 2^f for |f| <= about 1/2, quickly: the table's value at the nearest j/64
// times e^u, u = (f - j/64) ln 2, |u| <= 0.0055, whose series beyond its
// first two terms is small enough for double precision. The error is far
// below 2^-62 of the result; when that could change the rounding, false
// sends the caller to the full series.
bool quickExp2(Dd f, double& result) {
  const double j = std::nearbyint(f.hi * 64);
  if (!(std::fabs(j) <= 32)) return false;
  const double g = f.hi - j * 0.015625;  // exact
  const Dd p = twoProduct(g, ln2.hi);
  const double uh = p.hi;
  const double ul = p.lo + g * ln2.lo + f.lo * ln2.hi;
  // e^u - 1 - u, its leading term carrying the low part of u.
  const double tail =
      uh * ul +
      uh * uh * (0.5 + uh * (1.0 / 6 + uh * (1.0 / 24 + uh * (1.0 / 120 + uh * (1.0 / 720 + uh * (1.0 / 5040))))));
  const Dd table = exp2Table[int(j) + 32];
  const Dd q = twoProduct(table.hi, uh);
  const double small = table.lo + table.lo * uh + table.hi * (ul + tail);
  const Dd s = twoSum(table.hi, q.hi);
  const Dd v = quickTwoSum(s.hi, s.lo + (q.lo + small));
  const double e = v.hi * 0x1p-62;
  const double up = v.hi + (v.lo + e);
  const double down = v.hi + (v.lo - e);
  if (up != down) return false;
  result = up;
  return true;
}

// 2^t for a double-double t, rounded once.
double exp2Dd(Dd t) {
  if (t.hi >= 1024) return std::numeric_limits<double>::infinity();
  if (t.hi < -1080) return 0;
  const double n = std::nearbyint(t.hi);
  const Dd f = quickTwoSum(t.hi - n, t.lo);  // t.hi - n is exact
  // Normal results scale exactly; subnormal ones need the rounding below.
  double quick = 0;
  if (n >= -1021 && quickExp2(f, quick)) return std::ldexp(quick, int(n));
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

void sinCos(double x, double& sine, double& cosine) {
  if (!std::isfinite(x)) {
    sine = cosine = x - x;
    return;
  }
  // One reduction for both: each result is the one sin and cos give.
  int quadrant = 0;
  const Dd r = reduce(x, quadrant);
  sine = x == 0 ? x : sinOrCosReduced(r, quadrant, 0);
  cosine = sinOrCosReduced(r, quadrant, 1);
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
