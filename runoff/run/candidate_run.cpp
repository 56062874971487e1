#include "runoff/run/candidate_run.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <new>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "common/input_file.h"
#include "runoff/evaluation/discharge_series.h"
#include "runoff/inputs/calc_order.h"
#include "runoff/inputs/gauge_list.h"
#include "runoff/inputs/grid_geometry.h"
#include "runoff/inputs/loss_grids.h"
#include "runoff/inputs/rain_grid.h"
#include "runoff/inputs/rain_mapping.h"
#include "runoff/inputs/release_series.h"
#include "runoff/inputs/topo_grid.h"
#include "runoff/output/discharge_output.h"
#include "runoff/routing/routing_plan.h"
#include "runoff/routing/routing_setup.h"
#include "runoff/routing/window_router.h"
#include "runoff/run/run_inputs.h"
#include "runoff/run/run_set_up.h"

namespace runoff {

// What every evaluation shares, read-only once made.
struct CandidateRun::SetUp {
  // A whole run's set-up: its inputs.topo's routed cells have their rainCell index `rain`,
  // its plan covers every routed cell, and its lossGrids are as read (an evaluation scales its
  // own copy).
  RunSetUp run;
  RoutingPlan plan;                    // of the cells upstream of the scored gauges
  std::vector<std::uint8_t> routed;    // per grid cell: in `plan`
  RainGrid rain;                       // the whole run, only the rain cells routed cells use
  PetGrid pet;                         // with soil and input/pet.dat: the same cells' PET
  PetSource petSource;                 // with soil: `pet`, or a constant
  RoutingStates terrain;               // the routed cells with their terrain's constants
  std::int32_t scoredDays = 0;         // the days up to the last scored hour: all a score needs
  std::vector<std::size_t> positions;  // per scored gauge, in a window grid
  std::vector<std::vector<std::int32_t>> upstream;  // per scored gauge, its routed cells
  // The lakes of the lake list (in `terrain`, those on routed cells found from their slots),
  // and the release in force in each hour of the run of each lake of the releases rule.
  std::vector<Lake> lakeList;
  std::vector<std::vector<double>> releases;
};

// What one thread routes a candidate with, kept from one candidate to the next.
struct CandidateRun::Workspace {
  explicit Workspace(const SetUp& setUp)
      : states(setUp.terrain),
        grids(std::vector<float>(setUp.run.inputs.topo.cells.size(), 0.0f), setUp.run.windowDays),
        losses(setUp.run.lossGrids),
        soil(setUp.run.soilGrids) {}
  RoutingStates states;
  WindowGrids grids;
  LossGrids losses;  // the candidate's scaled loss grids, on the routed cells
  SoilGrids soil;    // and soil grids
  std::vector<std::vector<float>> series;
  GaugePairs pairs;
  EvaluationTimes times;
};

CandidateRun::CandidateRun() : setUp_(std::make_unique<SetUp>()) {}
CandidateRun::~CandidateRun() = default;

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Grid index (rows from the north) of a placed gauge's cell.
std::int32_t gridIndex(const TopoGrid& topo, const SnappedGauge& gauge) {
  return topo.index(topo.rows - 1 - gauge.cell.row, gauge.cell.col);
}

// The rain of the whole run for the rain cells `used` marks, numbered in their order; `compact`
// receives each rain cell's new number (-1 when unused).
Result<RainGrid> readUsedRain(const RunParameters& params, const std::vector<std::uint8_t>& used,
                              std::vector<std::int32_t>& compact) {
  RainGrid rain;
  rain.rows = 1;
  rain.firstDay = 1;
  rain.days = params.days;
  compact.assign(used.size(), -1);
  for (std::size_t c = 0; c < used.size(); ++c) {
    if (used[c]) compact[c] = rain.cols++;
  }
  rain.cells.resize(static_cast<std::size_t>(rain.cols));
  rain.hourlyRain.assign(
      static_cast<std::size_t>(rain.cols) * (static_cast<std::size_t>(rain.days) + 1) * 24, 0.0f);
  std::ifstream in;
  if (Status opened = openRainfallFile(in); !opened.ok()) return opened;
  RainReader reader(in, params.rainRows, params.rainCols);
  for (std::int32_t day = 1; day <= params.days && !reader.ended(); ++day) {
    Status read = reader.readDay([&](std::int32_t hour, std::int32_t cell, float value) {
      if (compact[cell] >= 0) rain.hourlyRain[rain.rainIndex(compact[cell], day, hour)] = value;
    });
    if (!read.ok()) return read;
  }
  return rain;
}

// The PET of input/pet.dat over the whole run for the rain cells `compact` numbers (as
// readUsedRain), after a check of the whole file as runoff-sim makes it.
Result<PetGrid> readUsedPet(const RunParameters& params, const std::vector<std::int32_t>& compact,
                            std::int32_t usedCells) {
  std::ifstream in;
  if (openInputFile(in, kPetPath) != InputFault::kNone) {
    return Status::cannotOpen(std::string(kPetPath) + " cannot be opened.");
  }
  if (Status checked = checkPet(in, params.rainRows, params.rainCols, params.days, rainFileStart());
      !checked.ok()) {
    return checked;
  }
  in.clear();
  in.seekg(0);
  PetGrid pet = buildPetGrid(1, usedCells, params.days);
  pet.days = params.days;
  PetReader reader(in, params.rainRows, params.rainCols, params.days);
  for (std::int32_t day = 1; day <= params.days; ++day) {
    Status read = reader.readDay([&](std::int32_t hour, std::int32_t cell, float value) {
      if (compact[cell] >= 0) pet.hourlyPet[pet.petIndex(compact[cell], day, hour)] = value;
    });
    if (!read.ok()) return read;
  }
  return pet;
}

}  // namespace

Result<std::unique_ptr<CandidateRun>> CandidateRun::create(const CandidateRunOptions& options,
                                                           std::ostream& console) {
  std::unique_ptr<CandidateRun> run(new CandidateRun());
  run->options_ = options;
  SetUp& setUp = *run->setUp_;
  RunSetUp& whole = setUp.run;
  std::ostream silent(nullptr);  // the set-up's steps echo nothing here but the gauges

  if (Status read = whole.readParameters(silent); !read.ok()) return read;
  run->params_ = whole.params;
  Result<RunStart> start = findRunStart(options.start, kRainfallPath);
  if (!start.ok()) return start.status();
  run->start_ = start->time;

  // The observed gauges, each in the gauge list, and the observed values they are scored on.
  Result<std::vector<Gauge>> gauges = readGauges(options.gaugesPath);
  if (!gauges.ok()) return gauges.status();
  Result<DischargeSeries> observed = readDischargeSeries(options.observedPath);
  if (!observed.ok()) return observed.status();
  std::vector<std::size_t> listed;
  for (const std::string& name : observed->gauges) {
    const auto at = std::find_if(gauges->begin(), gauges->end(),
                                 [&](const Gauge& g) { return g.name == name; });
    if (at == gauges->end()) {
      return Status::invalid("Gauge \"" + name + "\" of " + options.observedPath + " is not in " +
                             options.gaugesPath + ".");
    }
    listed.push_back(static_cast<std::size_t>(at - gauges->begin()));
  }
  const ScoredPeriod period{options.warmUpHours, std::nullopt, std::nullopt};
  PairCounts counts;
  std::vector<std::vector<double>> observedValues;
  for (const std::vector<TimedValue>& values : observed->values) {
    run->observed_.push_back(observedHours(values, run->start_, run->hours(), period, counts));
    observedValues.emplace_back();
    for (const ObservedHour& o : run->observed_.back())
      observedValues.back().push_back(o.discharge);
  }
  run->names_ = observed->gauges;
  if (Status scorable = checkScorable(run->names_, observedValues, period); !scorable.ok()) {
    return scorable;
  }

  // The grids and the selection (the rain is read below, whole, for the cells routed), the
  // loss grids, then every gauge placed on them; the ties to the rain cells once all is
  // accepted.
  if (Status loaded = whole.loadInputs(RainTies::kSupplied, 1, silent); !loaded.ok()) {
    return loaded;
  }
  if (Status losses = whole.loadLossGrids(options.losses.method); !losses.ok()) return losses;
  for (const Tunable* t : options.tunables) {
    if (t->kind != TunableKind::kLossGridFactor) continue;
    const auto grid = static_cast<LossGrid>(t->lossGrid);
    const std::string file = std::string("./topoData/") + kLossGrids[grid].file;
    if (!readsLossGrid(options.losses.method, grid)) {
      return Status::invalid(std::string("Parameter ") + t->name + " scales " + file +
                             ", which --losses " + lossMethodName(options.losses.method) +
                             " does not read.");
    }
    if (setUp.run.lossGrids.values[grid].empty()) {
      return Status::invalid(std::string("Parameter ") + t->name + " scales " + file +
                             ", which is absent.");
    }
  }
  if (Status soil = whole.loadSoilGrids(options.soil); !soil.ok()) return soil;
  for (const Tunable* t : options.tunables) {
    if ((t->kind == TunableKind::kSoilGridFactor || t->kind == TunableKind::kSoilRule) &&
        !options.soil) {
      return Status::invalid(std::string("Parameter ") + t->name +
                             " belongs to the soil and groundwater stores: give --soil.");
    }
  }
  Result<std::vector<SnappedGauge>> snapped = whole.placeGauges(*gauges, options.snap, console);
  if (!snapped.ok()) return snapped.status();
  for (std::size_t k : listed) run->placed_.push_back((*snapped)[k]);

  std::int64_t scored = 0;
  for (const std::vector<ObservedHour>& hours : run->observed_) {
    scored += static_cast<std::int64_t>(hours.size());
  }
  console << "Observed: " << options.observedPath << ", " << observed->count << " values of "
          << observed->gauges.size() << (observed->gauges.size() == 1 ? " gauge" : " gauges")
          << ": " << scored << " scored; " << counts.observedMissing << " missing, "
          << counts.outsideRun << " outside the run, " << counts.offHour << " between hours, "
          << counts.leftOut << " in the warm-up\n";

  // The mapping and the order, then only the cells upstream of the scored gauges.
  if (Status mapped = whole.tieCellsToRain(silent); !mapped.ok()) return mapped;
  if (Status ordered = whole.obtainOrder(silent); !ordered.ok()) return ordered;
  whole.planRouting();
  TopoGrid& topo = whole.inputs.topo;
  run->allRouted_ = whole.plan.size();
  std::vector<std::int32_t> taskOfCell(topo.cells.size(), -1);
  for (std::int32_t t = 0; t < whole.plan.size(); ++t) taskOfCell[whole.plan.cell[t]] = t;
  setUp.routed.assign(topo.cells.size(), 0);
  std::vector<std::int32_t> stack;
  for (const SnappedGauge& gauge : run->placed_) {
    setUp.positions.push_back(gauge.position);
    std::vector<std::int32_t>& cells = setUp.upstream.emplace_back();
    if (const std::int32_t task = taskOfCell[gridIndex(topo, gauge)]; task >= 0) {
      stack.push_back(task);
    }
    while (!stack.empty()) {
      const std::int32_t t = stack.back();
      stack.pop_back();
      cells.push_back(whole.plan.cell[t]);
      setUp.routed[whole.plan.cell[t]] = 1;
      for (std::int32_t f : whole.plan.feedersOf(t)) stack.push_back(f);
    }
  }
  setUp.plan = planRouting(topo, setUp.run.order, setUp.routed);
  for (const std::vector<ObservedHour>& hours : run->observed_) {
    for (const ObservedHour& o : hours) {
      setUp.scoredDays = std::max(setUp.scoredDays, static_cast<std::int32_t>(o.hour / 24 + 1));
    }
  }
  console << "Routed cells: " << setUp.plan.size() << " of " << run->allRouted_
          << ", those upstream of the scored gauges\n";

  // Their rainfall, the whole run in memory.
  std::vector<std::uint8_t> usedRain(whole.inputs.rain.cells.size(), 0);
  for (std::int32_t cell : setUp.plan.cell) usedRain[topo.cells[cell].rainCell] = 1;
  std::vector<std::int32_t> compact;
  Result<RainGrid> rain = readUsedRain(run->params_, usedRain, compact);
  if (!rain.ok()) return rain.status();
  setUp.rain = std::move(rain).value();
  if (options.soil) {
    std::error_code error;
    if (options.petMmPerDay) {
      setUp.petSource.constantMmPerHour = *options.petMmPerDay / 24;
    } else if (std::filesystem::exists(kPetPath, error)) {
      Result<PetGrid> pet = readUsedPet(run->params_, compact, setUp.rain.cols);
      if (!pet.ok()) return pet.status();
      setUp.pet = std::move(pet).value();
      setUp.petSource.grid = &setUp.pet;
    }
  }
  for (GridCell& cell : topo.cells) {
    cell.rainCell = cell.rainCell >= 0 ? compact[cell.rainCell] : kNoCell;
  }
  setUp.terrain = setUpRouting(topo, run->params_, &setUp.routed);
  if (Status lakes = run->setUpLakes(console); !lakes.ok()) return lakes;
  return run;
}

Status CandidateRun::setUpLakes(std::ostream& console) {
  SetUp& setUp = *setUp_;
  for (const Tunable* t : options_.tunables) {
    if (t->kind == TunableKind::kLakeConstant && !options_.lakes) {
      return Status::invalid(std::string("Parameter ") + t->name +
                             " is a constant of a lake: give the lake list with --lakes.");
    }
  }
  if (!options_.lakes) return {};
  Result<std::vector<Lake>> listed = readLakes(*options_.lakes);
  if (!listed.ok()) return listed.status();
  setUp.lakeList = std::move(listed).value();
  for (const Tunable* t : options_.tunables) {
    if (t->kind != TunableKind::kLakeConstant) continue;
    const auto at = std::find_if(setUp.lakeList.begin(), setUp.lakeList.end(),
                                 [&](const Lake& lake) { return lake.name == t->lake; });
    if (at == setUp.lakeList.end()) {
      return Status::invalid(std::string("Parameter ") + t->name + ": lake \"" + t->lake +
                             "\" is not in " + *options_.lakes + ".");
    }
    if (t->lakeB && at->rule != LakeRule::kWeir) {
      return Status::invalid(std::string("Parameter ") + t->name + ": lake \"" + t->lake +
                             "\" has the " + lakeRuleName(at->rule) +
                             " rule, which has no b (only a weir's level has an exponent).");
    }
  }
  Result<std::vector<std::int32_t>> cells =
      setUp.run.placeLakes(setUp.lakeList, options_.snap, console);
  if (!cells.ok()) return cells.status();
  ReleaseSeries series;
  series.values.assign(setUp.lakeList.size(), {});
  if (options_.releases) {
    Result<ReleaseSeries> read = readReleases(*options_.releases, setUp.lakeList);
    if (!read.ok()) return read.status();
    series = std::move(read).value();
  }
  RoutingStates& terrain = setUp.terrain;
  terrain.lakeOfSlot.assign(terrain.states.size(), -1);
  const std::size_t windowHours = static_cast<std::size_t>(setUp.run.windowDays) * 24;
  setUp.releases.resize(setUp.lakeList.size());
  for (std::size_t k = 0; k < setUp.lakeList.size(); ++k) {
    RoutedLake lake;
    lake.parameters = setUp.lakeList[k].parameters();
    lake.cell = (*cells)[k];
    lake.hours.assign(windowHours, LakeHour{});
    if (options_.soil) lake.evaporation.assign(windowHours, 0.0);
    if (lake.parameters.rule == LakeRule::kReleases) {
      lake.release.assign(windowHours, 0.0);
      for (std::int64_t h = 0; h < hours(); ++h) {
        setUp.releases[k].push_back(
            releaseInForce(series.values[k], start_ + std::chrono::hours(h)).value_or(0.0));
      }
    }
    if (const std::int32_t slot = terrain.slotOfCell[lake.cell]; slot >= 0) {
      terrain.lakeOfSlot[slot] = static_cast<std::int32_t>(k);
    }
    terrain.lakes.push_back(std::move(lake));
  }
  return {};
}

std::vector<double> CandidateRun::startingValues() const {
  std::vector<double> values;
  for (const Tunable* t : options_.tunables) {
    values.push_back(tunableValue(params_, *t, options_.soilRule));
    if (t->kind != TunableKind::kLakeConstant) continue;
    for (const Lake& lake : setUp_->lakeList) {
      if (lake.name == t->lake) values.back() = t->lakeB ? lake.b : lake.a;
    }
  }
  return values;
}

const std::vector<Lake>& CandidateRun::lakeList() const { return setUp_->lakeList; }

std::int64_t CandidateRun::routedCells() const { return setUp_->plan.size(); }

RunParameters CandidateRun::parameters(const std::vector<double>& values) const {
  RunParameters p = params_;
  for (std::size_t k = 0; k < options_.tunables.size(); ++k) {
    setTunable(p, *options_.tunables[k], values[k]);
  }
  return p;
}

Status CandidateRun::route(const std::vector<double>& values, Workspace& workspace, int threads,
                           std::int32_t lastDay, std::vector<std::vector<float>>& series) {
  const SetUp& setUp = *setUp_;
  Clock::time_point started = Clock::now();
  setUpParameters(workspace.states, setUp.run.inputs.topo, parameters(values));
  startFromDryHour(workspace.states);
  for (std::size_t k = 0; k < options_.tunables.size(); ++k) {
    const Tunable& t = *options_.tunables[k];
    if (t.kind != TunableKind::kLossGridFactor) continue;
    const auto grid = static_cast<LossGrid>(t.lossGrid);
    const std::vector<float>& base = setUp.run.lossGrids.values[grid];
    std::vector<float>& scaled = workspace.losses.values[grid];
    for (std::int32_t cell : setUp.plan.cell)
      scaled[cell] = scaledLossValue(grid, base[cell], values[k]);
  }
  startLossStates(workspace.states, setUp.run.inputs.topo, workspace.losses);
  SoilRule soilRule = options_.soilRule;
  if (options_.soil) {
    for (std::size_t k = 0; k < options_.tunables.size(); ++k) {
      const Tunable& t = *options_.tunables[k];
      setSoilTunable(soilRule, t, values[k]);
      if (t.kind != TunableKind::kSoilGridFactor) continue;
      const auto grid = static_cast<SoilGrid>(t.soilGrid);
      const std::vector<float>& base = setUp.run.soilGrids.values[grid];
      std::vector<float>& scaled = workspace.soil.values[grid];
      for (std::int32_t cell : setUp.plan.cell) {
        scaled[cell] = scaledSoilValue(grid, base[cell], values[k]);
      }
    }
    startSoilStates(workspace.states, setUp.run.inputs.topo, workspace.soil, soilRule);
  }
  // Every lake from its start level, with the candidate's constants.
  for (std::size_t k = 0; k < workspace.states.lakes.size(); ++k) {
    RoutedLake& lake = workspace.states.lakes[k];
    lake.parameters = setUp.lakeList[k].parameters();
    lake.state = LakeState{setUp.lakeList[k].startStorage()};
    for (std::size_t j = 0; j < options_.tunables.size(); ++j) {
      const Tunable& t = *options_.tunables[j];
      if (t.kind != TunableKind::kLakeConstant || setUp.lakeList[k].name != t.lake) continue;
      (t.lakeB ? lake.parameters.b : lake.parameters.a) = values[j];
    }
  }
  workspace.times.parameters += secondsSince(started);

  started = Clock::now();
  const RoutingRun routing{setUp.run.inputs.topo,
                           setUp.run.order,
                           setUp.plan,
                           params_.subSteps,
                           options_.scheme,
                           options_.losses,
                           &workspace.losses,
                           options_.power,
                           options_.soil ? &workspace.soil : nullptr,
                           soilRule,
                           setUp.petSource};
  WindowRouter router(routing, workspace.states, threads, setUp.run.windowDays);
  series.assign(placed_.size(), std::vector<float>(static_cast<std::size_t>(hours())));
  for (std::int32_t first = 1; first <= lastDay; first += setUp.run.windowDays) {
    const std::int32_t days = std::min(setUp.run.windowDays, lastDay - first + 1);
    const std::size_t firstHourOfWindow = static_cast<std::size_t>(first - 1) * 24;
    for (std::size_t k = 0; k < workspace.states.lakes.size(); ++k) {
      std::vector<double>& release = workspace.states.lakes[k].release;
      for (std::size_t h = 0; h < release.size(); ++h) {
        const std::size_t at = firstHourOfWindow + h;
        release[h] = at < setUp.releases[k].size() ? setUp.releases[k][at] : 0.0;
      }
    }
    setLakeEvaporation(workspace.states.lakes, setUp.run.inputs.topo, setUp.petSource, first, days);
    if (Status routed = router.route(setUp.rain, first, days, workspace.grids, nullptr);
        !routed.ok()) {
      return routed;
    }
    const std::size_t firstHour = static_cast<std::size_t>(first - 1) * 24;
    for (std::size_t g = 0; g < placed_.size(); ++g) {
      for (std::int32_t h = 0; h < days * 24; ++h) {
        series[g][firstHour + static_cast<std::size_t>(h)] =
            workspace.grids.hour(h)[setUp.positions[g]];
      }
    }
  }
  workspace.times.routing += secondsSince(started);
  return {};
}

Result<std::vector<CandidateScores>> CandidateRun::evaluate(
    std::span<const std::vector<double>> candidates, int threads) {
  const std::size_t n = candidates.size();
  const int workers = std::max(1, std::min(threads, static_cast<int>(n)));
  const int routerThreads = std::max(1, threads / workers);
  while (static_cast<int>(workspaces_.size()) < workers) {
    workspaces_.push_back(std::make_unique<Workspace>(*setUp_));
  }
  std::vector<CandidateScores> results(n);
  std::atomic<std::size_t> next{0};
  std::mutex failureMutex;
  Status failure;
  auto work = [&](Workspace& workspace) {
    try {
      for (std::size_t c = next++; c < n; c = next++) {
        if (Status routed = route(candidates[c], workspace, routerThreads, setUp_->scoredDays,
                                  workspace.series);
            !routed.ok()) {
          std::lock_guard lock(failureMutex);
          if (failure.ok()) failure = routed;
          return;
        }
        const Clock::time_point started = Clock::now();
        CandidateScores& scores = results[c];
        for (std::size_t g = 0; g < placed_.size(); ++g) {
          pairWithSimulated(observed_[g], workspace.series[g], workspace.pairs);
          scores.gauges.push_back(scoreSeries(workspace.pairs.observed, workspace.pairs.simulated,
                                              workspace.pairs.hours));
        }
        scores.mean = meanScores(scores.gauges);
        workspace.times.scoring += secondsSince(started);
      }
    } catch (const std::exception& error) {
      std::lock_guard lock(failureMutex);
      if (failure.ok()) {
        failure = dynamic_cast<const std::bad_alloc*>(&error) != nullptr
                      ? Status::ioError(kOutOfMemory)
                      : Status::ioError(std::string("Evaluation stopped: ") + error.what());
      }
    }
  };
  std::vector<std::thread> pool;
  try {
    for (int w = 1; w < workers; ++w) pool.emplace_back(work, std::ref(*workspaces_[w]));
  } catch (const std::system_error&) {
    // The system refused another thread: the candidates go to those already running.
  }
  work(*workspaces_[0]);
  for (std::thread& thread : pool) thread.join();
  if (!failure.ok()) return failure;
  return results;
}

Result<std::vector<std::vector<float>>> CandidateRun::gaugeSeries(const std::vector<double>& values,
                                                                  int threads) {
  if (workspaces_.empty()) workspaces_.push_back(std::make_unique<Workspace>(*setUp_));
  std::vector<std::vector<float>> series;
  if (Status routed = route(values, *workspaces_[0], std::max(1, threads), params_.days, series);
      !routed.ok()) {
    return routed;
  }
  return series;
}

std::vector<float> CandidateRun::scaledLossGrid(const Tunable& tunable, double factor) const {
  const SetUp& setUp = *setUp_;
  const auto grid = static_cast<LossGrid>(tunable.lossGrid);
  const std::vector<float>& base = setUp.run.lossGrids.values[grid];
  std::vector<float> file(base.size());
  for (std::size_t i = 0; i < base.size(); ++i) {
    file[filePosition(setUp.run.inputs.topo, static_cast<std::int32_t>(i))] =
        setUp.run.inputs.selected[i] ? scaledLossValue(grid, base[i], factor) : base[i];
  }
  return file;
}

std::vector<float> CandidateRun::scaledSoilGrid(const Tunable& tunable, double factor) const {
  const SetUp& setUp = *setUp_;
  const auto grid = static_cast<SoilGrid>(tunable.soilGrid);
  const std::vector<float>& base = setUp.run.soilGrids.values[grid];
  std::vector<float> file(base.size());
  for (std::size_t i = 0; i < base.size(); ++i) {
    file[filePosition(setUp.run.inputs.topo, static_cast<std::int32_t>(i))] =
        setUp.run.inputs.selected[i] ? scaledSoilValue(grid, base[i], factor) : base[i];
  }
  return file;
}

std::vector<std::vector<double>> CandidateRun::upstreamRain() const {
  const SetUp& setUp = *setUp_;
  std::vector<std::vector<double>> rain;
  for (const std::vector<std::int32_t>& cells : setUp.upstream) {
    std::vector<double>& mean = rain.emplace_back(static_cast<std::size_t>(hours()), 0.0);
    for (std::int64_t h = 0; h < hours(); ++h) {
      const auto day = static_cast<std::int32_t>(h / 24 + 1);
      const auto hour = static_cast<std::int32_t>(h % 24);
      double sum = 0;
      for (std::int32_t cell : cells)
        sum += setUp.rain.rain(setUp.run.inputs.topo.cells[cell].rainCell, day, hour);
      if (!cells.empty())
        mean[static_cast<std::size_t>(h)] = sum / static_cast<double>(cells.size());
    }
  }
  return rain;
}

EvaluationTimes CandidateRun::times() const {
  EvaluationTimes total;
  for (const auto& w : workspaces_) {
    total.parameters += w->times.parameters;
    total.routing += w->times.routing;
    total.scoring += w->times.scoring;
  }
  return total;
}

}  // namespace runoff
