#include "runoff/model/power.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "runoff/model/power_tables.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define RUNOFF_POWER_AVX2 1
#endif

// The scalar form (logOf, expOf) and the AVX2 form (powersAvx2) perform the same operations on
// the same values in the same order; a change to one is a change to both, and
// tests/power_test.cpp checks that they agree bit for bit. Every floating-point step is a single
// correctly rounded + - or *; the compiler may not fuse them (-ffp-contract=off) and does not
// reorder them (no fast-math).

namespace runoff {
namespace {

using namespace power_tables;

constexpr int kLogSize = 1 << kLogBits;
constexpr int kExpSize = 1 << kExpBits;
constexpr std::uint64_t kSmallestNormalBits = 0x0010000000000000ULL;
constexpr std::uint64_t kInfinityBits = 0x7ff0000000000000ULL;
// Adding and then subtracting this rounds a double below 2^51 in magnitude to an integer, which
// the low bits of the sum hold.
constexpr double kShift = 0x1.8p52;
// |y ln x| below this gives a normal double with room for the table's scale: 2^-1016 < e^-704.
constexpr double kExpLimit = 704;
// ln(1 + r) - r + r^2 / 2 = r^3 (1/3 - r/4 + r^2/5 - ...): the Taylor series up to r^8 leaves
// below 2^-75 for |r| < 2^-7.98, the largest r of the table.
constexpr double kLog3 = 1.0 / 3, kLog4 = -1.0 / 4, kLog5 = 1.0 / 5, kLog6 = -1.0 / 6,
                 kLog7 = 1.0 / 7, kLog8 = -1.0 / 8;
// e^s - 1 = s + s^2/2 + ... + s^6/720, leaving below 2^-71 for |s| <= ln 2 / 256.
constexpr double kExp2 = 1.0 / 2, kExp3 = 1.0 / 6, kExp4 = 1.0 / 24, kExp5 = 1.0 / 120,
                 kExp6 = 1.0 / 720;

double fromBits(std::uint64_t bits) { return std::bit_cast<double>(bits); }
std::uint64_t bitsOf(double value) { return std::bit_cast<std::uint64_t>(value); }

// y ln x as hi + lo, |lo| within a few units of 2^-53 |hi|.
struct Exponent {
  double hi;
  double lo;
};

// y ln x for x = ix's double times 2^exponentShift, ix the bits of a positive normal double.
Exponent logOf(std::uint64_t ix, double y, int exponentShift) {
  // x = 2^k z with z in [0.705, 1.41); the piece of z's range picks the table entry.
  const std::uint64_t tmp = ix - kLogOffset;
  const std::uint64_t piece = (tmp >> (52 - kLogBits)) & (kLogSize - 1);
  const std::int64_t k = static_cast<std::int64_t>(tmp) >> 52;
  const double z = fromBits(ix - (tmp & (0xfffULL << 52)));
  const double kd = static_cast<double>(k + exponentShift);
  const LogEntry& entry = kLog[piece];
  // r = z invc - 1 = rhi + rlo: the 21-bit head of z times the 12-bit invc is exact, and so is
  // its difference from 1 (26 bits at most, so that rhi^2 is exact too).
  const double zhi = fromBits((bitsOf(z) + (1ULL << 31)) & (~0ULL << 32));
  const double zlo = z - zhi;
  const double rhi = zhi * entry.invc - 1.0;
  const double rlo = zlo * entry.invc;
  // k ln 2 + ln(1/invc) + rhi - rhi^2 / 2, summed with the rounding errors kept (e1, e2, e3):
  // k * kLn2Hi is exact, and it is 0 or larger than |logcHi|.
  const double a = kd * kLn2Hi;
  const double t1 = a + entry.logcHi;
  const double e1 = (a - t1) + entry.logcHi;
  const double t2 = t1 + rhi;
  const double b2 = t2 - t1;
  const double e2 = (t1 - (t2 - b2)) + (rhi - b2);
  const double square = (-0.5 * rhi) * rhi;
  const double hi = t2 + square;
  const double b3 = hi - t2;
  const double e3 = (t2 - (hi - b3)) + (square - b3);
  // The rest: the tails, the part of -r^2/2 that involves rlo and the cubic and higher terms.
  const double r = rhi + rlo;
  const double r2 = r * r;
  const double poly = r2 * r * ((kLog3 + r * kLog4) + r2 * ((kLog5 + r * kLog6) + r2 * (kLog7 + r * kLog8)));
  const double lo = (((e1 + e2) + e3) + (kd * kLn2Lo + entry.logcLo)) +
                    ((rlo - rhi * rlo) - (0.5 * rlo) * rlo) + poly;
  // hi + lo renormalised (hi is 0 and lo is all of ln x for an x within 2^-21 of 1), then
  // y (hi + lo) with the product of the 26-bit heads of y and ln x exact.
  const double l = hi + lo;
  const double lTail = (hi - l) + lo;
  const double yhi = fromBits(bitsOf(y) & (~0ULL << 27));
  const double ylo = y - yhi;
  const double lhi = fromBits(bitsOf(l) & (~0ULL << 27));
  const double llo = (l - lhi) + lTail;
  return {yhi * lhi, ylo * lhi + y * llo};
}

// The parts of e^(hi + lo) = scale (1 + tmp) for |hi| < 710: scale = 2^(m/128) rounded, with m
// the nearest integer to hi 128 / ln 2, its exponent field not yet set (scaleBits plus
// m << 45 sets it), and tmp = the table's tail + e^s - 1.
struct ExpParts {
  std::uint64_t scaleBits;
  std::uint64_t m;
  double tmp;
};

ExpParts expParts(Exponent e) {
  const double zz = e.hi * kInvLn2N;
  double md = zz + kShift;
  const std::uint64_t m = bitsOf(md);
  md = md - kShift;
  // hi - m ln 2 / 128 is exact: m * kLn2HiN is exact and within a factor of 2 of hi.
  const double t = e.hi - md * kLn2HiN;
  const double s = t + (e.lo - md * kLn2LoN);
  const ExpEntry& entry = kExp[m & (kExpSize - 1)];
  const double s2 = s * s;
  const double tmp = ((entry.tail + s) + s2 * (kExp2 + s * kExp3)) +
                     (s2 * s2) * ((kExp4 + s * kExp5) + s2 * kExp6);
  return {entry.bits, m, tmp};
}

double expOf(Exponent e) {
  const ExpParts p = expParts(e);
  const double scale = fromBits(p.scaleBits + (p.m << 45));
  return scale + scale * p.tmp;
}

// e^(hi + lo) where |hi| >= kExpLimit or hi is not a number; x is a positive normal double.
double farExp(double x, double y, Exponent e) {
  if (x == 1) return 1;  // even for a y that is infinite or not a number
  if (std::isnan(e.hi)) {
    if (std::isnan(y)) return y;
    // y is infinite: |x| above or below 1 decides.
    return (x > 1) == (y > 0) ? std::numeric_limits<double>::infinity() : 0.0;
  }
  if (e.hi > 710) return std::numeric_limits<double>::infinity();
  if (e.hi < -746) return 0.0;
  const ExpParts p = expParts(e);
  if (e.hi > 0) {
    // The scale halved, the result doubled: an overflow becomes infinity.
    const double scale = fromBits(p.scaleBits + (p.m << 45) - (1ULL << 52));
    return 2 * (scale + scale * p.tmp);
  }
  // The scale raised by 2^1022 and the result brought back down, rounded into the subnormals.
  const double scale = fromBits(p.scaleBits + (p.m << 45) + (1022ULL << 52));
  return (scale + scale * p.tmp) * 0x1p-1022;
}

bool isOddInteger(double y) {
  return std::isfinite(y) && std::trunc(y) == y && std::fabs(y) < 0x1p53 &&
         std::fmod(y, 2.0) != 0;
}

// Every x that is not a positive normal double.
double edgePower(double x, double y) {
  if (y == 0) return 1;
  if (std::isnan(x) || std::isnan(y)) return x + y;
  if (x == 0) {
    const bool negative = std::signbit(x) && isOddInteger(y);
    const double magnitude = y > 0 ? 0.0 : std::numeric_limits<double>::infinity();
    return negative ? -magnitude : magnitude;
  }
  if (std::isinf(x)) {  // +inf, or -inf whose sign only an odd integer y keeps
    const bool negative = x < 0 && isOddInteger(y);
    const double magnitude = y > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    return negative ? -magnitude : magnitude;
  }
  if (x < 0) {
    if (std::isfinite(y) && std::trunc(y) != y) return std::numeric_limits<double>::quiet_NaN();
    const double magnitude = power(-x, y);
    return isOddInteger(y) ? -magnitude : magnitude;
  }
  // A positive subnormal: scaled by 2^52 exactly into the normal range.
  const Exponent e = logOf(bitsOf(x * 0x1p52), y, -52);
  if (!(std::fabs(e.hi) < kExpLimit)) return farExp(x, y, e);
  return expOf(e);
}

}  // namespace

double power(double x, double y) {
  const std::uint64_t ix = bitsOf(x);
  if (ix - kSmallestNormalBits >= kInfinityBits - kSmallestNormalBits) return edgePower(x, y);
  const Exponent e = logOf(ix, y, 0);
  if (!(std::fabs(e.hi) < kExpLimit)) return farExp(x, y, e);
  return expOf(e);
}

void powersOneByOne(const double* x, const double* y, double* out, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) out[i] = power(x[i], y[i]);
}

#ifdef RUNOFF_POWER_AVX2

bool powersAvx2Available() { return __builtin_cpu_supports("avx2"); }

namespace {

using Vec = __m256d;
using Ints = __m256i;

__attribute__((target("avx2"))) inline Ints fill(std::uint64_t v) {
  return _mm256_set1_epi64x(static_cast<long long>(v));
}
__attribute__((target("avx2"))) inline Vec broadcast(double v) { return _mm256_set1_pd(v); }
__attribute__((target("avx2"))) inline Vec add(Vec a, Vec b) { return _mm256_add_pd(a, b); }
__attribute__((target("avx2"))) inline Vec sub(Vec a, Vec b) { return _mm256_sub_pd(a, b); }
__attribute__((target("avx2"))) inline Vec mul(Vec a, Vec b) { return _mm256_mul_pd(a, b); }
__attribute__((target("avx2"))) inline Vec asDoubles(Ints v) { return _mm256_castsi256_pd(v); }
__attribute__((target("avx2"))) inline Ints asInts(Vec v) { return _mm256_castpd_si256(v); }

// Four lanes of power() for positive normal x with |y ln x| < kExpLimit and for x = +0 with
// y > 0; the other lanes are marked in the returned mask (bit i for lane i) and left to the
// scalar form.
__attribute__((target("avx2"))) int fourPowers(const double* xp, const double* yp, double* out) {
  const Vec x = _mm256_loadu_pd(xp);
  const Vec y = _mm256_loadu_pd(yp);
  const Ints ix = asInts(x);
  // logOf
  const Ints tmp = _mm256_sub_epi64(ix, fill(kLogOffset));
  const Ints piece =
      _mm256_and_si256(_mm256_srli_epi64(tmp, 52 - kLogBits), fill(std::uint64_t{kLogSize - 1}));
  // k + 2048 as an unsigned field, turned into the double k exactly.
  const Ints kBiased = _mm256_srli_epi64(_mm256_xor_si256(tmp, fill(1ULL << 63)), 52);
  const Vec kd = sub(asDoubles(_mm256_or_si256(kBiased, fill(0x4330000000000000ULL))),
                     broadcast(0x1p52 + 2048));
  const Vec z = asDoubles(_mm256_sub_epi64(ix, _mm256_and_si256(tmp, fill(0xfffULL << 52))));
  // The four lanes' table entries loaded whole and transposed (cheaper than gathers).
  alignas(32) std::uint64_t lanePiece[4];
  _mm256_store_si256(reinterpret_cast<Ints*>(lanePiece), piece);
  const Vec entry0 = _mm256_load_pd(&kLog[lanePiece[0]].invc);
  const Vec entry1 = _mm256_load_pd(&kLog[lanePiece[1]].invc);
  const Vec entry2 = _mm256_load_pd(&kLog[lanePiece[2]].invc);
  const Vec entry3 = _mm256_load_pd(&kLog[lanePiece[3]].invc);
  const Vec low01 = _mm256_unpacklo_pd(entry0, entry1);   // invc 0 1, logcLo 0 1
  const Vec high01 = _mm256_unpackhi_pd(entry0, entry1);  // logcHi 0 1
  const Vec low23 = _mm256_unpacklo_pd(entry2, entry3);
  const Vec high23 = _mm256_unpackhi_pd(entry2, entry3);
  const Vec invc = _mm256_permute2f128_pd(low01, low23, 0x20);
  const Vec logcLo = _mm256_permute2f128_pd(low01, low23, 0x31);
  const Vec logcHi = _mm256_permute2f128_pd(high01, high23, 0x20);
  const Vec zhi = asDoubles(
      _mm256_and_si256(_mm256_add_epi64(asInts(z), fill(1ULL << 31)), fill(~0ULL << 32)));
  const Vec zlo = sub(z, zhi);
  const Vec rhi = sub(mul(zhi, invc), broadcast(1.0));
  const Vec rlo = mul(zlo, invc);
  const Vec a = mul(kd, broadcast(kLn2Hi));
  const Vec t1 = add(a, logcHi);
  const Vec e1 = add(sub(a, t1), logcHi);
  const Vec t2 = add(t1, rhi);
  const Vec b2 = sub(t2, t1);
  const Vec e2 = add(sub(t1, sub(t2, b2)), sub(rhi, b2));
  const Vec square = mul(mul(broadcast(-0.5), rhi), rhi);
  const Vec hi = add(t2, square);
  const Vec b3 = sub(hi, t2);
  const Vec e3 = add(sub(t2, sub(hi, b3)), sub(square, b3));
  const Vec r = add(rhi, rlo);
  const Vec r2 = mul(r, r);
  const Vec poly = mul(
      mul(r2, r),
      add(add(broadcast(kLog3), mul(r, broadcast(kLog4))),
          mul(r2, add(add(broadcast(kLog5), mul(r, broadcast(kLog6))),
                      mul(r2, add(broadcast(kLog7), mul(r, broadcast(kLog8))))))));
  const Vec lo = add(add(add(add(add(e1, e2), e3), add(mul(kd, broadcast(kLn2Lo)), logcLo)),
                         sub(sub(rlo, mul(rhi, rlo)), mul(mul(broadcast(0.5), rlo), rlo))),
                     poly);
  const Ints mask27 = fill(~0ULL << 27);
  const Vec yhi = asDoubles(_mm256_and_si256(asInts(y), mask27));
  const Vec ylo = sub(y, yhi);
  const Vec l = add(hi, lo);
  const Vec lTail = add(sub(hi, l), lo);
  const Vec lhi = asDoubles(_mm256_and_si256(asInts(l), mask27));
  const Vec llo = add(sub(l, lhi), lTail);
  const Vec ehi = mul(yhi, lhi);
  const Vec elo = add(mul(ylo, lhi), mul(y, llo));
  // expParts and expOf
  const Vec zz = mul(ehi, broadcast(kInvLn2N));
  Vec md = add(zz, broadcast(kShift));
  const Ints m = asInts(md);
  md = sub(md, broadcast(kShift));
  const Vec t = sub(ehi, mul(md, broadcast(kLn2HiN)));
  const Vec s = add(t, sub(elo, mul(md, broadcast(kLn2LoN))));
  alignas(32) std::uint64_t laneIndex[4];
  _mm256_store_si256(reinterpret_cast<Ints*>(laneIndex),
                     _mm256_and_si256(m, fill(std::uint64_t{kExpSize - 1})));
  const Vec entries02 = _mm256_insertf128_pd(
      _mm256_castpd128_pd256(_mm_load_pd(reinterpret_cast<const double*>(&kExp[laneIndex[0]]))),
      _mm_load_pd(reinterpret_cast<const double*>(&kExp[laneIndex[2]])), 1);
  const Vec entries13 = _mm256_insertf128_pd(
      _mm256_castpd128_pd256(_mm_load_pd(reinterpret_cast<const double*>(&kExp[laneIndex[1]]))),
      _mm_load_pd(reinterpret_cast<const double*>(&kExp[laneIndex[3]])), 1);
  const Ints scaleBits = asInts(_mm256_unpacklo_pd(entries02, entries13));
  const Vec tail = _mm256_unpackhi_pd(entries02, entries13);
  const Vec s2 = mul(s, s);
  const Vec tmpExp =
      add(add(add(tail, s), mul(s2, add(broadcast(kExp2), mul(s, broadcast(kExp3))))),
          mul(mul(s2, s2), add(add(broadcast(kExp4), mul(s, broadcast(kExp5))),
                               mul(s2, broadcast(kExp6)))));
  const Vec scale = asDoubles(_mm256_add_epi64(scaleBits, _mm256_slli_epi64(m, 45)));
  // +0 to a positive power, the discharge of a dry node, is +0 here as in edgePower.
  const Vec zeroBase = _mm256_and_pd(asDoubles(_mm256_cmpeq_epi64(ix, fill(std::uint64_t{0}))),
                                     _mm256_cmp_pd(y, broadcast(0.0), _CMP_GT_OQ));
  _mm256_storeu_pd(out, _mm256_andnot_pd(zeroBase, add(scale, mul(scale, tmpExp))));
  // The lanes the scalar form must take: x not a positive normal double, or |y ln x| too large.
  const Ints normal = _mm256_and_si256(_mm256_cmpgt_epi64(ix, fill(kSmallestNormalBits - 1)),
                                       _mm256_cmpgt_epi64(fill(kInfinityBits), ix));
  const Vec absHi = _mm256_andnot_pd(broadcast(-0.0), ehi);
  const Vec inRange = _mm256_cmp_pd(absHi, broadcast(kExpLimit), _CMP_LT_OQ);
  const Vec done = _mm256_or_pd(_mm256_and_pd(asDoubles(normal), inRange), zeroBase);
  return 0xf & ~_mm256_movemask_pd(done);
}

}  // namespace

__attribute__((target("avx2"))) void powersAvx2(const double* x, const double* y, double* out,
                                                std::size_t n) {
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    double lanes[4];
    int others = fourPowers(x + i, y + i, lanes);
    while (others != 0) {
      const int lane = std::countr_zero(static_cast<unsigned>(others));
      lanes[lane] = power(x[i + lane], y[i + lane]);
      others &= others - 1;
    }
    for (int lane = 0; lane < 4; ++lane) out[i + lane] = lanes[lane];
  }
  for (; i < n; ++i) out[i] = power(x[i], y[i]);
}

void powers(const double* x, const double* y, double* out, std::size_t n) {
  static const bool avx2 = powersAvx2Available();
  if (avx2) {
    powersAvx2(x, y, out, n);
  } else {
    powersOneByOne(x, y, out, n);
  }
}

#else

bool powersAvx2Available() { return false; }

void powersAvx2(const double* x, const double* y, double* out, std::size_t n) {
  powersOneByOne(x, y, out, n);
}

void powers(const double* x, const double* y, double* out, std::size_t n) {
  powersOneByOne(x, y, out, n);
}

#endif

}  // namespace runoff
