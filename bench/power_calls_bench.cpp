// What the kernel's own power function changes on real runs. For each basin working directory
// given (a copy of it is used, so caches are not written into it), under each scheme:
//   - routes the whole run with the C library's pow and catches every pow call the routing
//     makes (this program defines pow, so the kernel's calls come here before they reach the
//     C library), comparing each result with the own power function's on the same inputs;
//   - routes it again with the own function (--power fast) and compares every hourly value of
//     every routed cell with the first run's: the count that differ and the largest relative
//     difference.
//
// Usage: power_calls_bench DIR...   (e.g. examples/sample-basin examples/bench-basin
//                                    tests/data/golden/*/input)
#include <dlfcn.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_basin.h"
#include "runoff/model/power.h"
#include "runoff/routing/routing_setup.h"
#include "runoff/routing/window_router.h"

namespace {

using PowFunction = double (*)(double, double);

PowFunction libraryPow() {
  static const PowFunction found = reinterpret_cast<PowFunction>(dlsym(RTLD_NEXT, "pow"));
  return found;
}

// The calls caught while counting is on (the routing runs on this one thread meanwhile).
struct Calls {
  bool counting = false;
  std::uint64_t total = 0;
  std::uint64_t differing = 0;
  double largestUlps = 0;
  double exampleX = 0, exampleY = 0;
};
Calls calls;

}  // namespace

extern "C" double pow(double x, double y) {
  const double result = libraryPow()(x, y);
  if (calls.counting) {
    ++calls.total;
    const double own = runoff::power(x, y);
    if (std::bit_cast<std::uint64_t>(own) != std::bit_cast<std::uint64_t>(result)) {
      ++calls.differing;
      const double ulp = std::nextafter(result, INFINITY) - result;
      if (std::fabs(own - result) / ulp > calls.largestUlps || calls.differing == 1) {
        calls.largestUlps = std::max(calls.largestUlps, std::fabs(own - result) / ulp);
        calls.exampleX = x;
        calls.exampleY = y;
      }
    }
  }
  return result;
}

namespace {

using namespace runoff;

// Every hourly value of every cell of the grids, window after window.
std::vector<float> routeHourly(const bench::BenchBasin& basin, Scheme scheme,
                               PowerFunction power) {
  RoutingStates states = setUpRouting(basin.inputs.topo, basin.params);
  startFromDryHour(states);
  const RoutingPlan plan = planRouting(basin.inputs.topo, basin.order, basin.inputs.selected);
  RoutingRun run{basin.inputs.topo, basin.order, plan, basin.params.subSteps, scheme};
  run.power = power;
  WindowGrids grids = bench::windowGridsOf(basin);
  std::vector<float> hourly;
  calls.counting = power == PowerFunction::kLibm;
  bench::routeWholeRun(basin, run, states, 1, grids, [&](const WindowGrids& g, std::int32_t days) {
    for (std::int32_t h = 0; h < days * 24; ++h) {
      const std::span<const float> hour = g.hour(h);
      hourly.insert(hourly.end(), hour.begin(), hour.end());
    }
  });
  calls.counting = false;
  return hourly;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: power_calls_bench DIR...\n");
    return 1;
  }
  const std::filesystem::path work =
      std::filesystem::temp_directory_path() / ("power_calls_bench." + std::to_string(getpid()));
  std::vector<std::filesystem::path> sources;
  for (int a = 1; a < argc; ++a) sources.push_back(std::filesystem::absolute(argv[a]));
  for (int a = 1; a < argc; ++a) {
    const std::filesystem::path& source = sources[a - 1];
    const std::filesystem::path copy = work / std::to_string(a);
    std::filesystem::create_directories(copy);
    std::filesystem::copy(source, copy, std::filesystem::copy_options::recursive);
    std::filesystem::create_directories(copy / "temp");
    std::filesystem::create_directories(copy / "output");
    bench::BenchBasin basin;
    if (!bench::loadBenchBasin(copy, 0, 0, basin)) return 1;
    for (Scheme scheme : {Scheme::kClassic, Scheme::kConservative}) {
      calls = Calls{};
      const std::vector<float> libm = routeHourly(basin, scheme, PowerFunction::kLibm);
      const Calls caught = calls;
      const std::vector<float> fast = routeHourly(basin, scheme, PowerFunction::kFast);
      std::uint64_t values = 0, differing = 0;
      double largest = 0;
      float largestAt = 0;
      for (std::size_t i = 0; i < libm.size(); ++i) {
        if (libm[i] < 0) continue;  // a cell that is not routed
        ++values;
        if (libm[i] == fast[i]) continue;
        ++differing;
        const double relative = std::fabs(static_cast<double>(fast[i]) - libm[i]) /
                                std::max(std::fabs(static_cast<double>(libm[i])),
                                         std::fabs(static_cast<double>(fast[i])));
        if (relative > largest) {
          largest = relative;
          largestAt = libm[i];
        }
      }
      std::printf("%s, %s scheme: %llu pow calls, %llu differ from the own power (largest %.0f "
                  "ulp%s",
                  argv[a], schemeName(scheme), static_cast<unsigned long long>(caught.total),
                  static_cast<unsigned long long>(caught.differing), caught.largestUlps,
                  caught.differing > 0 ? ", e.g. x = " : "");
      if (caught.differing > 0) std::printf("%a, y = %a", caught.exampleX, caught.exampleY);
      std::printf(");\n  hourly values: %llu of %llu differ with --power fast, largest relative "
                  "difference %.3g (at %g m3/s)\n",
                  static_cast<unsigned long long>(differing),
                  static_cast<unsigned long long>(values), largest, largestAt);
      std::fflush(stdout);
    }
    std::filesystem::current_path(work);
  }
  std::filesystem::remove_all(work);
  return 0;
}
