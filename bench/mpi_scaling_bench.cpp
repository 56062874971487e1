// Scaling of runoff-sim-mpi on paper, from the partition itself. For N = 1, 2, 4, ..., 256
// ranks it prints the work of the busiest rank, the cut edges and the message volume per
// window, the critical path, and the time and efficiency a model predicts:
//
//   T(N) = T0 + routing + output
//   routing = tw x [ (windows - 1) x busiest + max(busiest, chain) ] + messages
//   output  = windows x (bytes rank 0 receives / network + bytes it writes / disk)
//
// T0 is the serial set-up (a run of 0 days, measured); tw the time one cell takes through one
// window (measured on one rank); `busiest` the most cells any rank routes; `chain` the longest
// chain of routed cells each feeding the next (the critical path: a window of a cell cannot
// start before its feeder's has ended, so no number of ranks routes a window faster). Windows
// pipeline: while a downstream rank routes window w its upstream ranks route window w + 1, so
// the chain is paid once, not once per window. Rank 0 receives and writes every window's grids
// while the others route the next one; its writing is counted as serial, the pessimistic case.
//
// With runoff-sim-mpi built, `--measure` runs it on 1 and 2 ranks (one thread each) and on 0
// days, takes T0 and tw from them and checks the model's prediction for 2 ranks;
// `--measure-setup` measures T0 alone, and `--cell-step S` gives the seconds of one cell-step
// (measured on another basin: the step costs the same on any grid).
//
// Usage: mpi_scaling_bench [basin-dir] [days] [timeStep] [--measure | --measure-setup]
//                          [--cell-step S]
//   (defaults: examples/bench-basin, the basin's own days and time step)
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cmath>
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
#include "runoff/inputs/calc_order.h"
#include "runoff/routing/window_router.h"
#include "runoff/routing/routing_plan.h"
#include "runoff/run/run_checks.h"
#include "runoff/run/run_inputs.h"
#include "runoff_sim_mpi/partition.h"

namespace {

namespace fs = std::filesystem;
using namespace runoff;

// Assumed machine figures for the parts not measured here.
constexpr double kLatency = 5e-6;          // s per message
constexpr double kNetwork = 5e9;           // bytes per second into rank 0 and along cut edges
constexpr double kDisk = 1e9;              // bytes per second rank 0 writes
constexpr double kDefaultCellStep = 3e-8;  // s per cell-step when nothing was measured

// Longest chain of tasks, each feeding the next (in tasks).
std::int64_t longestChain(const RoutingPlan& plan) {
  std::vector<std::int64_t> depth(plan.size(), 1);
  std::int64_t longest = 0;
  for (std::int32_t t = 0; t < plan.size(); ++t) {
    for (std::int32_t f : plan.feedersOf(t)) depth[t] = std::max(depth[t], depth[f] + 1);
    longest = std::max(longest, depth[t]);
  }
  return longest;
}

// Runs runoff-sim-mpi on `ranks` ranks in a copy of `basin` with the given days and time
// step; wall seconds, or -1.
double measure(const fs::path& basin, int ranks, int days, int timeStep) {
#ifdef RUNOFF_SIM_MPI_EXE
  const fs::path dir = fs::temp_directory_path() / ("mpi-scaling-" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  fs::copy(basin, dir, fs::copy_options::recursive);
  fs::create_directories(dir / "temp");
  fs::create_directories(dir / "output");
  bench::setParameterValues(dir, {{12, std::to_string(days)}, {13, std::to_string(timeStep)}});
  // The caches first, so that every measured run reads them as a repeated run does.
  const std::string run = "cd '" + dir.string() +
                          "' && OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 "
                          "OMP_NUM_THREADS=1 " MPIRUN_EXE " --oversubscribe -np ";
  std::system((run + "1 " RUNOFF_SIM_MPI_EXE " >/dev/null 2>&1").c_str());
  const auto start = std::chrono::steady_clock::now();
  const int status = std::system(
      (run + std::to_string(ranks) + " " RUNOFF_SIM_MPI_EXE " >/dev/null 2>&1").c_str());
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  fs::remove_all(dir);
  return status == 0 ? seconds : -1;
#else
  (void)basin, (void)ranks, (void)days, (void)timeStep;
  return -1;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  auto flag = [&](const char* name) {
    const bool given = std::find(args.begin(), args.end(), name) != args.end();
    args.erase(std::remove(args.begin(), args.end(), name), args.end());
    return given;
  };
  const bool wantMeasure = flag("--measure");
  const bool wantSetup = flag("--measure-setup");
  double givenCellStep = 0;
  if (auto at = std::find(args.begin(), args.end(), "--cell-step");
      at != args.end() && at + 1 != args.end()) {
    givenCellStep = std::atof((at + 1)->c_str());
    args.erase(at, at + 2);
  }
  const fs::path basin = fs::absolute(args.size() > 0 ? args[0] : "examples/bench-basin");

  const fs::path previous = fs::current_path();
  fs::current_path(basin);
  std::ostringstream quiet;
  Result<RunParameters> read =
      readParameters(std::string("./") + kParameterFileName, ParamScope::kSimulation, quiet);
  if (!read.ok()) {
    std::printf("%s\n", read.message().c_str());
    return 1;
  }
  RunParameters params = read.value();
  if (args.size() > 1) params.days = std::atoi(args[1].c_str());
  if (args.size() > 2) {
    params.timeStep = std::atoi(args[2].c_str());
    params.subSteps = 3600 / params.timeStep;
  }
  const MemoryLimit memory{physicalMemoryBytes(), "the memory of this machine"};
  Result<RunInputs> inputs = loadRunInputs(params, 1, memory, quiet, RainTies::kSupplied);
  if (!inputs.ok()) {
    std::printf("%s\n", inputs.message().c_str());
    return 1;
  }
  fs::current_path(previous);
  const CalculationOrder order = buildCalculationOrder(inputs->topo);
  const RoutingPlan plan = planRouting(inputs->topo, order, inputs->selected);

  const std::int64_t cells = plan.size();
  const std::int64_t gridCells = static_cast<std::int64_t>(inputs->topo.cells.size());
  const std::int32_t windowDays = windowDaysFor(params.days, inputs->topo.cells.size());
  const std::int64_t windows =
      std::max<std::int64_t>(1, (params.days + windowDays - 1) / windowDays);
  const double stepsPerWindow = 24.0 * windowDays * params.subSteps;
  const std::int64_t chain = longestChain(plan);

  double setup = 0, cellStep = givenCellStep > 0 ? givenCellStep : kDefaultCellStep;
  double measured1 = -1, measured2 = -1;
  if (wantMeasure || wantSetup) setup = std::max(0.0, measure(basin, 1, 0, params.timeStep));
  if (wantMeasure) {
    measured1 = measure(basin, 1, params.days, params.timeStep);
    measured2 = measure(basin, 2, params.days, params.timeStep);
    // One rank writes the files too: what is left after the set-up and the writing is routing.
    const double writing =
        static_cast<double>(windows) * static_cast<double>(gridCells) * 26 * windowDays * 4 / kDisk;
    if (measured1 > setup + writing && params.days > 0) {
      cellStep = (measured1 - setup - writing) /
                 (static_cast<double>(cells) * 24 * params.days * params.subSteps);
    }
  }
  const double windowTime = cellStep * stepsPerWindow;  // one cell through one window

  std::printf("basin %s: %lld routed cells of %lld, %d days at %d s, windows of %d days (%lld)\n",
              basin.c_str(), static_cast<long long>(cells), static_cast<long long>(gridCells),
              params.days, params.timeStep, windowDays, static_cast<long long>(windows));
  std::printf("longest chain of routed cells (critical path): %lld cells\n",
              static_cast<long long>(chain));
  std::printf("set-up (serial) %.3f s%s; %.3g s per cell-step%s\n", setup,
              wantMeasure || wantSetup ? " (measured)" : "", cellStep,
              wantMeasure         ? " (measured on 1 rank)"
              : givenCellStep > 0 ? " (given)"
                                  : " (assumed)");
  std::printf("%5s %10s %8s %7s %12s %10s %10s %10s %7s  %s\n", "ranks", "busiest", "pieces",
              "cuts", "MiB/window", "routing s", "output s", "T(N) s", "eff.", "most time lost to");
  double t1 = 0, routing1 = 0, output1 = 0;
  for (int ranks = 1; ranks <= 256; ranks *= 2) {
    const Partition p = partitionByDrainage(plan, ranks);
    const std::int64_t busiest = *std::max_element(p.work.begin(), p.work.end());
    const double messageBytes = p.cutEdges * (stepsPerWindow + 1) * 4.0;
    const double messages =
        static_cast<double>(windows) * (p.cutEdges * kLatency + messageBytes / kNetwork);
    const double routing =
        windowTime * (static_cast<double>(windows - 1) * static_cast<double>(busiest) +
                      static_cast<double>(std::max(busiest, chain))) +
        messages;
    const double received = static_cast<double>(cells - p.work[0]) * 24 * windowDays * 4;
    const double written = static_cast<double>(gridCells) * 26 * windowDays * 4;
    const double output = static_cast<double>(windows) * (ranks > 1 ? received / kNetwork : 0.0) +
                          static_cast<double>(windows) * written / kDisk;
    const double total = setup + routing + output;
    if (ranks == 1) {
      t1 = total;
      routing1 = routing;
      output1 = output;
    }
    const double efficiency = t1 / (ranks * total);
    // What the time lost against a perfect speed-up goes to, the largest share named.
    const double lostToSetup = setup * (1.0 - 1.0 / ranks);
    const double lostToRouting = routing - routing1 / ranks;
    const double lostToOutput = output - output1 / ranks;
    const char* limit = ranks == 1 ? "-"
                        : lostToSetup >= lostToRouting && lostToSetup >= lostToOutput
                            ? "serial set-up"
                        : lostToOutput >= lostToRouting ? "rank 0 output"
                        : chain > busiest               ? "critical path"
                                                        : "balance of work and messages";
    std::printf("%5d %10lld %8d %7d %12.3f %10.3f %10.3f %10.3f %6.1f%%  %s\n", ranks,
                static_cast<long long>(busiest), p.pieces, p.cutEdges,
                messageBytes / (1024.0 * 1024.0), routing, output, total, 100 * efficiency, limit);
    if (ranks == 2 && measured2 > 0) {
      std::printf("      measured on 2 ranks: %.3f s (model %.3f s, %+.1f%%); on 1 rank: %.3f s\n",
                  measured2, total, 100 * (total - measured2) / measured2, measured1);
    }
  }
  std::printf("assumed: %.0f us a message, %.0f GB/s network, %.0f GB/s disk at rank 0\n",
              kLatency * 1e6, kNetwork / 1e9, kDisk / 1e9);
  return 0;
}
