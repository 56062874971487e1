// Set-up benchmark on a real basin: a run of 0 days, which does everything a run does but
// route. The simulator itself runs in a fresh copy of the basin (no caches, so the mapping and
// the order are made and written) as its own process, best of several runs; beside it, in this
// process, the plain design of the same steps: the nearest rainfall cell by visiting every
// rainfall cell, the order by the pairwise exchange procedure, the selection as a linear
// search of the river list, and the caches written with formatted stream output. Both must
// give the same caches.
//
// Usage: zero_day_bench [basin-dir] [runs]   (default examples/bench-basin, 5 runs)
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "bench_basin.h"
#include "common/params.h"
#include "literal_setup.h"
#include "runoff/inputs/calc_order.h"
#include "runoff/inputs/rain_grid.h"
#include "runoff/inputs/rain_mapping.h"
#include "runoff/inputs/river_list.h"
#include "runoff/routing/routing_setup.h"
#include "runoff/inputs/topo_grid.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace runoff;
using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// One run of the simulator in `dir`, from no caches; its wall time, or a negative value when
// it failed.
double runSimulator(const fs::path& dir) {
  for (const auto& entry : fs::directory_iterator(dir / "temp")) fs::remove(entry.path());
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  char* argv[] = {const_cast<char*>(RUNOFF_SIM_EXE), nullptr};
  const fs::path previous = fs::current_path();
  fs::current_path(dir);
  const Clock::time_point start = Clock::now();
  pid_t child = -1;
  const int spawned = posix_spawn(&child, RUNOFF_SIM_EXE, &actions, nullptr, argv, environ);
  int status = 0;
  if (spawned == 0) waitpid(child, &status, 0);
  const double seconds = since(start);
  fs::current_path(previous);
  posix_spawn_file_actions_destroy(&actions);
  return spawned == 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1;
}

// The plain design of a 0-day run's set-up in `dir`, its caches written to `cacheDir`.
double runPlain(const fs::path& dir, const fs::path& cacheDir) {
  const fs::path previous = fs::current_path();
  fs::current_path(dir);
  const Clock::time_point start = Clock::now();
  std::ostringstream quiet;
  const RunParameters params =
      readParameters(std::string("./") + kParameterFileName, ParamScope::kSimulation, quiet)
          .value();
  std::ifstream list(kRiverListPath);
  const std::int32_t riverCount = countLines(list);
  list.clear();
  list.seekg(0);
  const std::vector<std::int32_t> rivers = readRiverRecords(list, riverCount).value();
  RainGrid rain = buildRainGrid(params, 1);
  TopoGrid topo;
  if (!loadTopography(topo, params).ok()) return -1;
  for (GridCell& cell : topo.cells) bench::literalNearestRainCell(cell, rain);
  {
    std::ofstream out(cacheDir / "setROFCell.dat");
    writeMappingCacheKey(out, params);
    for (std::int32_t r = 0; r < topo.rows; ++r) {
      for (std::int32_t c = 0; c < topo.cols; ++c) {
        const std::int32_t cell = topo.at(r, c).rainCell;
        out << r << ' ' << c << ' ' << cell / rain.cols << ' ' << cell % rain.cols << '\n';
      }
    }
  }
  RoutingStates states = setUpRouting(topo, params);
  const CalculationOrder order = bench::literalCalculationOrder(topo);
  {
    std::ofstream groups(cacheDir / "numOfBasin.dat");
    writeGroupCache(groups, params, order);
    std::ofstream cells(cacheDir / "orderedCell.dat");
    for (const CellIndex& c : order.calcOrder) {
      cells << topo.at(c.row, c.col).flowAcc << ' ' << c.row << ' ' << c.col << '\n';
    }
  }
  const bench::LiteralSelection selection = bench::literalSelectionTests(topo, order, rivers, 0);
  const double seconds = since(start);
  fs::current_path(previous);
  return selection.tests >= 0 ? seconds : -1;
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path basin = fs::absolute(argc > 1 ? argv[1] : "examples/bench-basin");
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  const fs::path scratch =
      fs::temp_directory_path() / ("zero-day-bench-" + std::to_string(getpid()));
  fs::remove_all(scratch);
  fs::create_directories(scratch / "run");
  fs::copy(basin, scratch / "run", fs::copy_options::recursive);
  fs::create_directories(scratch / "run/temp");
  fs::create_directories(scratch / "run/output");
  fs::create_directories(scratch / "plain");
  bench::setParameterValues(scratch / "run", {{12, "0"}});

  double simulator = 1e30;
  for (int i = 0; i < runs; ++i) {
    const double seconds = runSimulator(scratch / "run");
    if (seconds < 0) {
      std::printf("runoff-sim failed in %s\n", (scratch / "run").c_str());
      return 1;
    }
    simulator = std::min(simulator, seconds);
  }
  const double plain = runPlain(scratch / "run", scratch / "plain");
  if (plain < 0) {
    std::printf("the plain set-up failed\n");
    return 1;
  }
  bool same = true;
  for (const char* cache : {"setROFCell.dat", "numOfBasin.dat", "orderedCell.dat"}) {
    std::ifstream a(scratch / "run/temp" / cache), b(scratch / "plain" / cache);
    std::stringstream x, y;
    x << a.rdbuf();
    y << b.rdbuf();
    same = same && x.str() == y.str() && !x.str().empty();
  }
  std::printf("basin %s, a run of 0 days from no caches\n", basin.c_str());
  std::printf("%-34s %10.3f s (best of %d)\n", "runoff-sim, whole process", simulator, runs);
  std::printf("%-34s %10.3f s\n", "plain design of the same steps", plain);
  std::printf("plain / runoff-sim: %.1f; caches %s\n", plain / simulator,
              same ? "identical" : "DIFFER");
  fs::remove_all(scratch);
  return same ? 0 : 1;
}
