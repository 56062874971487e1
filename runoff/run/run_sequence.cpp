#include "runoff/run/run_sequence.h"

#include <unistd.h>

#include <algorithm>
#include <string>

#include "common/input_file.h"
#include "runoff/inputs/rain_grid.h"
#include "runoff/output/discharge_output.h"
#include "runoff/output/discharge_vrt.h"
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

Status RunSequence::checkRoutingMemory() {
  console_ << "Setting parameter data." << '\n';
  return runoff::checkRoutingMemory(inputs_.topo, params_, windowDays_, memory_,
                                    options_.waterBudget);
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
  if (stored) {
    applyCellStates(stored->cells, routedCells_, states_);
    daysBefore_ = stored->daysBefore;
    console_ << "Start from state " << *options_.stateIn
             << " (simulated days before it: " << daysBefore_ << ")." << '\n';
  } else {
    startFromDryHour(states_);
  }
  if (options_.waterBudget) {
    waterBudget_.emplace(inputs_.topo, plan_, inputs_.rivers.riverNums, states_);
  }
}

Status RunSequence::openOutputs() {
  if (Status writable = checkOutputDirectory(); !writable.ok()) return writable;
  if (Status space = checkOutputSpace(params_); !space.ok()) return space;
  // Every place a file of this run must take is checked before hours of routing, so that a
  // run is never refused after some of its files were published.
  if (Status views = checkDischargeVrtPaths(params_); !views.ok()) return views;
  if (options_.stateOut) {
    if (Status state = checkStateOutPath(*options_.stateOut); !state.ok()) return state;
  }
  Result<std::unique_ptr<DischargeWriter>> writer =
      DischargeWriter::create(kOutputDirectory, inputs_.topo.cells.size());
  if (!writer.ok()) return writer.status();
  writer_ = std::move(writer).value();
  return {};
}

Status RunSequence::routeWindows(const Distribution* distribution) {
  if (options_.scheme != Scheme::kClassic) {
    console_ << "Routing scheme: " << schemeName(options_.scheme) << '.' << '\n';
  }
  console_ << "Runoff simulation starts." << '\n';
  const RoutingRun routing{inputs_.topo, order_, plan_, params_.subSteps, options_.scheme};
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
    const std::vector<std::uint8_t> selected = selectedInFileOrder(inputs_.topo, inputs_.selected);
    WindowGrids grids(outputBackground(inputs_.topo, inputs_.selected), windowDays_);
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
      if (distribution != nullptr && distribution->gatherWindow) distribution->gatherWindow(grids);
      if (writer_) {
        if (Status written = appendWindow(*writer_, grids, selected); !written.ok()) return written;
      }
    }
  }
  router.finishGroupLines(console_);
  console_ << '\n' << "Runoff simulation ends." << '\n';
  for (DischargeFile file : kDischargeFiles) console_ << "Write " << outputPath(file) << '\n';
  return {};
}

CellStates RunSequence::finalStates() const {
  CellStates cells{params_.spaceSteps, {}};
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
  if (Status published = writer_->publish(); !published.ok()) return published;
  if (Status views = writeDischargeVrts(params_); !views.ok()) return views;
  if (state) return state->publish();
  return {};
}

std::vector<double> RunSequence::budgetVolumes() const {
  return waterBudget_ ? waterBudget_->taskVolumes(states_) : std::vector<double>();
}

void RunSequence::reportBudget(const std::vector<double>& taskVolumes) {
  if (waterBudget_) writeBudgetReport(console_, options_.scheme, waterBudget_->close(taskVolumes));
}

}  // namespace runoff
