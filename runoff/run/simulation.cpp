#include "runoff/run/simulation.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <limits>
#include <string>
#include <system_error>

#include "common/input_file.h"
#include "common/stale_temporaries.h"
#include "runoff/inputs/gauge_list.h"
#include "runoff/inputs/grid_geometry.h"
#include "runoff/output/discharge_output.h"
#include "runoff/output/discharge_vrt.h"
#include "runoff/output/gauge_series.h"
#include "runoff/output/lake_series.h"
#include "runoff/run/progress.h"

namespace runoff {

Simulation::Simulation(const SimOptions& options, std::ostream& console, RunHooks* hooks)
    : options_(options), console_(console), hooks_(hooks != nullptr ? *hooks : defaultHooks_) {}

Simulation::~Simulation() = default;

std::int64_t Simulation::totalHours() const {
  return static_cast<std::int64_t>(std::max(0, setUp_.params.days)) * 24;
}

Status Simulation::initialize() {
  if (stage_ != Stage::kNew) return Status::invalid("The run is initialized already.");
  stage_ = Stage::kFailed;  // until every step below has succeeded
  auto all = [&](const Status& mine) { return hooks_.agree(mine); };
  if (Status s = all(setUp_.readParameters(console_)); !s.ok()) return s;
  if (Status s = all(loadInputs()); !s.ok()) return s;
  hooks_.shareRainTies(setUp_.inputs);
  // Every process reads the loss grids, as it reads the topography.
  if (Status s = all(setUp_.loadLossGrids(options_.losses.method)); !s.ok()) return s;
  if (Status s = all(setUp_.loadSoilGrids(options_.soil)); !s.ok()) return s;
  if (Status s = all(checkRoutingMemory()); !s.ok()) return s;
  if (Status s = all(obtainOrder()); !s.ok()) return s;
  hooks_.shareOrder(setUp_.order);
  if (Status s = all(openRainfall()); !s.ok()) return s;
  if (Status s = all(openPet()); !s.ok()) return s;
  planRouting();
  if (Status s = all(loadLakes()); !s.ok()) return s;
  if (Status s = startStates(); !s.ok()) return s;
  if (Status s = all(prepareOutputs()); !s.ok()) return s;
  if (Status s = onLeader([&] { return checkOutputFolder(); }); !s.ok()) return s;
  if (Status s = all(openOutputs()); !s.ok()) return s;
  if (Status s = startRouting(); !s.ok()) return s;
  stage_ = Stage::kRouting;
  return {};
}

Status Simulation::onLeader(const std::function<Status()>& step) {
  return hooks_.agree(hooks_.leads() ? step() : Status());
}

Status Simulation::loadInputs() {
  // The leader alone makes or reads the mapping cache; the others receive its ties.
  return setUp_.loadInputs(hooks_.leads() ? RainTies::kMapped : RainTies::kSupplied,
                           setUp_.windowDays, console_);
}

Status Simulation::checkRoutingMemory() {
  console_ << "Setting parameter data." << '\n';
  const std::size_t lossBytes =
      (options_.losses.method == LossMethod::kNone ? 0 : sizeof(LossState)) +
      (options_.soil ? sizeof(CellSoil) + 3 * sizeof(float) : 0);
  return runoff::checkRoutingMemory(setUp_.inputs.topo, setUp_.params, setUp_.windowDays,
                                    setUp_.memory, options_.waterBudget, lossBytes);
}

Status Simulation::obtainOrder() {
  // The leader alone makes or reads the order cache; the others receive its order.
  if (hooks_.leads()) {
    if (Status got = setUp_.obtainOrder(console_); !got.ok()) return got;
  }
  console_ << "Total simulation time is " << setUp_.params.days << " days." << '\n' << '\n';
  return {};
}

Status Simulation::openRainfall() {
  console_ << "Read " << kRainfallPath << '\n';
  if (Status opened = openRainfallFile(rainFile_); !opened.ok()) return opened;
  // The whole file is read once before hours of routing, so that a damaged file stops the run
  // at once; by the leader alone, the others read it window by window as it does.
  if (hooks_.leads()) {
    if (Status rain = checkRainfall(rainFile_, setUp_.inputs.rain.rows, setUp_.inputs.rain.cols,
                                    setUp_.params.days);
        !rain.ok()) {
      return rain;
    }
  }
  rainFile_.clear();
  rainFile_.seekg(0);
  return {};
}

Status Simulation::openPet() {
  if (!options_.soil) return {};
  if (options_.petMmPerDay) {
    pet_.constantMmPerHour = *options_.petMmPerDay / 24;
    console_ << "Potential evapotranspiration: " << *options_.petMmPerDay
             << " mm/day on every cell (--pet)." << '\n';
    return {};
  }
  std::error_code error;
  if (!std::filesystem::exists(kPetPath, error)) {
    console_ << "Potential evapotranspiration is 0: there is no " << kPetPath << " and no --pet."
             << '\n';
    return {};
  }
  console_ << "Read " << kPetPath << '\n';
  if (openInputFile(petFile_, kPetPath) != InputFault::kNone) {
    return Status::cannotOpen(std::string(kPetPath) + " cannot be opened.");
  }
  const RainGrid& rain = setUp_.inputs.rain;
  // Like the rain, the whole file is checked once by the leader before any hour is routed.
  if (hooks_.leads()) {
    if (Status checked =
            checkPet(petFile_, rain.rows, rain.cols, setUp_.params.days, rainFileStart());
        !checked.ok()) {
      return checked;
    }
  }
  petFile_.clear();
  petFile_.seekg(0);
  petGrid_ = buildPetGrid(rain.rows, rain.cols, setUp_.windowDays);
  petReader_.emplace(petFile_, rain.rows, rain.cols, setUp_.params.days);
  pet_.grid = &petGrid_;
  return {};
}

void Simulation::planRouting() {
  setUp_.planRouting();
  routedCells_ = setUp_.plan.cell;
  std::sort(routedCells_.begin(), routedCells_.end());
  key_ = makeStateKey(setUp_.params, setUp_.inputs.rivers.riverNums, setUp_.order, options_.scheme);
  key_.losses = lossKey(options_.losses, setUp_.lossGrids.checksum);
  if (options_.soil) key_.soil = soilKey(options_.soilRule, setUp_.soilGrids.checksum);
  // A process sets up the cells it routes.
  const std::optional<std::vector<std::uint8_t>> here =
      hooks_.cellsRoutedHere(setUp_.plan, setUp_.inputs.topo.cells.size());
  states_ = setUpRouting(setUp_.inputs.topo, setUp_.params, here ? &*here : nullptr);
}

std::int32_t Simulation::soilStateValues() const {
  return options_.soil ? static_cast<std::int32_t>(kCellSoilValues) : 0;
}

Status Simulation::loadLakes() {
  if (!options_.lakes) return {};
  // Every process reads the lists and places the lakes itself; the leader tells of them.
  Result<std::vector<Lake>> listed = readLakes(*options_.lakes);
  if (!listed.ok()) return listed.status();
  lakeList_ = std::move(listed).value();
  Result<std::vector<std::int32_t>> cells = setUp_.placeLakes(lakeList_, options_.snap, console_);
  if (!cells.ok()) return cells.status();
  releases_.values.assign(lakeList_.size(), {});
  if (options_.releases) {
    Result<ReleaseSeries> read = readReleases(*options_.releases, lakeList_);
    if (!read.ok()) return read.status();
    releases_ = std::move(read).value();
  }
  releaseNoted_.assign(lakeList_.size(), 0);
  key_.lakes = {lakeListChecksum(lakeList_), lakeList_.size()};
  // A lake's outlet cell is routed by one process, which routes the lake.
  states_.lakeOfSlot.assign(states_.states.size(), -1);
  const std::size_t windowHours = static_cast<std::size_t>(setUp_.windowDays) * 24;
  for (std::size_t k = 0; k < lakeList_.size(); ++k) {
    RoutedLake lake;
    lake.parameters = lakeList_[k].parameters();
    lake.cell = (*cells)[k];
    lake.state.storage = lakeList_[k].startStorage();
    lake.hours.assign(windowHours, LakeHour{});
    if (lake.parameters.rule == LakeRule::kReleases) lake.release.assign(windowHours, 0.0);
    // A run with the soil reads a PET (input/pet.dat, --pet or none): its lakes evaporate it.
    if (options_.soil) lake.evaporation.assign(windowHours, 0.0);
    if (const std::int32_t slot = states_.slotOfCell[lake.cell]; slot >= 0) {
      states_.lakeOfSlot[slot] = static_cast<std::int32_t>(k);
    }
    states_.lakes.push_back(std::move(lake));
  }
  return {};
}

std::int32_t Simulation::lossStateValues() const {
  return options_.losses.method == LossMethod::kNone ? 0
                                                     : static_cast<std::int32_t>(kLossStateValues);
}

Status Simulation::startStates() {
  // The state of --state-in, read by the leader and checked against this run.
  std::optional<StoredState> stored;
  Status read;
  if (options_.stateIn && hooks_.leads()) {
    Result<StoredState> state = readRunState(*options_.stateIn, key_, routedCells_);
    if (state.ok()) {
      stored = std::move(state).value();
    } else {
      read = state.status();
    }
  }
  if (Status s = hooks_.agree(read); !s.ok()) return s;
  hooks_.shareStartState(stored, setUp_.params.spaceSteps, lossStateValues(), soilStateValues());

  startLossStates(states_, setUp_.inputs.topo, setUp_.lossGrids);
  if (options_.soil) states_.soil.assign(states_.states.size(), CellSoil{});
  if (stored) {
    applyCellStates(stored->cells, routedCells_, states_);
    // The key holds the lake list's checksum and count: the storages are this run's lakes'.
    for (std::size_t k = 0; k < states_.lakes.size() && k < stored->lakeStorage.size(); ++k) {
      states_.lakes[k].state.storage = stored->lakeStorage[k];
    }
    daysBefore_ = stored->daysBefore;
    console_ << "Start from state " << *options_.stateIn
             << " (simulated days before it: " << daysBefore_ << ")." << '\n';
  } else {
    startFromDryHour(states_);
    // The stores start full to --soil-start, the baseflow at --baseflow-start.
    if (options_.soil) {
      startSoilStates(states_, setUp_.inputs.topo, setUp_.soilGrids, options_.soilRule);
    }
  }
  // The water budget counts from here. A place for what else a cell or a lake carries from
  // one run to the next: it is read with the state above and starts here.
  if (options_.waterBudget) {
    waterBudget_.emplace(setUp_.inputs.topo, setUp_.plan, setUp_.inputs.rivers.riverNums, states_,
                         options_.losses.method != LossMethod::kNone,
                         options_.soil ? setUp_.params.subSteps : 0);
  }
  return {};
}

namespace {

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

Status Simulation::prepareOutputs() {
  const RunParameters& params = setUp_.params;
  if (!options_.gauges && !options_.netcdf && !options_.lakes) return {};
  if (options_.netcdf && params.days < 1) {
    return Status::invalid(std::string("The run has no hour to write to ") + kNetcdfPath +
                           ": days is " + std::to_string(params.days) + " in ./" +
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
  // Every process places the gauges itself.
  Result<std::vector<Gauge>> listed = readGauges(*options_.gauges);
  if (!listed.ok()) return listed.status();
  Result<std::vector<SnappedGauge>> placed = setUp_.placeGauges(*listed, options_.snap, console_);
  if (!placed.ok()) return placed.status();
  gauges_ = std::move(placed).value();
  return {};
}

Status Simulation::checkOutputFolder() {
  const RunParameters& params = setUp_.params;
  if (Status writable = checkOutputDirectory(); !writable.ok()) return writable;
  // What runs that ended abnormally left here goes first, before the free space is counted.
  std::vector<std::string> written = {kGaugeSeriesPath, kNetcdfPath};
  if (options_.lakes) written.push_back(kLakeSeriesPath);
  for (DischargeFile file : kDischargeFiles) {
    written.insert(written.end(), {outputPath(file), vrtPath(file)});
  }
  if (options_.stateOut) written.push_back(*options_.stateOut);
  clearStaleTemporaries(written, console_);
  // The files are written beside the previous ones and replace them only at the end, so the
  // whole size must be free, whatever an earlier run left there. The NetCDF file counts at its
  // values' raw size, which compression only lowers.
  std::uint64_t needed = 0;
  for (DischargeFile file : kDischargeFiles) {
    const std::uint64_t bytes =
        dischargeFileBytes(file, params.topoRows, params.topoCols, params.days);
    if (options_.rawFiles().has(file)) needed = addBytes(needed, bytes);
    if (options_.netcdf && options_.outputs.has(file)) needed = addBytes(needed, bytes);
  }
  if (options_.gauges) {
    // A line per gauge and hour: the time, the name and the value.
    std::uint64_t line = 0;
    for (const SnappedGauge& gauge : gauges_) line += 40 + 2 * gauge.name.size();
    needed = addBytes(needed, line * 24 * static_cast<std::uint64_t>(std::max(0, params.days)));
  }
  if (options_.lakes) {
    // A line per lake and hour: the time, the name and three values.
    std::uint64_t line = 0;
    for (const Lake& lake : lakeList_) line += 70 + 2 * lake.name.size();
    needed = addBytes(needed, line * 24 * static_cast<std::uint64_t>(std::max(0, params.days)));
  }
  if (Status space = checkOutputSpace(needed); !space.ok()) return space;
  // Every place a file of this run must take is checked before hours of routing, so that a
  // run is never refused after some of its files were published.
  if (Status views = checkDischargeVrtPaths(params, options_.rawFiles()); !views.ok()) {
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
  if (options_.lakes) places.push_back(kLakeSeriesPath);
  for (const std::string& path : places) {
    if (isDirectoryAt(path))
      return Status::ioError(path + " cannot be written: it is a directory.");
  }
  return {};
}

Status Simulation::openOutputs() {
  const OutputMakers makers = hooks_.outputMakers(*this);
  const RunParameters& params = setUp_.params;
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
          params, raw, selectedInFileOrder(setUp_.inputs.topo, setUp_.inputs.selected));
      opened =
          made.ok() ? add(std::unique_ptr<WindowSink>(std::move(made).value())) : made.status();
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
      opened =
          made.ok() ? add(std::unique_ptr<WindowSink>(std::move(made).value())) : made.status();
    }
    if (!opened.ok()) return opened;
  }
  if (options_.netcdf) {
    if (!makers.netcdf) {
      return Status::invalid(std::string(kNetcdfPath) +
                             " cannot be written: this program was built without the NetCDF "
                             "library.");
    }
    Result<GridGeometry> grid = GridGeometry::fromParameters(params);
    if (!grid.ok()) return grid.status();
    NetcdfDescription description;
    description.grid = *grid;
    description.days = params.days;
    description.start = start_->time;
    description.files = options_.outputs;
    if (Status opened = add(makers.netcdf(kNetcdfPath, description)); !opened.ok()) return opened;
  }
  // The leader writes the lake series from the lakes' hours it gathers window by window.
  if (options_.lakes && hooks_.leads()) {
    std::vector<std::string> names;
    for (const Lake& lake : lakeList_) names.push_back(lake.name);
    Result<std::unique_ptr<LakeSeriesSink>> made =
        LakeSeriesSink::create(kLakeSeriesPath, start_->time, std::move(names), states_.lakes);
    if (!made.ok()) return made.status();
    sinks_.push_back(std::move(made).value());
  }
  return {};
}

Status Simulation::startRouting() {
  const RunParameters& params = setUp_.params;
  if (options_.scheme != Scheme::kClassic) {
    console_ << "Routing scheme: " << schemeName(options_.scheme) << '.' << '\n';
  }
  if (options_.losses.method != LossMethod::kNone) {
    console_ << "Rainfall losses: " << lossMethodName(options_.losses.method) << '.' << '\n';
  }
  if (options_.soil) {
    console_ << "Soil and groundwater stores: ET threshold " << options_.soilRule.etThreshold << '.'
             << '\n';
  }
  console_ << "Runoff simulation starts." << '\n';
  routing_ = std::make_unique<RoutingRun>(
      RoutingRun{setUp_.inputs.topo, setUp_.order, setUp_.plan, params.subSteps, options_.scheme,
                 options_.losses, &setUp_.lossGrids, options_.power,
                 options_.soil ? &setUp_.soilGrids : nullptr, options_.soilRule, pet_});
  remote_ = hooks_.remoteTasks(*this);
  router_ = std::make_unique<WindowRouter>(*routing_, states_, routingThreads(), setUp_.windowDays,
                                           remote_);
  if (params.days <= 0) return {};
  // The live line follows a run in one process; a distributed run routes only part here.
  if (remote_ == nullptr) {
    const std::int64_t totalSteps = static_cast<std::int64_t>(setUp_.plan.size()) * params.days *
                                    24 * static_cast<std::int64_t>(params.subSteps);
    progress_ = std::make_unique<ProgressLine>(STDERR_FILENO, totalSteps, params.days);
  }
  // A run that writes no hourly grid keeps the days, and the hours of its gauges alone.
  std::vector<std::int32_t> gaugePositions;
  for (const SnappedGauge& gauge : gauges_) {
    gaugePositions.push_back(static_cast<std::int32_t>(gauge.position));
  }
  const std::vector<float> background =
      outputBackground(setUp_.inputs.topo, setUp_.inputs.selected);
  grids_ = options_.outputs.has(DischargeFile::kHourly)
               ? std::make_unique<WindowGrids>(background, setUp_.windowDays)
               : std::make_unique<WindowGrids>(background, setUp_.windowDays, gaugePositions);
  rainReader_.emplace(rainFile_, setUp_.inputs.rain.rows, setUp_.inputs.rain.cols);
  if (Status read = readWindowInputs(1); !read.ok()) return hooks_.routingFailed(read);
  return {};
}

Status Simulation::readWindowInputs(std::int32_t firstDay) {
  windowFirstDay_ = firstDay;
  windowDays_ = std::min(setUp_.windowDays, setUp_.params.days - firstDay + 1);
  hourInWindow_ = 0;
  // The run-wide inputs of the window: its rain, and the PET of input/pet.dat beside it.
  if (Status read = advanceRainWindow(*rainReader_, setUp_.inputs.rain, firstDay, windowDays_);
      !read.ok()) {
    return read;
  }
  if (petReader_) {
    if (Status read = advancePetWindow(*petReader_, petGrid_, firstDay, windowDays_); !read.ok()) {
      return read;
    }
  }
  setLakeReleases(firstDay, windowDays_);
  setLakeEvaporation(states_.lakes, setUp_.inputs.topo, pet_, firstDay, windowDays_);
  if (progress_) progress_->setWindow(firstDay, firstDay + windowDays_ - 1);
  return {};
}

void Simulation::setLakeReleases(std::int32_t firstDay, std::int32_t days) {
  for (std::size_t k = 0; k < states_.lakes.size(); ++k) {
    RoutedLake& lake = states_.lakes[k];
    if (lake.release.empty()) continue;
    const std::vector<ReleaseValue>& series = releases_.values[k];
    const std::int64_t firstHour = (static_cast<std::int64_t>(firstDay) - 1) * 24;
    for (std::int32_t h = 0; h < days * 24; ++h) {
      const CivilTime hour = start_->time + std::chrono::hours(firstHour + h);
      const std::optional<double> release = releaseInForce(series, hour);
      lake.release[static_cast<std::size_t>(h)] = release.value_or(0.0);
      if (!release && !releaseNoted_[k]) {
        releaseNoted_[k] = 1;
        if (series.empty()) {
          console_ << "Lake \"" << lakeList_[k].name
                   << "\" has no release in the series: it releases nothing and spills above "
                      "its capacity."
                   << '\n';
        } else {
          console_ << "Lake \"" << lakeList_[k].name << "\" has no release before "
                   << isoTime(series.front().time)
                   << ": it releases nothing (and spills above its capacity) until then." << '\n';
        }
      }
    }
  }
}

void Simulation::gatherLakeHours() {
  // Each lake's hours of the window from the process that routed them, on the leader.
  const std::size_t hours = static_cast<std::size_t>(windowDays_) * 24;
  const std::size_t stride = hours * 3;
  std::vector<double> values(states_.lakes.size() * stride, 0.0);
  std::vector<std::int32_t> cells;
  for (std::size_t k = 0; k < states_.lakes.size(); ++k) {
    const RoutedLake& lake = states_.lakes[k];
    cells.push_back(lake.cell);
    if (states_.slotOfCell[lake.cell] < 0) continue;
    for (std::size_t h = 0; h < hours; ++h) {
      double* v = values.data() + k * stride + 3 * h;
      v[0] = lake.hours[h].inflow;
      v[1] = lake.hours[h].outflow;
      v[2] = lake.hours[h].level;
    }
  }
  hooks_.gatherLakes(values, cells, stride);
  if (!hooks_.leads()) return;
  for (std::size_t k = 0; k < states_.lakes.size(); ++k) {
    for (std::size_t h = 0; h < hours; ++h) {
      const double* v = values.data() + k * stride + 3 * h;
      states_.lakes[k].hours[h] = {static_cast<float>(v[0]), static_cast<float>(v[1]),
                                   static_cast<float>(v[2])};
    }
  }
}

std::vector<double> Simulation::lakeStorages() {
  std::vector<double> storages(states_.lakes.size(), 0.0);
  std::vector<std::int32_t> cells;
  for (std::size_t k = 0; k < states_.lakes.size(); ++k) {
    cells.push_back(states_.lakes[k].cell);
    if (states_.slotOfCell[states_.lakes[k].cell] >= 0) {
      storages[k] = states_.lakes[k].state.storage;
    }
  }
  hooks_.gatherLakes(storages, cells, 1);
  return storages;
}

Status Simulation::advance(std::int64_t hours) {
  if (stage_ != Stage::kRouting) {
    return Status::invalid(stage_ == Stage::kNew ? "The run is not initialized: nothing to route."
                           : stage_ == Stage::kFailed
                               ? "The run stopped at a failure: nothing to route."
                               : "The run routes no more hours.");
  }
  const std::int64_t left = totalHours() - hoursDone_;
  if (hours < 0 || hours > left) {
    return Status::invalid("Cannot route " + std::to_string(hours) + " hours: the run has " +
                           std::to_string(left) + " of its " + std::to_string(totalHours()) +
                           " hours left.");
  }
  while (hours > 0) {
    const std::int32_t span = static_cast<std::int32_t>(
        std::min<std::int64_t>(hours, static_cast<std::int64_t>(windowDays_) * 24 - hourInWindow_));
    if (Status routed = routeSpan(span); !routed.ok()) {
      stage_ = Stage::kFailed;
      progress_.reset();
      return routed;
    }
    hours -= span;
  }
  if (hoursDone_ == totalHours()) progress_.reset();
  return {};
}

Status Simulation::routeSpan(std::int32_t hours) {
  const HourSpan span{windowFirstDay_, windowDays_, hourInWindow_, hours};
  // The group lines belong to the console of a run in one process; a distributed run writes
  // them all at the end, when every group is done.
  if (Status routed = router_->route(setUp_.inputs.rain, span, *grids_,
                                     remote_ == nullptr ? &console_ : nullptr,
                                     progress_ ? progress_->counter() : nullptr);
      !routed.ok()) {
    return hooks_.routingFailed(routed);
  }
  hoursDone_ += hours;
  hourInWindow_ += hours;
  lastHourInWindow_ = hourInWindow_ - 1;
  if (hourInWindow_ < windowDays_ * 24) return {};
  // The window is complete: its grids go to every output, and every process agrees on how
  // that went.
  if (!states_.lakes.empty() && remote_ != nullptr) gatherLakeHours();
  Status written;
  for (const auto& sink : sinks_) {
    if (written = sink->take(*grids_, windowFirstDay_); !written.ok()) break;
  }
  if (written = hooks_.agree(written); !written.ok()) return written;
  const std::int32_t next = windowFirstDay_ + windowDays_;
  if (next > setUp_.params.days) return {};
  if (Status read = readWindowInputs(next); !read.ok()) return hooks_.routingFailed(read);
  return {};
}

std::span<const float> Simulation::lastHour() const {
  if (!grids_ || lastHourInWindow_ < 0 || !grids_->keepsEveryHour()) return {};
  return grids_->hour(lastHourInWindow_);
}

float Simulation::lastHourAt(std::size_t position) const {
  return grids_->hourly(lastHourInWindow_, position);
}

std::int32_t Simulation::nextDay() const { return windowFirstDay_ + hourInWindow_ / 24; }
std::int32_t Simulation::nextHourOfDay() const { return hourInWindow_ % 24; }

Status Simulation::finalize() {
  if (stage_ != Stage::kRouting) {
    return Status::invalid(
        stage_ == Stage::kNew      ? "The run is not initialized: nothing to finalize."
        : stage_ == Stage::kFailed ? "The run stopped at a failure: nothing to finalize."
                                   : "The run is finalized already.");
  }
  if (hoursDone_ != totalHours()) {
    return Status::invalid("The run has " + std::to_string(totalHours() - hoursDone_) + " of its " +
                           std::to_string(totalHours()) + " hours left to route.");
  }
  stage_ = Stage::kFailed;  // until every step below has succeeded
  progress_.reset();
  router_->finishGroupLines(console_);
  console_ << '\n' << "Runoff simulation ends." << '\n';
  for (const auto& sink : sinks_) {
    for (const std::string& path : sink->paths()) console_ << "Write " << path << '\n';
  }
  // Files are published once every process has closed them.
  if (Status s = hooks_.agree(finishOutputs()); !s.ok()) return s;
  // Each process holds the state of its own cells; the leader gathers them.
  CellStates cells = finalStates();
  std::vector<double> lakeStorage;
  if (options_.stateOut) {
    hooks_.gatherStates(cells, routedCells_);
    lakeStorage = lakeStorages();
  }
  if (Status s = onLeader([&] { return publishOutputs(cells, lakeStorage); }); !s.ok()) return s;
  reportBudget();
  stage_ = Stage::kFinalized;
  return {};
}

Status Simulation::finishOutputs() {
  for (const auto& sink : sinks_) {
    if (Status finished = sink->finish(); !finished.ok()) return finished;
  }
  return {};
}

CellStates Simulation::finalStates() const {
  // The values of the routed cells this process holds, ascending cells (the others' 0). What
  // else a cell or a lake carries to a continued run joins them here.
  CellStates cells{setUp_.params.spaceSteps, lossStateValues(), {}, soilStateValues()};
  cells.values.assign(routedCells_.size() * cells.stride(), 0.0);
  collectCellStates(routedCells_, states_, cells);
  return cells;
}

Status Simulation::publishOutputs(const CellStates& cells, const std::vector<double>& lakeStorage) {
  // The state of --state-out from every routed cell's values, then the finished outputs, the
  // VRTs and the state under their final names, in that order; the raw files not asked for
  // that an earlier run left are removed.
  std::unique_ptr<AtomicFile> state;
  if (options_.stateOut) {
    Result<std::unique_ptr<AtomicFile>> written =
        writeRunState(*options_.stateOut, key_, daysBefore_ + setUp_.params.days, routedCells_,
                      cells, lakeStorage);
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

void Simulation::reportBudget() {
  if (!waterBudget_) return;
  // The water each process's tasks counted, summed on the leader, which prints the table.
  std::vector<double> volumes = waterBudget_->taskVolumes(states_);
  hooks_.gatherBudget(volumes);
  if (hooks_.leads()) {
    writeBudgetReport(console_, options_.scheme, waterBudget_->close(volumes),
                      options_.losses.method != LossMethod::kNone, !states_.lakes.empty());
  }
}

}  // namespace runoff
