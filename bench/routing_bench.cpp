// Routing benchmark: loads a basin working directory, then routes it with the plain design
// (calculation order, one thread, full sub-step histories, literal step) and with the
// simulator's routing on 1 and 2 threads, with the C library's pow and with the kernel's own
// power (--power fast), each in a child process so that its peak memory can be read on its
// own. Prints wall and processor seconds, cell-steps per second, speed-ups (of wall time, and
// of processor time, the steadier on a shared machine) and peak memory, and checks that every
// variant with pow produced the same hourly means bit for bit (and says whether the own
// power's are the same too: they may differ by rounding).
//
// Usage: routing_bench [basin-dir] [days] [timeStep] [plain|simulator|fast]
//   basin-dir defaults to examples/bench-basin; days and timeStep (0: as in the parameter
//   file) override the parameter file. A fourth argument runs only that variant (fast: the
//   simulator with the own power), on one thread and in this process, for profiling.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "bench_basin.h"
#include "common/params.h"
#include "runoff/inputs/calc_order.h"
#include "runoff/inputs/rain_grid.h"
#include "runoff/output/discharge_output.h"
#include "runoff/routing/routing_plan.h"
#include "runoff/routing/routing_setup.h"
#include "runoff/routing/window_router.h"
#include "runoff/run/run_checks.h"
#include "runoff/run/run_inputs.h"
#include "support/plain_routing.h"

namespace {

using namespace runoff;

struct Basin : bench::BenchBasin {
  std::int64_t routedCells = 0;
};

bool loadBasin(const std::filesystem::path& dir, int days, int timeStep, Basin& basin) {
  if (!bench::loadBenchBasin(dir, days, timeStep, basin)) return false;
  basin.routedCells = planRouting(basin.inputs.topo, basin.order, basin.inputs.selected).size();
  return true;
}

// FNV-1a over the bits of every value, fed hour by hour in the order of the hourly file.
class GridHash {
 public:
  void add(float v) {
    std::uint32_t bits;
    std::memcpy(&bits, &v, 4);
    hash_ = (hash_ ^ bits) * 1099511628211ull;
  }
  std::uint64_t value() const { return hash_; }

 private:
  std::uint64_t hash_ = 1469598103934665603ull;
};

// The plain design over the whole run; the hash of its hourly grids.
std::uint64_t routePlain(const Basin& basin) {
  const TopoGrid& grid = basin.inputs.topo;
  RoutingStates states = setUpRouting(grid, basin.params);
  reference::HourlyDischarge discharge(basin.inputs.selected, basin.params.days);
  std::ostringstream console;
  reference::plainRouteCells({grid, basin.rain, basin.order, basin.inputs.selected,
                              basin.params.days, basin.params.subSteps},
                             states, discharge, console);
  GridHash hash;
  for (std::int32_t h = 0; h < basin.params.days * 24; ++h) {
    for (std::int32_t r = grid.rows - 1; r >= 0; --r) {
      for (std::int32_t c = 0; c < grid.cols; ++c) {
        const std::int32_t i = grid.index(r, c);
        hash.add(discharge.isSelected(i) ? discharge.of(i)[h] : kMissingDischarge);
      }
    }
  }
  return hash.value();
}

// The simulator's routing, window after window as a run takes it; the same hash.
std::uint64_t routeSimulator(const Basin& basin, int threads, PowerFunction power) {
  const TopoGrid& grid = basin.inputs.topo;
  RoutingStates states = setUpRouting(grid, basin.params);
  startFromDryHour(states);
  const RoutingPlan plan = planRouting(grid, basin.order, basin.inputs.selected);
  RoutingRun run{grid, basin.order, plan, basin.params.subSteps};
  run.power = power;
  WindowGrids grids = windowGridsOf(basin);
  GridHash hash;
  routeWholeRun(basin, run, states, threads, grids, [&](const WindowGrids& w, std::int32_t days) {
    for (std::int32_t h = 0; h < days * 24; ++h) {
      for (float v : w.hour(h)) hash.add(v);
    }
  });
  return hash.value();
}

struct Measurement {
  bool ran = false;
  double seconds = 0;
  double cpuSeconds = 0;  // user and system time of the child: on a busy machine the steadier
  double peakMiB = 0;
  std::uint64_t checksum = 0;  // FNV-1a over every hourly mean's bits
};

// Routes in a child process; the parent reads the child's time, result checksum and peak RSS.
Measurement measure(const Basin& basin, bool plain, int threads,
                    PowerFunction power = PowerFunction::kLibm) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    auto start = std::chrono::steady_clock::now();
    const std::uint64_t hash = plain ? routePlain(basin) : routeSimulator(basin, threads, power);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    double out[2] = {seconds, static_cast<double>(hash >> 11)};
    if (write(fds[1], out, sizeof out) != sizeof out) _exit(2);
    _exit(0);
  }
  close(fds[1]);
  Measurement m;
  double in[2];
  m.ran = read(fds[0], in, sizeof in) == sizeof in;
  close(fds[0]);
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  m.ran = m.ran && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  m.seconds = in[0];
  m.checksum = static_cast<std::uint64_t>(in[1]);
  m.peakMiB = usage.ru_maxrss / 1024.0;
  m.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 1e-6 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
  return m;
}

}  // namespace

int main(int argc, char** argv) {
  std::filesystem::path dir = argc > 1 ? argv[1] : "examples/bench-basin";
  int days = argc > 2 ? std::atoi(argv[2]) : 0;
  int timeStep = argc > 3 ? std::atoi(argv[3]) : 0;
  Basin basin;
  if (!loadBasin(std::filesystem::absolute(dir), days, timeStep, basin)) return 1;
  const double stepsPerCell = 24.0 * basin.params.days * basin.params.subSteps;
  const double cellSteps = static_cast<double>(basin.routedCells) * stepsPerCell;
  std::printf(
      "basin %s: %d x %d cells, %lld routed, %d days, subSteps %d, %.3g cell-steps, windows of "
      "%d days\n",
      dir.string().c_str(), basin.params.topoRows, basin.params.topoCols,
      static_cast<long long>(basin.routedCells), basin.params.days, basin.params.subSteps,
      cellSteps, windowDaysFor(basin.params.days, basin.inputs.topo.cells.size()));

  if (argc > 4) {
    const std::string variant = argv[4];
    if (variant == "plain") {
      routePlain(basin);
    } else {
      routeSimulator(basin, 1, variant == "fast" ? PowerFunction::kFast : PowerFunction::kLibm);
    }
    std::printf("routed with the %s\n", variant == "plain"  ? "plain design"
                                        : variant == "fast" ? "simulator's design, own power"
                                                            : "simulator's design");
    return 0;
  }

  // The plain design holds every history at once; skip it when that cannot fit.
  double plainBytes = static_cast<double>(basin.routedCells) * stepsPerCell * 4;
  Measurement plain;
  if (plainBytes < 0.6 * static_cast<double>(physicalMemoryBytes())) {
    plain = measure(basin, true, 1);
  }
  Measurement lean1 = measure(basin, false, 1);
  Measurement lean2 = measure(basin, false, 2);
  Measurement fast1 = measure(basin, false, 1, PowerFunction::kFast);
  Measurement fast2 = measure(basin, false, 2, PowerFunction::kFast);

  std::printf("%-28s %10s %10s %16s %10s %10s %12s %s\n", "variant", "seconds", "cpu s",
              "cell-steps/s", "speed-up", "cpu ratio", "peak MiB", "result");
  auto row = [&](const char* name, const Measurement& m, const Measurement& base) {
    if (!m.ran) {
      std::printf("%-28s %10s %10s %16s %10s %10s %12s %s\n", name, "-", "-", "-", "-", "-", "-",
                  "not run (would not fit in memory)");
      return;
    }
    std::string speedup = base.ran ? std::to_string(base.seconds / m.seconds).substr(0, 5) : "-";
    std::string cpuRatio =
        base.ran ? std::to_string(base.cpuSeconds / m.cpuSeconds).substr(0, 5) : "-";
    const char* same = !plain.ran ? "" : (m.checksum == plain.checksum ? "identical" : "differs");
    std::printf("%-28s %10.3f %10.3f %16.4g %10s %10s %12.1f %s\n", name, m.seconds, m.cpuSeconds,
                cellSteps / m.seconds, speedup.c_str(), cpuRatio.c_str(), m.peakMiB, same);
  };
  row("plain design, 1 thread", plain, plain);
  row("simulator, 1 thread", lean1, plain);
  row("simulator, 2 threads", lean2, plain);
  row("simulator, own power, 1", fast1, plain);
  row("simulator, own power, 2", fast2, plain);
  if (lean1.ran && lean2.ran) {
    std::printf("2 threads over 1 thread: %.3f; results %s\n", lean1.seconds / lean2.seconds,
                lean1.checksum == lean2.checksum ? "identical" : "DIFFER");
  }
  if (fast1.ran && fast2.ran && lean1.ran) {
    std::printf("own power over pow, 1 thread: %.3f; own power on 2 threads, results %s\n",
                lean1.seconds / fast1.seconds,
                fast1.checksum == fast2.checksum ? "identical" : "DIFFER");
  }
  if (plain.ran && lean1.ran) {
    std::printf("peak memory, simulator 1 thread / plain: %.3f\n", lean1.peakMiB / plain.peakMiB);
  }
  const bool powDiffers =
      plain.ran && (lean1.checksum != plain.checksum || lean2.checksum != plain.checksum);
  return powDiffers || fast1.checksum != fast2.checksum ? 1 : 0;
}
