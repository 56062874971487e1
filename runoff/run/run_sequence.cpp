#include "runoff/run/run_sequence.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <limits>
#include <string>
#include <system_error>

#include "common/input_file.h"
#include "runoff/inputs/gauge_list.h"
#include "runoff/inputs/grid_geometry.h"
#include "runoff/inputs/rain_grid.h"
#include "runoff/output/discharge_output.h"
#include "runoff/output/discharge_vrt.h"
#include "runoff/output/gauge_series.h"
#include "runoff/run/progress.h"

namespace runoff {

RunSequence::RunSequence(const SimOptions& options, std::ostream& console)
    : options_(options), console_(console) {}

RunSequence::~RunSequence() = default;

Status RunSequence::readParameters() {
  Result<MemoryLimit> memory = memoryLimit();
  if (!memory.ok()) return memory.status();
  memory_ = std::move(memory).value();
  Result<RunParameters> read =
      runoff::readParameters(std::string("./") + kParameterFileName, ParamScope::kSimulation,
                             console_);
  if (!read.ok()) return read.status();
  params_ = read.value();
  windowDays_ =
      windowDaysFor(params_.days, static_cast<std::size_t>(params_.topoRows) * params_.topoCols);
  return {};
}

Status RunSequence::loadInputs(RainTies ties) {
  Result<RunInputs> loaded = loadRunInputs(params_, windowDays_, memory_, console_, ties);
  if (!loaded.ok()) return loaded.status();
  inputs_ = std::move(loaded).value();
  return {};
}

Status RunSequence::loadLossGrids() {
  Result<LossGrids> grids =
      runoff::loadLossGrids(options_.losses.method, inputs_.topo, inputs_.selected);
  if (!grids.ok()) return grids.status();
  lossGrids_ = std::move(grids).value();
  return {};
}

Status RunSequence::checkRoutingMemory() {
  console_ << "Setting parameter data." << '\n';
  const std::size_t lossBytes = options_.losses.method == LossMethod::kNone ? 0 : sizeof(LossState);
  return runoff::checkRoutingMemory(inputs_.topo, params_, windowDays_, memory_,
                                    options_.waterBudget, lossBytes);
}

Status RunSequence::obtainOrder(OrderSource source) {
  if (source == OrderSource::kObtained) {
    if (Status got = obtainCalculationOrder(inputs_.topo, params_, order_, console_); !got.ok()) {
      return got;
    }
  }
  console_ << "Total simulation time is " << params_.days << " days." << '\n' << '\n';
  return {};
}

Status RunSequence::openRainfall(bool check) {
  console_ << "Read " << kRainfallPath << '\n';
  // "ROF" is kept as it stands for compatibility of the console output.
  if (openInputFile(rainFile_, kRainfallPath) != InputFault::kNone) {
    return Status::cannotOpen("ROF file cannot open.");
  }
  if (check) {
    if (Status rain = checkRainfall(rainFile_, inputs_.rain.rows, inputs_.rain.cols, params_.days);
        !rain.ok()) {
      return rain;
    }
  }
  rainFile_.clear();
  rainFile_.seekg(0);
  return {};
}

void RunSequence::planRouting() {
  plan_ = runoff::planRouting(inputs_.topo, order_, inputs_.selected);
  routedCells_ = plan_.cell;
  std::sort(routedCells_.begin(), routedCells_.end());
  key_ = makeStateKey(params_, inputs_.rivers.riverNums, order_, options_.scheme);
  key_.losses = lossKey(options_.losses, lossGrids_.checksum);
}

std::int32_t RunSequence::lossStateValues() const {
  return options_.losses.method == LossMethod::kNone ? 0
                                                     : static_cast<std::int32_t>(kLossStateValues);
}

void RunSequence::setUpStates(const std::vector<std::uint8_t>* only) {
  states_ = setUpRouting(inputs_.topo, params_, only);
}

Result<std::optional<StoredState>> RunSequence::readStartState() const {
  if (!options_.stateIn) return std::optional<StoredState>();
  Result<StoredState> read = readRunState(*options_.stateIn, key_, routedCells_);
  if (!read.ok()) return read.status();
  return std::optional<StoredState>(std::move(read).value());
}

void RunSequence::startFrom(const std::optional<StoredState>& stored) {
  startLossStates(states_, inputs_.topo, lossGrids_);
  if (stored) {
    applyCellStates(stored->cells, routedCells_, states_);
    daysBefore_ = stored->daysBefore;
    console_ << "Start from state " << *options_.stateIn
             << " (simulated days before it: " << daysBefore_ << ")." << '\n';
  } else {
    startFromDryHour(states_);
  }
  if (options_.waterBudget) {
    waterBudget_.emplace(inputs_.topo, plan_, inputs_.rivers.riverNums, states_,
                         options_.losses.method != LossMethod::kNone);
  }
}

namespace {

// The flow accumulation grid as the simulator finds it, to place the gauges.
constexpr const char* kFlowAccPath = "./topoData/flowAcc.bin";

bool sameFile(const std::string& a, const std::string& b) {
  std::error_code error;
  const std::filesystem::path x = std::filesystem::weakly_canonical(a, error);
  if (error) return false;
  const std::filesystem::path y = std::filesystem::weakly_canonical(b, error);
  return !error && x == y;
}

std::uint64_t addBytes(std::uint64_t total, std::uint64_t more) {
  return more > std::numeric_limits<std::uint64_t>::max() - total
             ? std::numeric_limits<std::uint64_t>::max()
             : total + more;
}

}  // namespace

Status RunSequence::prepareOutputs() {
  if (!options_.gauges && !options_.netcdf) return {};
  if (options_.netcdf && params_.days < 1) {
    return Status::invalid(std::string("The run has no hour to write to ") + kNetcdfPath +
                           ": days is " + std::to_string(params_.days) + " in ./" +
                           kParameterFileName + ".");
  }
  Result<RunStart> start = findRunStart(options_.start, kRainfallPath);
  if (!start.ok()) return start.status();
  start_ = std::move(start).value();
  if (!options_.gauges) return {};
  if (sameFile(*options_.gauges, kGaugeSeriesPath)) {
    return Status::invalid("--gauges " + *options_.gauges + " is where the gauge series is " +
                           "written; give the gauge list another name.");
  }
  Result<std::vector<Gauge>> listed = readGauges(*options_.gauges);
  if (!listed.ok()) return listed.status();
  Result<GridGeometry> grid = GridGeometry::fromParameters(params_);
  if (!grid.ok()) return grid.status();
  Result<std::vector<std::int32_t>> flowAcc = readFlowAccumulation(kFlowAccPath, *grid);
  if (!flowAcc.ok()) return flowAcc.status();
  // Every selected cell has a result in the grids, the others the missing value: the grid
  // the placement tells routed cells by, as discharge-netcdf reads it from the hourly file.
  const std::vector<float> routed = outputBackground(inputs_.topo, inputs_.selected);
  Result<std::vector<SnappedGauge>> placed =
      snapGauges(*listed, *grid, *flowAcc, routed, options_.snap);
  if (!placed.ok()) return placed.status();
  gauges_ = std::move(placed).value();
  for (const SnappedGauge& gauge : gauges_) console_ << gaugePlacementLine(gauge) << '\n';
  return {};
}

Status RunSequence::checkOutputFolder() {
  if (Status writable = checkOutputDirectory(); !writable.ok()) return writable;
  // The files are written beside the previous ones and replace them only at the end, so the
  // whole size must be free, whatever an earlier run left there. The NetCDF file counts at its
  // values' raw size, which compression only lowers.
  std::uint64_t needed = 0;
  for (DischargeFile file : kDischargeFiles) {
    const std::uint64_t bytes =
        dischargeFileBytes(file, params_.topoRows, params_.topoCols, params_.days);
    if (options_.rawFiles().has(file)) needed = addBytes(needed, bytes);
    if (options_.netcdf && options_.outputs.has(file)) needed = addBytes(needed, bytes);
  }
  if (options_.gauges) {
    // A line per gauge and hour: the time, the name and the value.
    std::uint64_t line = 0;
    for (const SnappedGauge& gauge : gauges_) line += 40 + 2 * gauge.name.size();
    needed = addBytes(needed, line * 24 * static_cast<std::uint64_t>(std::max(0, params_.days)));
  }
  if (Status space = checkOutputSpace(needed); !space.ok()) return space;
  // Every place a file of this run must take is checked before hours of routing, so that a
  // run is never refused after some of its files were published.
  if (Status views = checkDischargeVrtPaths(params_, options_.rawFiles()); !views.ok()) {
    return views;
  }
  if (options_.stateOut) {
    if (Status state = checkStateOutPath(*options_.stateOut); !state.ok()) return state;
  }
  std::vector<std::string> places;
  for (DischargeFile file : kDischargeFiles) {
    if (options_.rawFiles().has(file)) places.push_back(outputPath(file));
  }
  if (options_.gauges) places.push_back(kGaugeSeriesPath);
  if (options_.netcdf) places.push_back(kNetcdfPath);
  for (const std::string& path : places) {
    if (isDirectoryAt(path)) return Status::ioError(path + " cannot be written: it is a directory.");
  }
  return {};
}

Status RunSequence::openOutputs(const OutputMakers& makers) {
  const DischargeFileSet raw = options_.rawFiles();
  auto add = [&](OutputMakers::Made made) -> Status {
    if (!made.ok()) return made.status();
    sinks_.push_back(std::move(made).value());
    return {};
  };
  if (!raw.empty()) {
    Status opened;
    if (makers.dischargeFiles) {
      opened = add(makers.dischargeFiles(raw));
    } else {
      Result<std::unique_ptr<DischargeFilesSink>> made = DischargeFilesSink::create(
          params_, raw, selectedInFileOrder(inputs_.topo, inputs_.selected));
      opened = made.ok() ? add(std::unique_ptr<WindowSink>(std::move(made).value()))
                         : made.status();
    }
    if (!opened.ok()) return opened;
  }
  if (options_.gauges) {
    Status opened;
    if (makers.gauges) {
      opened = add(makers.gauges(kGaugeSeriesPath, start_->time, gauges_));
    } else {
      Result<std::unique_ptr<GaugeSeriesSink>> made =
          GaugeSeriesSink::create(kGaugeSeriesPath, start_->time, gauges_);
      opened = made.ok() ? add(std::unique_ptr<WindowSink>(std::move(made).value()))
                         : made.status();
    }
    if (!opened.ok()) return opened;
  }
  if (options_.netcdf) {
    if (!makers.netcdf) {
      return Status::invalid(std::string(kNetcdfPath) +
                             " cannot be written: this program was built without the NetCDF "
                             "library.");
    }
    Result<GridGeometry> grid = GridGeometry::fromParameters(params_);
    if (!grid.ok()) return grid.status();
    NetcdfDescription description;
    description.grid = *grid;
    description.days = params_.days;
    description.start = start_->time;
    description.files = options_.outputs;
    if (Status opened = add(makers.netcdf(kNetcdfPath, description)); !opened.ok()) return opened;
  }
  return {};
}

Status RunSequence::routeWindows(const Distribution* distribution) {
  if (options_.scheme != Scheme::kClassic) {
    console_ << "Routing scheme: " << schemeName(options_.scheme) << '.' << '\n';
  }
  if (options_.losses.method != LossMethod::kNone) {
    console_ << "Rainfall losses: " << lossMethodName(options_.losses.method) << '.' << '\n';
  }
  console_ << "Runoff simulation starts." << '\n';
  const RoutingRun routing{inputs_.topo,    order_,          plan_,      params_.subSteps,
                           options_.scheme, options_.losses, &lossGrids_,
                           options_.power};
  RemoteTasks* remote = distribution != nullptr ? distribution->remote : nullptr;
  WindowRouter router(routing, states_, routingThreads(), windowDays_, remote);
  if (params_.days > 0) {
    // The live line follows a run in one process; a distributed run routes only part here.
    std::unique_ptr<ProgressLine> progress;
    if (distribution == nullptr) {
      const std::int64_t totalSteps = static_cast<std::int64_t>(plan_.size()) * params_.days *
                                      24 * static_cast<std::int64_t>(params_.subSteps);
      progress = std::make_unique<ProgressLine>(STDERR_FILENO, totalSteps, params_.days);
    }
    std::atomic<std::int64_t>* steps = progress ? progress->counter() : nullptr;
    // A run that writes no hourly grid keeps the days, and the hours of its gauges alone.
    std::vector<std::int32_t> gaugePositions;
    for (const SnappedGauge& gauge : gauges_) {
      gaugePositions.push_back(static_cast<std::int32_t>(gauge.position));
    }
    const std::vector<float> background = outputBackground(inputs_.topo, inputs_.selected);
    WindowGrids grids = options_.outputs.has(DischargeFile::kHourly)
                            ? WindowGrids(background, windowDays_)
                            : WindowGrids(background, windowDays_, gaugePositions);
    RainReader reader(rainFile_, inputs_.rain.rows, inputs_.rain.cols);
    for (std::int32_t first = 1; first <= params_.days; first += windowDays_) {
      const std::int32_t days = std::min(windowDays_, params_.days - first + 1);
      if (Status read = advanceRainWindow(reader, inputs_.rain, first, days); !read.ok()) {
        return read;
      }
      if (progress) progress->setWindow(first, first + days - 1);
      // The group lines belong to the console of a run in one process; a distributed run
      // writes them all at the end, when every group is done.
      if (Status routed = router.route(inputs_.rain, first, days, grids,
                                       distribution == nullptr ? &console_ : nullptr, steps);
          !routed.ok()) {
        return routed;
      }
      Status written;
      for (const auto& sink : sinks_) {
        if (written = sink->take(grids, first); !written.ok()) break;
      }
      if (distribution != nullptr && distribution->agreeOnWrites) {
        written = distribution->agreeOnWrites(written);
      }
      if (!written.ok()) return written;
    }
  }
  router.finishGroupLines(console_);
  console_ << '\n' << "Runoff simulation ends." << '\n';
  for (const auto& sink : sinks_) {
    for (const std::string& path : sink->paths()) console_ << "Write " << path << '\n';
  }
  return {};
}

Status RunSequence::finishOutputs() {
  for (const auto& sink : sinks_) {
    if (Status finished = sink->finish(); !finished.ok()) return finished;
  }
  return {};
}

CellStates RunSequence::finalStates() const {
  CellStates cells{params_.spaceSteps, lossStateValues(), {}};
  cells.values.assign(routedCells_.size() * cells.stride(), 0.0);
  collectCellStates(routedCells_, states_, cells);
  return cells;
}

Status RunSequence::publishOutputs(const CellStates& cells) {
  std::unique_ptr<AtomicFile> state;
  if (options_.stateOut) {
    Result<std::unique_ptr<AtomicFile>> written =
        writeRunState(*options_.stateOut, key_, daysBefore_ + params_.days, routedCells_, cells);
    if (!written.ok()) return written.status();
    state = std::move(written).value();
  }
  for (const auto& sink : sinks_) {
    if (Status published = sink->publish(); !published.ok()) return published;
  }
  if (Status removed = removeUnwrittenDischargeFiles(options_.rawFiles()); !removed.ok()) {
    return removed;
  }
  if (state) return state->publish();
  return {};
}

std::vector<double> RunSequence::budgetVolumes() const {
  return waterBudget_ ? waterBudget_->taskVolumes(states_) : std::vector<double>();
}

void RunSequence::reportBudget(const std::vector<double>& taskVolumes) {
  if (waterBudget_) {
    writeBudgetReport(console_, options_.scheme, waterBudget_->close(taskVolumes),
                      options_.losses.method != LossMethod::kNone);
  }
}

}  // namespace runoff
