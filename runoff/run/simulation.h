// A simulator run as an object that steps: initialize() takes every step up to the first routed
// hour, advance(hours) routes any number of hours and hands each completed window to the
// outputs, finalize() publishes the outputs and the final state and reports the water budget.
// Each returns a Status carrying its one console line. The console text lives in the step that
// prints it, so the run's console log is written here once, in this order:
//
//   initialize  the memory limit and the parameter file (echo); the river list, the grids and
//               the ties of the cells to their rainfall cells; the loss grids; "Setting
//               parameter data." and the memory check; the calculation order and the run's
//               length; "Read ./input/rain.dat" and the check of the whole file; the routing
//               plan and the cells' states; the start state; the run's start and the gauges
//               placed; the check of ./output; the outputs opened; the scheme and losses lines,
//               "Runoff simulation starts." and the first window's rain
//   advance     the group lines during the first hours routed; per completed window, its grids
//               to the outputs, then the next window's run-wide inputs (the rain)
//   finalize    the group lines not written yet, "Runoff simulation ends." and the files to be
//               written; the outputs completed; the final state written; the outputs, the VRTs
//               and the state under their final names; the water budget table
//
// runoff-sim is parse, construct, initialize, advance over every hour, finalize. A run spread
// over several processes (runoff-sim-mpi) gives the object its RunHooks, which it calls at its
// fixed points; a coupler or the BMI steps it an hour at a time and may change the next hour's
// rain in between.
#ifndef RUNOFF_RUN_SIMULATION_H_
#define RUNOFF_RUN_SIMULATION_H_

#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "common/discharge_files.h"
#include "common/params.h"
#include "common/status.h"
#include "runoff/inputs/gauge_snap.h"
#include "runoff/inputs/pet_grid.h"
#include "runoff/inputs/lake_list.h"
#include "runoff/inputs/release_series.h"
#include "runoff/inputs/rain_grid.h"
#include "runoff/inputs/run_start.h"
#include "runoff/output/netcdf_description.h"
#include "runoff/output/run_state.h"
#include "runoff/output/window_sink.h"
#include "runoff/routing/routing_setup.h"
#include "runoff/routing/water_budget.h"
#include "runoff/routing/window_router.h"
#include "runoff/run/run_set_up.h"
#include "runoff/run/sim_options.h"

namespace runoff {

class ProgressLine;
class Simulation;

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
/// Where a run with lakes writes their hourly series.
inline constexpr const char* kLakeSeriesPath = "./output/lakes.csv";

/// What a program adds at the fixed points of a run. The defaults are those of a run in one
/// process, which makes its whole set-up, routes every cell and writes every output itself. A
/// run spread over several processes overrides them: the processes agree on each step's
/// outcome, one process (the leader) talks to the user and makes the set-up the others
/// receive, each routes its part of the cells and exchanges the outflow of cut tributaries,
/// and the leader gathers the final states and the budget volumes.
class RunHooks {
 public:
  virtual ~RunHooks() = default;

  /// True on the process that talks to the user, makes or reads the caches, reads the restart
  /// state, checks ./output and publishes the files.
  virtual bool leads() const { return true; }
  /// A step's outcome on every process, called by all in the same order: any failure is the
  /// failure of all, with one line.
  virtual Status agree(const Status& mine) { return mine; }
  /// A failure while routing, which cannot wait for the other processes (they may be blocked
  /// on this one's messages): a distributed run ends every process here. The default hands it
  /// back as advance()'s outcome.
  virtual Status routingFailed(Status failure) { return failure; }

  /// The set-up the leader made, handed to the others: the ties of the cells to their
  /// rainfall cells, the calculation order, the start state (`nodes` values of discharge,
  /// `lossValues` loss values and `soilValues` soil values a cell).
  virtual void shareRainTies(RunInputs&) {}
  virtual void shareOrder(CalculationOrder&) {}
  virtual void shareStartState(std::optional<StoredState>&, std::int32_t /*nodes*/,
                               std::int32_t /*lossValues*/, std::int32_t /*soilValues*/) {}

  /// The cells this process routes, per grid cell of a grid of `gridCells` cells, given the
  /// plan; nothing for all of them.
  virtual std::optional<std::vector<std::uint8_t>> cellsRoutedHere(const RoutingPlan&,
                                                                   std::size_t /*gridCells*/) {
    return std::nullopt;
  }
  /// The makers of the outputs, once the run is planned and its gauges placed.
  virtual OutputMakers outputMakers(const Simulation&) { return {}; }
  /// The links to the cells routed by other processes; null when every cell is routed here.
  virtual RemoteTasks* remoteTasks(const Simulation&) { return nullptr; }

  /// Every routed cell's final state on the leader (`cells` holds this process's cells, the
  /// others' values 0; `routedCells` ascending).
  virtual void gatherStates(CellStates&, const std::vector<std::int32_t>& /*routedCells*/) {}
  /// Every task's budget volumes on the leader (WaterBudget::taskValues() a task, this
  /// process's tasks filled, the others 0).
  virtual void gatherBudget(std::vector<double>&) {}
  /// Every lake's values on the leader: `stride` values a lake, the lake at grid cell
  /// `cells[k]` at k x stride, filled by the process that routes its cell (the others' 0).
  virtual void gatherLakes(std::vector<double>&, const std::vector<std::int32_t>& /*cells*/,
                           std::size_t /*stride*/) {}
};

class Simulation {
 public:
  /// A run of runoff-sim with `options` in the working directory, talking on `console` (a
  /// process that does not talk to the user passes a stream that goes nowhere). `hooks`, when
  /// given, must outlive the object.
  Simulation(const SimOptions& options, std::ostream& console, RunHooks* hooks = nullptr);
  ~Simulation();
  Simulation(const Simulation&) = delete;
  Simulation& operator=(const Simulation&) = delete;

  /// Everything up to the first routed hour. Called once, first.
  Status initialize();
  /// Routes the next `hours` hours (0 or more), across windows as needed; a window's grids go
  /// to the outputs as its last hour is routed. Refuses, routing nothing, more hours than the
  /// run has left, and a call before initialize() succeeded or after finalize().
  Status advance(std::int64_t hours);
  /// Once every hour is routed: completes and publishes the outputs, writes the final state,
  /// reports the water budget. Called once.
  Status finalize();

  /// Hours routed so far, and in the whole run (days x 24).
  std::int64_t hoursDone() const { return hoursDone_; }
  std::int64_t totalHours() const;

  /// The hourly means of the last hour routed, m^3/s, in the order of the discharge files
  /// (rows from the south, the missing value on cells without results); empty before the
  /// first hour and in a run that keeps daily grids only (one that writes no hourly grid).
  std::span<const float> lastHour() const;
  /// The hourly mean of the last hour routed at a gauge's `position` (file order), also in a
  /// run that keeps daily grids only; after the first hour.
  float lastHourAt(std::size_t position) const;
  /// Day (from 1) and hour index (0 to 23) of the next hour to route; valid while hours
  /// are left.
  std::int32_t nextDay() const;
  std::int32_t nextHourOfDay() const;
  /// The rainfall grid of the window that holds the next hour (after initialize(), while hours
  /// are left): the next hour's intensities, mm/h, from 0 to kMaxRainfall, may be changed
  /// before it is routed, rain.hourlyRain[rain.rainIndex(cell, nextDay(), nextHourOfDay())].
  RainGrid& windowRain() { return setUp_.inputs.rain; }

  const SimOptions& options() const { return options_; }
  const RunParameters& params() const { return setUp_.params; }
  const RunInputs& inputs() const { return setUp_.inputs; }
  const CalculationOrder& order() const { return setUp_.order; }
  const RoutingPlan& plan() const { return setUp_.plan; }
  /// The routing states of the cells this process routes (after initialize(), between hours):
  /// per slot (RoutingStates::slotOfCell of a grid index) the discharges, the lateral inflow of
  /// the last hour routed and, with --soil, RoutingStates::soil[slot].stores, the
  /// soil store S and the groundwater store G in mm, as they stand after the last hour routed.
  const RoutingStates& states() const { return states_; }
  /// Where the soil's potential evapotranspiration comes from (with --soil).
  const PetSource& pet() const { return pet_; }
  /// The gauges placed (with --gauges).
  const std::vector<SnappedGauge>& gauges() const { return gauges_; }
  /// Grid indices of the routed cells, ascending: the cells of a restart state.
  const std::vector<std::int32_t>& routedCells() const { return routedCells_; }
  /// The lakes of --lakes, in the order of the list (those this process routes carry their
  /// state); empty without.
  const std::vector<Lake>& lakeList() const { return lakeList_; }
  const std::vector<RoutedLake>& lakes() const { return states_.lakes; }

 private:
  enum class Stage { kNew, kRouting, kFinalized, kFailed };

  // The steps of initialize(), in their order.
  Status loadInputs();
  Status checkRoutingMemory();
  Status obtainOrder();
  Status openRainfall();
  void planRouting();
  Status loadLakes();
  Status startStates();
  Status prepareOutputs();
  Status checkOutputFolder();
  Status openOutputs();
  Status startRouting();
  // The run-wide inputs of the window from day `firstDay`: its rain.
  Status readWindowInputs(std::int32_t firstDay);
  void setLakeReleases(std::int32_t firstDay, std::int32_t days);
  void gatherLakeHours();
  std::vector<double> lakeStorages();
  Status routeSpan(std::int32_t hours);
  // The steps of finalize().
  Status finishOutputs();
  CellStates finalStates() const;
  Status publishOutputs(const CellStates& cells, const std::vector<double>& lakeStorage);
  void reportBudget();

  std::int32_t lossStateValues() const;
  std::int32_t soilStateValues() const;
  Status openPet();
  Status onLeader(const std::function<Status()>& step);

  SimOptions options_;
  std::ostream& console_;
  RunHooks defaultHooks_;
  RunHooks& hooks_;
  Stage stage_ = Stage::kNew;

  RunSetUp setUp_;
  std::ifstream rainFile_;
  std::optional<RainReader> rainReader_;
  // The PET of --soil: input/pet.dat window by window, or a constant.
  std::ifstream petFile_;
  std::optional<PetReader> petReader_;
  PetGrid petGrid_;
  PetSource pet_;
  std::vector<std::int32_t> routedCells_;
  StateKey key_;
  RoutingStates states_;
  std::int64_t daysBefore_ = 0;
  std::optional<WaterBudget> waterBudget_;
  std::optional<RunStart> start_;
  std::vector<SnappedGauge> gauges_;
  std::vector<Lake> lakeList_;
  ReleaseSeries releases_;
  std::vector<std::uint8_t> releaseNoted_;  // per lake: its first release-less hour told
  WindowSinks sinks_;

  // Routing: the fixed description, the router, the grids of the window being routed.
  std::unique_ptr<RoutingRun> routing_;
  std::unique_ptr<WindowRouter> router_;
  std::unique_ptr<WindowGrids> grids_;
  std::unique_ptr<ProgressLine> progress_;
  RemoteTasks* remote_ = nullptr;
  std::int64_t hoursDone_ = 0;
  std::int32_t windowFirstDay_ = 1;  // of the window that holds the next hour
  std::int32_t windowDays_ = 0;
  std::int32_t hourInWindow_ = 0;       // hours of that window routed
  std::int32_t lastHourInWindow_ = -1;  // hour index in the grids of the last hour routed
};

}  // namespace runoff

#endif  // RUNOFF_RUN_SIMULATION_H_
