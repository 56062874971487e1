// Scaling of runoff-sim-mpi on paper, from the partition itself. For N = 1, 2, 4, ..., 256
// ranks it prints the work of the busiest rank, the cut edges and the message volume per
// window, the critical path, and the time and efficiency a model predicts for each choice of
// outputs (all three grids, the hourly grids, the two daily grids, the daily means), written
// by each of two writers:
//
//   T(N) = T0 + routing + output
//   routing = tw x [ (windows - 1) x busiest + max(busiest, chain) ] + messages
//   serial writer (rank 0 gathers every window and writes alone, as the first design did):
//     output = windows x (bytes rank 0 receives / network + bytes of a window / disk)
//   parallel writer (runoff-sim-mpi's: the values travel to the rank whose band of rows holds
//   them, and every rank writes its band through MPI-IO):
//     output = windows x files x (exchange + log2(N) x latency)
//              + windows x bytes of a window x (1 - 1/N) / (N x network)
//              + windows x bytes of a window / min(N x disk, file system)
//
// T0 is the serial set-up (a run of 0 days, measured); tw the time one cell takes through one
// window (measured on one rank); `busiest` the most cells any rank routes; `chain` the longest
// chain of routed cells each feeding the next (the critical path: a window of a cell cannot
// start before its feeder's has ended, so no number of ranks routes a window faster). Windows
// pipeline: while a downstream rank routes window w its upstream ranks route window w + 1, so
// the chain is paid once, not once per window. Writing is counted as serial after routing,
// the pessimistic case: the parallel writer's collective writes end each window on every rank.
//
// The file system: each rank writes at `disk` bytes a second (the stream one client gets), all
// ranks together at most `file system` (the aggregate bandwidth of a parallel file system,
// Lustre or GPFS with a few object servers), and a rank's band of each grid is one long run of
// bytes, written at that speed. Each file and window costs a fixed `exchange` (the all-to-all's
// and the agreement's set-up) plus a latency per level of their trees.
//
// With runoff-sim-mpi built, `--measure` runs it on 1 to 4 ranks (one thread each) with all
// outputs and with the daily means alone, and on 0 days, takes T0 and tw from them and checks
// the model's prediction for every measured run; `--measure-setup` measures T0 alone, and
// `--cell-step S` gives the seconds of one cell-step (measured on another basin: the step costs
// the same on any grid).
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
#include "runoff/routing/partition.h"

namespace {

namespace fs = std::filesystem;
using namespace runoff;

// Assumed machine figures for the parts not measured here.
constexpr double kLatency = 5e-6;          // s per message
constexpr double kNetwork = 5e9;           // bytes per second into rank 0 and along cut edges
constexpr double kDisk = 1e9;              // bytes per second one rank writes
constexpr double kFileSystem = 2e10;       // bytes per second all ranks write together
constexpr double kExchange = 1e-3;         // s of a window's exchange of one file beyond bytes
constexpr double kDefaultCellStep = 3e-8;  // s per cell-step when nothing was measured

// A choice of outputs: the --outputs list and the grids of a day it writes.
struct Choice {
  const char* list;
  int gridsPerDay;
  int files;
};
constexpr Choice kChoices[] = {
    {"daily,max,hourly", 26, 3}, {"hourly", 24, 1}, {"daily,max", 2, 2}, {"daily", 1, 1}};

// Seconds of writing a run's `windows` windows of `windowDays` days with `choice` on `ranks`
// ranks; `received` the bytes rank 0 receives per window from the others (serial writer).
double outputSeconds(bool parallel, const Choice& choice, int ranks, std::int64_t windows,
                     std::int32_t windowDays, std::int64_t gridCells, double received) {
  const double written =
      static_cast<double>(gridCells) * choice.gridsPerDay * windowDays * 4.0;
  if (!parallel) {
    return static_cast<double>(windows) * ((ranks > 1 ? received / kNetwork : 0.0) + written / kDisk);
  }
  const double bandwidth = std::min(ranks * kDisk, kFileSystem);
  const double exchange = choice.files * (kExchange + std::log2(ranks) * kLatency) +
                          written * (1.0 - 1.0 / ranks) / (ranks * kNetwork);
  return static_cast<double>(windows) * (exchange + written / bandwidth);
}

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
double measure(const fs::path& basin, int ranks, int days, int timeStep,
               const std::string& outputs = "daily,max,hourly") {
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
  const int status = std::system((run + std::to_string(ranks) +
                                  " " RUNOFF_SIM_MPI_EXE " --outputs " + outputs +
                                  " >/dev/null 2>&1")
                                     .c_str());
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  fs::remove_all(dir);
  return status == 0 ? seconds : -1;
#else
  (void)basin, (void)ranks, (void)days, (void)timeStep, (void)outputs;
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
  // Measured seconds per rank count (1 to 4) with all outputs and with the daily means.
  double measuredAll[5] = {-1, -1, -1, -1, -1}, measuredDaily[5] = {-1, -1, -1, -1, -1};
  if (wantMeasure || wantSetup) setup = std::max(0.0, measure(basin, 1, 0, params.timeStep));
  if (wantMeasure) {
    for (int ranks = 1; ranks <= 4; ++ranks) {
      measuredAll[ranks] = measure(basin, ranks, params.days, params.timeStep);
      measuredDaily[ranks] = measure(basin, ranks, params.days, params.timeStep, "daily");
    }
    // One rank writes the files too: what is left after the set-up and the writing is routing.
    const double writing =
        outputSeconds(false, kChoices[0], 1, windows, windowDays, gridCells, 0.0);
    if (measuredAll[1] > setup + writing && params.days > 0) {
      cellStep = (measuredAll[1] - setup - writing) /
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
  std::printf("all outputs (%s), serial writer (rank 0 gathers) and parallel writer:\n",
              kChoices[0].list);
  std::printf("%5s %10s %8s %7s %12s %10s %10s %10s %10s %7s %7s  %s\n", "ranks", "busiest",
              "pieces", "cuts", "MiB/window", "routing s", "serial s", "parallel s", "T(N) s",
              "eff.", "serial", "most time lost to");
  struct Row {
    int ranks;
    double routing, received;
  };
  std::vector<Row> rows;
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
    rows.push_back({ranks, routing, received});
    const double serial =
        outputSeconds(false, kChoices[0], ranks, windows, windowDays, gridCells, received);
    const double parallel =
        outputSeconds(true, kChoices[0], ranks, windows, windowDays, gridCells, received);
    const double total = setup + routing + parallel;
    const double t1 = setup + rows[0].routing +
                      outputSeconds(true, kChoices[0], 1, windows, windowDays, gridCells, 0.0);
    const double efficiency = t1 / (ranks * total);
    const double t1Serial = setup + rows[0].routing +
                            outputSeconds(false, kChoices[0], 1, windows, windowDays, gridCells, 0);
    const double serialEfficiency = t1Serial / (ranks * (setup + routing + serial));
    // What the time lost against a perfect speed-up goes to, the largest share named.
    const double output1 = outputSeconds(true, kChoices[0], 1, windows, windowDays, gridCells, 0);
    const double lostToSetup = setup * (1.0 - 1.0 / ranks);
    const double lostToRouting = routing - rows[0].routing / ranks;
    const double lostToOutput = parallel - output1 / ranks;
    const char* limit = ranks == 1 ? "-"
                        : lostToSetup >= lostToRouting && lostToSetup >= lostToOutput
                            ? "serial set-up"
                        : lostToOutput >= lostToRouting ? "writing"
                        : chain > busiest               ? "critical path"
                                                        : "balance of work and messages";
    std::printf("%5d %10lld %8d %7d %12.3f %10.3f %10.3f %10.3f %10.3f %6.1f%% %6.1f%%  %s\n",
                ranks, static_cast<long long>(busiest), p.pieces, p.cutEdges,
                messageBytes / (1024.0 * 1024.0), routing, serial, parallel, total,
                100 * efficiency, 100 * serialEfficiency, limit);
  }
  // Efficiency of every choice under both writers.
  std::printf("efficiency by outputs written, serial writer / parallel writer:\n%5s", "ranks");
  for (const Choice& c : kChoices) std::printf(" %19s", c.list);
  std::printf("\n");
  for (const Row& row : rows) {
    std::printf("%5d", row.ranks);
    for (const Choice& c : kChoices) {
      double eff[2];
      for (int parallel = 0; parallel < 2; ++parallel) {
        const double t1 = setup + rows[0].routing +
                          outputSeconds(parallel, c, 1, windows, windowDays, gridCells, 0.0);
        const double tn =
            setup + row.routing +
            outputSeconds(parallel, c, row.ranks, windows, windowDays, gridCells, row.received);
        eff[parallel] = 100 * t1 / (row.ranks * tn);
      }
      std::printf("      %5.1f%% / %5.1f%%", eff[0], eff[1]);
    }
    std::printf("\n");
  }
  if (wantMeasure) {
    std::printf("measured here (parallel writer), against the model:\n");
    for (int ranks = 1; ranks <= 4; ++ranks) {
      const Partition p = partitionByDrainage(plan, ranks);
      const std::int64_t busiest = *std::max_element(p.work.begin(), p.work.end());
      const double routing =
          windowTime * (static_cast<double>(windows - 1) * static_cast<double>(busiest) +
                        static_cast<double>(std::max(busiest, chain)));
      for (int k : {0, 3}) {
        const double measured = k == 0 ? measuredAll[ranks] : measuredDaily[ranks];
        const double model =
            setup + routing + outputSeconds(true, kChoices[k], ranks, windows, windowDays,
                                            gridCells, 0.0);
        const double speedUp = (k == 0 ? measuredAll[1] : measuredDaily[1]) / measured;
        std::printf("  %d rank%s, --outputs %-16s %8.3f s (model %8.3f s, %+6.1f%%), speed-up %.2f\n",
                    ranks, ranks == 1 ? " " : "s", kChoices[k].list, measured, model,
                    100 * (model - measured) / measured, speedUp);
      }
    }
  }
  std::printf("assumed: %.0f us a message, %.0f GB/s network, %.0f GB/s written by one rank, "
              "%.0f GB/s by all together, %.0f ms a file's exchange per window beyond its bytes\n",
              kLatency * 1e6, kNetwork / 1e9, kDisk / 1e9, kFileSystem / 1e9, kExchange * 1e3);
  return 0;
}
