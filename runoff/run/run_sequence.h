// The steps of a simulator run, in the order they run and print: read the parameters, load the
// inputs and select the cells, load the loss grids, check the memory, obtain the calculation
// order, open the rainfall, plan the routing and set up the cells, choose the starting state,
// open the outputs, route window after window, publish the files and the state, report the water
// budget. The outputs are sinks that each window is handed to (runoff/output/window_sink.h).
// Each step that can fail returns a Status carrying its one console line; the console
// text lives in the step that prints it, so a main that calls the steps in turn reads like the
// console log. runoff-sim calls them one after the other; runoff-sim-mpi calls the same steps
// and adds only what distribution needs between them (the ranks' agreement, the set-up one
// rank made for all, the partition, messages and gathering).
#ifndef RUNOFF_RUN_RUN_SEQUENCE_H_
#define RUNOFF_RUN_RUN_SEQUENCE_H_

#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <vector>

#include "common/discharge_files.h"
#include "common/params.h"
#include "common/status.h"
#include "runoff/inputs/calc_order.h"
#include "runoff/inputs/gauge_snap.h"
#include "runoff/inputs/loss_grids.h"
#include "runoff/inputs/run_start.h"
#include "runoff/output/netcdf_description.h"
#include "runoff/output/run_state.h"
#include "runoff/output/window_sink.h"
#include "runoff/routing/routing_plan.h"
#include "runoff/routing/routing_setup.h"
#include "runoff/routing/water_budget.h"
#include "runoff/routing/window_router.h"
#include "runoff/run/run_checks.h"
#include "runoff/run/run_inputs.h"
#include "runoff/run/sim_options.h"

namespace runoff {

/// Where the calculation order comes from in obtainOrder.
enum class OrderSource {
  kObtained,  // read from its cache or made afresh (and cached), with the console lines
  kSupplied,  // left to the caller (a process that receives it from another)
};

/// What a run spread over several processes adds to the routing of each window.
struct Distribution {
  RemoteTasks* remote = nullptr;  // the links to cells routed by other processes
  // Called after each window is written here, with how that went: the outcome of every
  // process's writing of the window.
  std::function<Status(const Status&)> agreeOnWrites;
};

/// The makers of a run's outputs. A program gives those it has: runoff-sim the NetCDF writer
/// where it is built with NetCDF, runoff-sim-mpi writers of every kind that write each
/// process's cells. An empty maker stands for the one-process writer (none for NetCDF: then
/// --netcdf is refused).
struct OutputMakers {
  using Made = Result<std::unique_ptr<WindowSink>>;
  // The raw discharge files of `files` under ./output.
  std::function<Made(DischargeFileSet files)> dischargeFiles;
  // The gauge series at `path`, hour 0 beginning at `start`.
  std::function<Made(const std::string& path, CivilTime start, std::vector<SnappedGauge> gauges)>
      gauges;
  // The NetCDF file at `path`; the maker adds the history and source attributes.
  std::function<Made(const std::string& path, NetcdfDescription description)> netcdf;
};

/// Where runoff-sim writes the gauge series and the NetCDF file.
inline constexpr const char* kGaugeSeriesPath = "./output/gauges.csv";
inline constexpr const char* kNetcdfPath = "./output/discharge.nc";

class RunSequence {
 public:
  /// A run with `options` whose console is `console` (a process that does not talk to the
  /// user passes a stream that goes nowhere).
  RunSequence(const SimOptions& options, std::ostream& console);
  ~RunSequence();
  RunSequence(const RunSequence&) = delete;
  RunSequence& operator=(const RunSequence&) = delete;

  /// The memory limit, then the parameter file with its echo; fixes the window length.
  Status readParameters();
  /// The river list, the rainfall and topography grids, the ties of the cells to their
  /// rainfall cells (`ties`) and the selection of the cells to route.
  Status loadInputs(RainTies ties = RainTies::kMapped);
  /// The grids of the loss method of --losses, checked on the selected cells; nothing to read
  /// without one.
  Status loadLossGrids();
  /// "Setting parameter data.", and the check that the routing fits in memory.
  Status checkRoutingMemory();
  /// The calculation order (from `source`), then the line with the run's length.
  Status obtainOrder(OrderSource source = OrderSource::kObtained);
  /// "Read ./input/rain.dat": opens the rainfall file and, with `check`, reads it whole once
  /// so that a damaged file stops the run before hours of routing.
  Status openRainfall(bool check = true);
  /// The routing plan over the selected cells of the order, the routed cells and the key
  /// that ties a restart state to this run.
  void planRouting();
  /// The routing state of every cell that takes part, or only of those `only` marks (per
  /// grid cell): a process sets up the cells it routes.
  void setUpStates(const std::vector<std::uint8_t>* only = nullptr);
  /// The state of --state-in, checked against this run; nothing without the option.
  Result<std::optional<StoredState>> readStartState() const;
  /// Starts every state from `stored` (and says so on the console), or from the dry hour
  /// before the run and fresh loss states; then starts the water budget when one is kept.
  void startFrom(const std::optional<StoredState>& stored);
  /// With --gauges or --netcdf: the run's start, then (--gauges) the gauges placed on the
  /// routed cells, a console line each.
  Status prepareOutputs();
  /// Checks that ./output takes files and has room for those asked for.
  Status checkOutputFolder();
  /// Opens the outputs asked for, through `makers`.
  Status openOutputs(const OutputMakers& makers = {});
  /// Routes every window: reads its rain, routes the cells (here, and through `distribution`
  /// elsewhere), hands its grids to the outputs opened here. Prints the scheme, the start,
  /// the group lines, the end and the files to be written; shows the live progress line of a
  /// run in one process.
  Status routeWindows(const Distribution* distribution = nullptr);
  /// Completes and closes every output, none under its final name yet.
  Status finishOutputs();
  /// The final state of the routed cells this process holds, ascending cells (the others'
  /// values are 0).
  CellStates finalStates() const;
  /// Writes the state of --state-out from `cells` (every routed cell's values), then gives
  /// the finished outputs, the VRTs and the state their final names, in that order, and
  /// removes the raw files not asked for that an earlier run left.
  Status publishOutputs(const CellStates& cells);
  /// The water this process's cells counted, WaterBudget::kTaskValues doubles per task.
  std::vector<double> budgetVolumes() const;
  /// The water budget table from every task's volumes (with --budget).
  void reportBudget(const std::vector<double>& taskVolumes);

  const SimOptions& options() const { return options_; }
  const RunParameters& params() const { return params_; }
  RunInputs& inputs() { return inputs_; }
  CalculationOrder& order() { return order_; }
  const RoutingPlan& plan() const { return plan_; }
  /// The loss values each cell's restart state holds (0 without losses).
  std::int32_t lossStateValues() const;
  /// The gauges placed (with --gauges), and the run's start (with --gauges or --netcdf).
  const std::vector<SnappedGauge>& gauges() const { return gauges_; }
  /// Grid indices of the routed cells, ascending: the cells of a restart state.
  const std::vector<std::int32_t>& routedCells() const { return routedCells_; }

 private:
  SimOptions options_;
  std::ostream& console_;
  MemoryLimit memory_;
  RunParameters params_;
  std::int32_t windowDays_ = 1;
  RunInputs inputs_;
  LossGrids lossGrids_;
  CalculationOrder order_;
  std::ifstream rainFile_;
  RoutingPlan plan_;
  std::vector<std::int32_t> routedCells_;
  StateKey key_;
  RoutingStates states_;
  std::int64_t daysBefore_ = 0;
  std::optional<WaterBudget> waterBudget_;
  std::optional<RunStart> start_;
  std::vector<SnappedGauge> gauges_;
  WindowSinks sinks_;
};

}  // namespace runoff

#endif  // RUNOFF_RUN_RUN_SEQUENCE_H_
