// The kernel's power function against 128-bit arithmetic and the C library's pow, on random
// and edge inputs; its scalar and vector forms against each other bit for bit; and its tables
// against their generator.
#include "runoff/model/power.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#ifdef RUNOFF_QUADMATH
#include <quadmath.h>
#endif

namespace {

using runoff::power;

// The exponents of the two schemes, formed as the kernel forms them.
const double kMExp = 1 + 0.666667 * 1.0;
const double kCelerityExp = (kMExp - 1) / kMExp;
const double kAreaExp = 1 / kMExp;

std::uint64_t bits(double v) { return std::bit_cast<std::uint64_t>(v); }

// Inputs that reach every path: zeros, subnormals, the normal range's ends, 1 and its
// neighbours, the table's piece boundaries, huge and infinite values, NaN, and random
// discharges in and around the kernel's range.
std::vector<double> sampleBases(std::size_t randomCount) {
  const double inf = std::numeric_limits<double>::infinity();
  std::vector<double> x = {0.0,
                           -0.0,
                           0x1p-1074,
                           0x1.8p-1070,
                           0x0.fffffffffffffp-1022,
                           0x1p-1022,
                           0x1.0000000000001p-1022,
                           1e-12,
                           0.5,
                           std::nextafter(1.0, 0.0),
                           1.0,
                           std::nextafter(1.0, 2.0),
                           0.705078125,
                           1.41015625,
                           std::nextafter(1.41015625, 0.0),
                           2.0,
                           1e5,
                           1e300,
                           std::numeric_limits<double>::max(),
                           inf,
                           -1.0,
                           -2.0,
                           -inf,
                           std::numeric_limits<double>::quiet_NaN()};
  for (int i = 0; i < 128; ++i) {  // every piece boundary of the logarithm table
    x.push_back(std::bit_cast<double>(0x3fe6900000000000ULL + (std::uint64_t(i) << 45)));
  }
  std::mt19937_64 random(20261209);
  std::uniform_real_distribution<double> kernelRange(std::log(1e-14), std::log(1e7));
  std::uniform_int_distribution<std::uint64_t> anyPositive(0, 0x7fefffffffffffffULL);
  for (std::size_t i = 0; i < randomCount; ++i) {
    x.push_back(i % 4 == 3 ? std::bit_cast<double>(anyPositive(random))
                           : std::exp(kernelRange(random)));
  }
  return x;
}

std::vector<double> sampleExponents() {
  const double inf = std::numeric_limits<double>::infinity();
  return {kCelerityExp, kAreaExp, 0.685081138, 0.4, 0.6, -kAreaExp, 0.0, -0.0, 1.0, 2.0, 3.0, -1.0,
          -3.0, 0.5, 700.0, -700.0, 1e300, inf, -inf, std::numeric_limits<double>::quiet_NaN()};
}

bool sameValue(double a, double b) {
  return bits(a) == bits(b) || (std::isnan(a) && std::isnan(b));
}

TEST(Power, SpecialValuesAreThoseOfPow) {
  for (double x : sampleBases(0)) {
    for (double y : sampleExponents()) {
      const double ours = power(x, y);
      const double theirs = std::pow(x, y);
      if (std::isfinite(theirs) && theirs != 0 && std::fabs(theirs) >= 0x1p-1022 &&
          std::fabs(theirs) < std::numeric_limits<double>::max()) {
        // An ordinary result: within rounding of pow's.
        EXPECT_LE(std::fabs(ours - theirs), std::fabs(theirs) * 0x1p-52) << x << " ^ " << y;
      } else {
        EXPECT_TRUE(sameValue(ours, theirs))
            << std::hexfloat << x << " ^ " << y << ": " << ours << " against " << theirs;
      }
    }
  }
  EXPECT_EQ(bits(power(1.0, kCelerityExp)), bits(1.0));
  EXPECT_EQ(bits(power(0.0, kCelerityExp)), bits(0.0));
  EXPECT_EQ(bits(power(4.0, 0.5)), bits(2.0));
  EXPECT_EQ(bits(power(8.0, 1.0 / 3)), bits(std::pow(8.0, 1.0 / 3)));
}

#ifdef RUNOFF_QUADMATH

// Units in the last place between `ours` and the exact value, for a normal result.
double ulpError(double ours, __float128 exact) {
  int exponent;
  frexpq(exact, &exponent);  // exact = m 2^exponent, 0.5 <= |m| < 1
  const __float128 ulp = ldexpq(1, exponent - 53);
  return static_cast<double>(fabsq((static_cast<__float128>(ours) - exact) / ulp));
}

TEST(Power, WithinHalfAUnitAndAHundredthOfTheExactValue) {
  // The 128-bit pow is exact to far below the double's last place: the error of the double
  // result is measured, for ours and for the C library's.
  std::vector<double> exponents = sampleExponents();
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> anyExponent(-4, 4);
  for (int i = 0; i < 8; ++i) exponents.push_back(anyExponent(random));
  double worstOurs = 0, worstPow = 0;
  std::size_t measured = 0;
  for (double x : sampleBases(40000)) {
    for (double y : exponents) {
      if (!(x > 0) || !std::isfinite(x) || !std::isfinite(y)) continue;
      const __float128 exact = powq(x, y);
      if (!(fabsq(exact) >= 0x1p-1022) || !(exact < std::numeric_limits<double>::max())) continue;
      worstOurs = std::max(worstOurs, ulpError(power(x, y), exact));
      worstPow = std::max(worstPow, ulpError(std::pow(x, y), exact));
      ++measured;
    }
  }
  EXPECT_GT(measured, 500000u);
  EXPECT_LT(worstOurs, 0.51) << "C library's pow: " << worstPow;
  EXPECT_LT(worstPow, 0.53);  // the reference itself is sound
}

TEST(PowerTables, CheckedInTablesAreCurrent) {
  std::FILE* pipe = popen(GENERATE_POWER_TABLES_EXE " 2>/dev/null", "r");
  ASSERT_NE(pipe, nullptr);
  std::string generated;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
    generated.append(buffer, n);
  }
  ASSERT_EQ(pclose(pipe), 0);
  std::ifstream in(RUNOFF_SOURCE_DIR "/runoff/model/power_tables.h", std::ios::binary);
  std::stringstream checkedIn;
  checkedIn << in.rdbuf();
  EXPECT_EQ(generated, checkedIn.str())
      << "regenerate: generate_power_tables > runoff/model/power_tables.h";
}

#endif  // RUNOFF_QUADMATH

TEST(Power, DiffersFromPowByOneUnitAtMost) {
  double worst = 0;
  for (double x : sampleBases(200000)) {
    for (double y : {kCelerityExp, kAreaExp}) {
      const double ours = power(x, y), theirs = std::pow(x, y);
      if (!(theirs > 0) || !std::isfinite(theirs)) continue;
      worst = std::max(worst, std::fabs(ours - theirs) /
                                  (std::nextafter(theirs, INFINITY) - theirs));
    }
  }
  EXPECT_LE(worst, 1.0);
}

// Every way of taking several powers gives the bits of the scalar form: four at a time with
// AVX2 (where the processor has it), one at a time, and whichever powers() picks, on lengths
// that leave a remainder, with special lanes among ordinary ones and in place.
TEST(Power, VectorAndScalarFormsAgreeBitForBit) {
  const std::vector<double> bases = sampleBases(100000);
  const std::vector<double> exponents = sampleExponents();
  std::vector<double> x, y;
  std::mt19937_64 random(11);
  for (std::size_t i = 0; i < bases.size(); ++i) {
    x.push_back(bases[i]);
    y.push_back(i < 200 ? exponents[(i / 7) % exponents.size()]
                        : (random() % 3 == 0 ? kAreaExp : kCelerityExp));
  }
  for (std::size_t i = 0; i + 1 < 200; ++i) {  // every edge base with every exponent
    for (double e : exponents) {
      x.push_back(bases[i]);
      y.push_back(e);
    }
  }
  std::vector<double> scalar(x.size());
  for (std::size_t i = 0; i < x.size(); ++i) scalar[i] = power(x[i], y[i]);
  auto expectSame = [&](const std::vector<double>& got, const char* how, std::size_t n) {
    std::size_t differing = 0;
    for (std::size_t i = 0; i < n; ++i) {
      if (bits(got[i]) != bits(scalar[i])) {
        if (++differing <= 5) {
          ADD_FAILURE() << how << std::hexfloat << ": " << x[i] << " ^ " << y[i] << " = "
                        << got[i] << ", scalar " << scalar[i];
        }
      }
    }
    EXPECT_EQ(differing, 0u) << how;
  };
  for (std::size_t n : {x.size(), x.size() - 1, x.size() - 2, x.size() - 3, std::size_t{3}}) {
    std::vector<double> out(x.size(), -1.0);
    runoff::powersOneByOne(x.data(), y.data(), out.data(), n);
    expectSame(out, "one by one", n);
    out.assign(x.size(), -1.0);
    runoff::powers(x.data(), y.data(), out.data(), n);
    expectSame(out, "powers", n);
    if (runoff::powersAvx2Available()) {
      out.assign(x.size(), -1.0);
      runoff::powersAvx2(x.data(), y.data(), out.data(), n);
      expectSame(out, "AVX2", n);
    }
  }
  std::vector<double> inPlace = x;
  runoff::powers(inPlace.data(), y.data(), inPlace.data(), x.size());
  expectSame(inPlace, "in place", x.size());
  if (!runoff::powersAvx2Available()) {
    GTEST_LOG_(INFO) << "this processor has no AVX2: the four-at-a-time form was not run";
  }
}

}  // namespace
