// Routing benchmark: loads a basin working directory, then routes it with the plain design
// (calculation order, one thread, full sub-step histories, literal step) and with the
// simulator's routing on 1 and 2 threads, each in a child process so that its peak memory can
// be read on its own. Prints cell-steps per second, speed-ups and peak memory, and checks that
// every variant produced the same hourly means bit for bit.
//
// Usage: routing_bench [basin-dir] [days] [timeStep] [plain|simulator]
//   basin-dir defaults to examples/bench-basin; days and timeStep (0: as in the parameter
//   file) override the parameter file. A fourth argument runs only that variant, on one thread
//   and in this process, for instruction counting under a profiler.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "common/params.h"
#include "runoff_sim/calc_order.h"
#include "runoff_sim/rain_grid.h"
#include "runoff_sim/rain_mapping.h"
#include "runoff_sim/river_list.h"
#include "runoff_sim/routing_loop.h"
#include "runoff_sim/routing_setup.h"
#include "runoff_sim/run_checks.h"
#include "runoff_sim/topo_grid.h"
#include "support/plain_routing.h"

namespace {

using namespace runoff;

struct Basin {
  RunParameters params;
  TopoGrid grid;
  RainGrid rain;
  CalculationOrder order;
  std::vector<std::uint8_t> selected;
  std::int64_t routedCells = 0;
};

bool loadBasin(const std::filesystem::path& dir, int days, int timeStep, Basin& basin) {
  std::filesystem::current_path(dir);
  std::ostringstream quiet;
  Result<RunParameters> read =
      readParameters(std::string("./") + kParameterFileName, ParamScope::kSimulation, quiet);
  if (!read.ok()) {
    std::cerr << read.message() << '\n';
    return false;
  }
  basin.params = read.value();
  if (days > 0) basin.params.days = days;
  if (timeStep > 0) {
    basin.params.timeStep = timeStep;
    basin.params.subSteps = 3600 / timeStep;
  }
  std::ifstream list(kRiverListPath);
  const std::int32_t riverCount = countLines(list);
  list.clear();
  list.seekg(0);
  Result<std::vector<std::int32_t>> rivers = readRiverRecords(list, riverCount);
  if (!rivers.ok()) {
    std::cerr << rivers.message() << '\n';
    return false;
  }
  basin.rain = buildRainGrid(basin.params);
  if (Status loaded = loadTopography(basin.grid, basin.params); !loaded.ok()) {
    std::cerr << loaded.message() << '\n';
    return false;
  }
  RainLocator locator = makeRainLocator(basin.rain);
  for (GridCell& cell : basin.grid.cells) findNearestRainCell(cell, locator, basin.rain);
  basin.order = buildCalculationOrder(basin.grid);
  std::ifstream rainFile(kRainfallPath);
  if (Status read = readRainfall(rainFile, basin.rain); !read.ok()) {
    std::cerr << read.message() << '\n';
    return false;
  }
  RiverSelection selection(*rivers);
  std::vector<std::uint8_t> inOrder(basin.grid.cells.size(), 0);
  for (const CellIndex& c : basin.order.calcOrder) inOrder[basin.grid.index(c.row, c.col)] = 1;
  for (std::size_t i = 0; i < basin.grid.cells.size(); ++i) {
    basin.selected.push_back(isSelected(basin.grid.cells[i], selection));
    basin.routedCells += basin.selected[i] && inOrder[i];
  }
  return true;
}

struct Measurement {
  bool ran = false;
  double seconds = 0;
  double peakMiB = 0;
  std::uint64_t checksum = 0;  // FNV-1a over every hourly mean's bits
};

// Routes in a child process; the parent reads the child's time, result checksum and peak RSS.
Measurement measure(const Basin& basin, bool plain, int threads) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    RoutingStates states = setUpRouting(basin.grid, basin.params);
    HourlyDischarge discharge(basin.selected, basin.params.days);
    std::ostringstream console;
    RoutingRun run{basin.grid,     basin.rain,        basin.order,
                   basin.selected, basin.params.days, basin.params.subSteps};
    auto start = std::chrono::steady_clock::now();
    if (plain) {
      reference::plainRouteCells(run, states, discharge, console);
    } else {
      routeCells(run, states, discharge, console, threads);
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::uint64_t hash = 1469598103934665603ull;
    for (std::int32_t i = 0; i < static_cast<std::int32_t>(basin.grid.cells.size()); ++i) {
      if (!discharge.isSelected(i)) continue;
      for (float v : discharge.of(i)) {
        std::uint32_t bits;
        std::memcpy(&bits, &v, 4);
        hash = (hash ^ bits) * 1099511628211ull;
      }
    }
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
  std::printf("basin %s: %d x %d cells, %lld routed, %d days, subSteps %d, %.3g cell-steps\n",
              dir.string().c_str(), basin.params.topoRows, basin.params.topoCols,
              static_cast<long long>(basin.routedCells), basin.params.days, basin.params.subSteps,
              cellSteps);

  if (argc > 4) {
    const bool plainOnly = std::string(argv[4]) == "plain";
    RoutingStates states = setUpRouting(basin.grid, basin.params);
    HourlyDischarge discharge(basin.selected, basin.params.days);
    std::ostringstream console;
    RoutingRun run{basin.grid,     basin.rain,        basin.order,
                   basin.selected, basin.params.days, basin.params.subSteps};
    if (plainOnly) {
      reference::plainRouteCells(run, states, discharge, console);
    } else {
      routeCells(run, states, discharge, console, 1);
    }
    std::printf("routed with the %s design\n", plainOnly ? "plain" : "simulator's");
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

  std::printf("%-28s %10s %16s %10s %12s %s\n", "variant", "seconds", "cell-steps/s", "speed-up",
              "peak MiB", "result");
  auto row = [&](const char* name, const Measurement& m, const Measurement& base) {
    if (!m.ran) {
      std::printf("%-28s %10s %16s %10s %12s %s\n", name, "-", "-", "-", "-",
                  "not run (would not fit in memory)");
      return;
    }
    std::string speedup = base.ran ? std::to_string(base.seconds / m.seconds).substr(0, 5) : "-";
    const char* same = !plain.ran ? "" : (m.checksum == plain.checksum ? "identical" : "DIFFERS");
    std::printf("%-28s %10.3f %16.4g %10s %12.1f %s\n", name, m.seconds, cellSteps / m.seconds,
                speedup.c_str(), m.peakMiB, same);
  };
  row("plain design, 1 thread", plain, plain);
  row("simulator, 1 thread", lean1, plain);
  row("simulator, 2 threads", lean2, plain);
  if (lean1.ran && lean2.ran) {
    std::printf("2 threads over 1 thread: %.3f; results %s\n", lean1.seconds / lean2.seconds,
                lean1.checksum == lean2.checksum ? "identical" : "DIFFER");
  }
  if (plain.ran && lean1.ran) {
    std::printf("peak memory, simulator 1 thread / plain: %.3f\n", lean1.peakMiB / plain.peakMiB);
  }
  return (plain.ran && (lean1.checksum != plain.checksum || lean2.checksum != plain.checksum)) ? 1
                                                                                               : 0;
}
