// Sweep of the kernel's power function (runoff/model/power.h) against the C library's pow:
// discharges log-uniform from 1e-12 to 1e5 m^3/s, each raised to the exponents the two routing
// schemes use (the classic step's celerity exponent (mExp - 1) / mExp and the conservative
// step's area exponent 1 / mExp), both through the vector form. Prints the count of inputs on
// which the two differ, the largest difference in units of the last place and a few examples.
//
// Usage: power_sweep_bench [count] [seed] [threads]
//   count (default 1e10) discharges, each with both exponents, so 2 x count powers; the
//   discharges come from a splitmix64 stream started at `seed` (default 1), cut into blocks
//   that the threads (default: the cores) take in turn, so the figures do not depend on the
//   thread count.
#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "runoff/model/power.h"

namespace {

constexpr std::uint64_t kBlock = 1 << 16;

std::uint64_t splitmix(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

// Difference of two finite positive doubles in units of the last place of the first.
double ulpsApart(double ours, double theirs) {
  const double ulp = std::nextafter(theirs, INFINITY) - theirs;
  return std::fabs(ours - theirs) / ulp;
}

struct Tally {
  std::uint64_t differing[2] = {0, 0};
  double largestUlps = 0;
  std::vector<double> examples;  // x, y, ours, theirs
};

}  // namespace

int main(int argc, char** argv) {
  const std::uint64_t count = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 10000000000ULL;
  const std::uint64_t seed = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1;
  const unsigned threads =
      argc > 3 ? static_cast<unsigned>(std::atoi(argv[3])) : std::thread::hardware_concurrency();
  // The exponents as the kernel forms them from mExp = 1 + 0.666667.
  const double mExp = 1 + 0.666667 * 1.0;
  const double exponents[2] = {(mExp - 1) / mExp, 1 / mExp};
  const double logLow = std::log(1e-12), logHigh = std::log(1e5);
  const std::uint64_t blocks = (count + kBlock - 1) / kBlock;
  std::atomic<std::uint64_t> nextBlock{0};
  std::mutex mutex;
  Tally total;
  auto work = [&] {
    Tally mine;
    std::vector<double> x(kBlock), y(kBlock), out(kBlock);
    for (std::uint64_t b; (b = nextBlock++) < blocks;) {
      std::uint64_t state = seed ^ (b * 0xd1b54a32d192ed03ULL);
      const std::uint64_t n = std::min(kBlock, count - b * kBlock);
      for (std::uint64_t i = 0; i < n; ++i) {
        const double u = static_cast<double>(splitmix(state) >> 11) * 0x1p-53;
        x[i] = std::exp(logLow + u * (logHigh - logLow));
      }
      for (int e = 0; e < 2; ++e) {
        std::fill(y.begin(), y.begin() + static_cast<std::ptrdiff_t>(n), exponents[e]);
        runoff::powers(x.data(), y.data(), out.data(), n);
        for (std::uint64_t i = 0; i < n; ++i) {
          const double theirs = std::pow(x[i], exponents[e]);
          if (std::bit_cast<std::uint64_t>(out[i]) == std::bit_cast<std::uint64_t>(theirs)) continue;
          ++mine.differing[e];
          mine.largestUlps = std::max(mine.largestUlps, ulpsApart(out[i], theirs));
          if (mine.examples.size() < 4 * 6) {
            mine.examples.insert(mine.examples.end(), {x[i], exponents[e], out[i], theirs});
          }
        }
      }
    }
    std::lock_guard<std::mutex> lock(mutex);
    for (int e = 0; e < 2; ++e) total.differing[e] += mine.differing[e];
    total.largestUlps = std::max(total.largestUlps, mine.largestUlps);
    if (total.examples.size() < 4 * 6) {
      total.examples.insert(total.examples.end(), mine.examples.begin(), mine.examples.end());
    }
  };
  std::vector<std::thread> pool;
  for (unsigned t = 0; t < std::max(1u, threads); ++t) pool.emplace_back(work);
  for (std::thread& t : pool) t.join();
  std::printf("power sweep: %llu discharges from 1e-12 to 1e5 (seed %llu), exponents %a and %a,"
              " vector form %s\n",
              static_cast<unsigned long long>(count), static_cast<unsigned long long>(seed),
              exponents[0], exponents[1],
              runoff::powersAvx2Available() ? "AVX2" : "one by one");
  const std::uint64_t differing = total.differing[0] + total.differing[1];
  std::printf("differing from pow: %llu of %llu (%.3g%%; celerity exponent %llu, area exponent "
              "%llu)\n",
              static_cast<unsigned long long>(differing),
              static_cast<unsigned long long>(2 * count),
              100.0 * static_cast<double>(differing) / (2.0 * static_cast<double>(count)),
              static_cast<unsigned long long>(total.differing[0]),
              static_cast<unsigned long long>(total.differing[1]));
  std::printf("largest difference: %.0f ulp\n", total.largestUlps);
  for (std::size_t i = 0; i + 3 < total.examples.size() && i < 4 * 6; i += 4) {
    std::printf("  x = %a, y = %a: own %a, pow %a\n", total.examples[i], total.examples[i + 1],
                total.examples[i + 2], total.examples[i + 3]);
  }
  return 0;
}
