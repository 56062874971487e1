#include "runoff_calibrate/calibration.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "common/atomic_file.h"
#include "common/binary_grid.h"
#include "common/input_file.h"
#include "common/params.h"
#include "runoff/inputs/loss_grids.h"
#include "runoff/inputs/soil_grids.h"
#include "runoff/routing/window_router.h"
#include "runoff/run/candidate_run.h"
#include "runoff_calibrate/calibration_files.h"
#include "runoff_calibrate/dds.h"
#include "runoff_calibrate/polish.h"
#include "runoff_calibrate/search_parameters.h"

namespace runoff {
namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

// The line on standard error that follows the search on a terminal, redrawn in place.
class SearchProgress {
 public:
  SearchProgress(std::int64_t evaluations, const char* objective)
      : shown_(isatty(STDERR_FILENO) == 1), evaluations_(evaluations), objective_(objective) {}
  ~SearchProgress() {
    if (shown_ && width_ > 0) std::fprintf(stderr, "\r%*s\r", static_cast<int>(width_), "");
  }
  void show(std::int64_t done, double best, double seconds) {
    if (!shown_) return;
    const std::string line = "  evaluation " + std::to_string(done) + " of " +
                             std::to_string(evaluations_) + "  best " + objective_ + " " +
                             fixed(best, 4) + "  " + fixed(done / std::max(seconds, 1e-9), 1) +
                             " evaluations/s";
    width_ = std::max(width_, line.size());
    std::fprintf(stderr, "\r%-*s", static_cast<int>(width_), line.c_str());
    std::fflush(stderr);
  }

 private:
  bool shown_;
  std::int64_t evaluations_;
  std::string objective_;
  std::size_t width_ = 0;
};

// Every evaluation in order, and the first best of them.
struct Trace {
  std::vector<std::vector<double>> values;  // as the model ran them
  std::vector<double> objectives;
  std::size_t best = 0;
  CandidateScores startScores;
  CandidateScores bestScores;

  void add(std::vector<double> v, double objective, const CandidateScores& scores) {
    values.push_back(std::move(v));
    objectives.push_back(objective);
    if (objectives.size() == 1) startScores = scores;
    if (objectives.size() == 1 || !atLeastAsGood(objectives[best], objective)) {
      best = objectives.size() - 1;
      bestScores = scores;
    }
  }
};

// The values the model runs with for search coordinates `x` (each kept in its range). A
// coordinate the search left at the start's keeps the start's value itself: the logarithm of a
// value turned back need not give the value to the last bit.
std::vector<double> modelValues(const std::vector<SearchParameter>& parameters,
                                const std::vector<double>& x, const std::vector<double>& start,
                                const std::vector<double>& startCoordinates) {
  std::vector<double> values;
  for (std::size_t j = 0; j < parameters.size(); ++j) {
    const SearchParameter& sp = parameters[j];
    const double value = x[j] == startCoordinates[j] ? start[j] : sp.fromSearch(x[j]);
    values.push_back(valueRunWith(*sp.tunable, std::clamp(value, sp.min, sp.max)));
  }
  return values;
}

std::string parameterList(const std::vector<SearchParameter>& parameters,
                          const std::vector<double>& values) {
  std::string text;
  for (std::size_t j = 0; j < parameters.size(); ++j) {
    text += (j == 0 ? "" : ", ") + std::string(parameters[j].tunable->name) + " " +
            shortestDecimal(values[j]);
  }
  return text;
}

// Refuses, before the search, a calibration whose results could not be written.
Status checkResultFolder() {
  namespace fs = std::filesystem;
  const std::string dir = kCalibrationDirectory;
  std::error_code error;
  if (fs::exists(dir, error) && !fs::is_directory(dir, error)) {
    return Status::invalid(dir + " is a file, not a folder: the results cannot be written there.");
  }
  const std::string where = fs::is_directory(dir, error) ? dir : std::string(".");
  if (access(where.c_str(), W_OK) != 0) {
    return Status::ioError("The folder " + where +
                           " does not accept files: the results of the "
                           "calibration cannot be written.");
  }
  return {};
}

// Writes `path` whole, or fails with its line.
template <typename Write>
Status writeWhole(const std::string& path, std::ostream& console, Write write) {
  console << "Write " << path << '\n';
  AtomicFile file(path);
  if (Status ready = file.ready(); !ready.ok()) return ready;
  write(file.stream());
  return file.commit();
}

// A calibration's steps, in the order they run and print: the set-up, the start, the search,
// the report of the best, the files of calibration/.
class Calibration {
 public:
  Calibration(const CalibrateOptions& options, std::ostream& console)
      : options_(options), console_(console), objectiveText_(objectiveName(options.objective)) {}

  /// The parameters searched, the result folder, the candidates' set-up and the parameter
  /// file's text: every refusal comes here, before the search.
  Status setUp();
  /// The start: the working directory's values, moved into the ranges searched.
  void placeStart();
  /// The start's evaluation, the global search in batches, then the local polish.
  Status search();
  /// The best point, its scores and the time the search took.
  void reportBest();
  /// The best parameter file, the scaled loss grids, the trace, the scores and the
  /// hydrographs of the start and the best.
  Status writeResults();

 private:
  Result<std::vector<double>> evaluate(const std::vector<std::vector<double>>& values);
  std::vector<double> modelValues(const std::vector<double>& x) const {
    return runoff::modelValues(parameters_, x, start_, startCoordinates_);
  }
  Status writeHydrographs(const std::vector<std::vector<float>>& startSeries,
                          const std::vector<std::vector<float>>& bestSeries);
  std::string simOptionsOfBest(const std::vector<double>& best) const;

  const CalibrateOptions& options_;
  std::ostream& console_;
  const char* objectiveText_;
  std::vector<SearchParameter> parameters_;
  std::unique_ptr<CandidateRun> run_;
  double setUpSeconds_ = 0;
  std::string parameterText_;  // the parameter file's, which the best one copies
  std::vector<double> start_, lower_, upper_, startCoordinates_;
  std::int64_t polishBudget_ = 0;
  std::int64_t globalBudget_ = 0;
  int threads_ = 1;
  Trace trace_;
  std::optional<SearchProgress> progress_;  // shown once the console's lines are written
  Clock::time_point searchStart_;
  double searchSeconds_ = 0;
};

Status Calibration::setUp() {
  Result<std::vector<SearchParameter>> read = readSearchParameters(options_.parameters);
  if (!read.ok()) return read.status();
  parameters_ = std::move(read).value();
  if (Status folder = checkResultFolder(); !folder.ok()) return folder;
  CandidateRunOptions runOptions = options_.run;
  for (const SearchParameter& p : parameters_) runOptions.tunables.push_back(p.tunable);
  const Clock::time_point setUpStart = Clock::now();
  Result<std::unique_ptr<CandidateRun>> created = CandidateRun::create(runOptions, console_);
  if (!created.ok()) return created.status();
  run_ = std::move(created).value();
  setUpSeconds_ = secondsSince(setUpStart);
  std::ifstream in;
  const std::string path = std::string("./") + kParameterFileName;
  if (const InputFault fault = openInputFile(in, path); fault != InputFault::kNone) {
    return inputFailure(path, fault);
  }
  std::ostringstream text;
  text << in.rdbuf();
  parameterText_ = text.str();
  return {};
}

void Calibration::placeStart() {
  start_ = run_->startingValues();
  for (std::size_t j = 0; j < parameters_.size(); ++j) {
    const SearchParameter& p = parameters_[j];
    if (start_[j] < p.min || start_[j] > p.max) {
      const double moved = std::clamp(start_[j], p.min, p.max);
      console_ << p.tunable->name << ": the parameter file's " << shortestDecimal(start_[j])
               << " lies outside " << shortestDecimal(p.min) << " to " << shortestDecimal(p.max)
               << "; the search starts from " << shortestDecimal(moved) << ".\n";
      start_[j] = moved;
    }
    lower_.push_back(p.toSearch(p.min));
    upper_.push_back(p.toSearch(p.max));
    startCoordinates_.push_back(std::clamp(p.toSearch(start_[j]), lower_.back(), upper_.back()));
  }
  // The start runs with the values themselves, not with their coordinates turned back.
  for (std::size_t j = 0; j < parameters_.size(); ++j) {
    start_[j] = valueRunWith(*parameters_[j].tunable, start_[j]);
  }
}

Result<std::vector<double>> Calibration::evaluate(const std::vector<std::vector<double>>& values) {
  Result<std::vector<CandidateScores>> scores = run_->evaluate(values, threads_);
  if (!scores.ok()) return scores.status();
  std::vector<double> objectives;
  for (std::size_t c = 0; c < values.size(); ++c) {
    objectives.push_back(objectiveValue((*scores)[c].mean, options_.objective));
    trace_.add(values[c], objectives.back(), (*scores)[c]);
  }
  if (progress_) {
    progress_->show(static_cast<std::int64_t>(trace_.values.size()), trace_.objectives[trace_.best],
                    secondsSince(searchStart_));
  }
  return objectives;
}

Status Calibration::search() {
  // A quarter of the evaluations finds the valley of the best point, the local search follows
  // it with the other three quarters: the parameters of a routing model trade against each
  // other along narrow valleys, where quadratic models beat random perturbations.
  const std::int64_t polishShare = options_.evaluations * 3 / 4;
  polishBudget_ = polishShare >= minimumPolishEvaluations(parameters_.size()) ? polishShare : 0;
  globalBudget_ = options_.evaluations - polishBudget_;
  threads_ = routingThreads();
  if (options_.run.losses.method != LossMethod::kNone) {
    console_ << "Rainfall losses: " << lossMethodName(options_.run.losses.method) << ".\n";
  }
  if (options_.run.soil) console_ << "Soil and groundwater stores.\n";
  console_ << "Search: " << parameters_.size()
           << (parameters_.size() == 1 ? " parameter, " : " parameters, ") << options_.evaluations
           << " evaluations (" << globalBudget_
           << " by dynamically dimensioned search in batches of " << options_.batch << ", "
           << polishBudget_ << " by local search), objective " << objectiveText_ << ", seed "
           << options_.seed << '\n';

  searchStart_ = Clock::now();
  Result<std::vector<double>> first = evaluate({start_});
  if (!first.ok()) return first.status();
  console_ << "Start: " << objectiveText_ << " " << fixed(first->front(), 6) << " at "
           << parameterList(parameters_, start_) << '\n';
  console_.flush();
  progress_.emplace(options_.evaluations, objectiveText_);
  DdsSearch dds(lower_, upper_, startCoordinates_, first->front(), globalBudget_, options_.seed);
  while (dds.used() < dds.budget()) {
    const std::vector<std::vector<double>> batch = dds.nextBatch(options_.batch);
    std::vector<std::vector<double>> values;
    for (const std::vector<double>& x : batch) values.push_back(modelValues(x));
    Result<std::vector<double>> objectives = evaluate(values);
    if (!objectives.ok()) return objectives.status();
    dds.tell(batch, *objectives);
  }
  if (polishBudget_ > 0) {
    const PointObjective one = [&](const std::vector<double>& x) -> Result<double> {
      Result<std::vector<double>> objective = evaluate({modelValues(x)});
      if (!objective.ok()) return objective.status();
      return objective->front();
    };
    if (Status polished = polish(lower_, upper_, dds.best(), polishBudget_, one); !polished.ok()) {
      return polished;
    }
  }
  searchSeconds_ = secondsSince(searchStart_);
  progress_.reset();
  return {};
}

void Calibration::reportBest() {
  const std::int64_t evaluations = static_cast<std::int64_t>(trace_.values.size());
  const std::vector<double>& best = trace_.values[trace_.best];
  const EvaluationTimes times = run_->times();
  console_ << "Best: " << objectiveText_ << " " << fixed(trace_.objectives[trace_.best], 6)
           << " at evaluation " << trace_.best + 1 << " of " << evaluations << '\n';
  for (std::size_t j = 0; j < parameters_.size(); ++j) {
    console_ << "  " << parameters_[j].tunable->name << " " << shortestDecimal(best[j]) << '\n';
  }
  console_ << '\n';
  writeScoresTable(console_, run_->gauges(), trace_.bestScores.gauges, trace_.bestScores.mean);
  console_ << '\n'
           << "Evaluations: " << evaluations << " in " << fixed(searchSeconds_, 1) << " s on "
           << threads_ << (threads_ == 1 ? " thread, " : " threads, ")
           << fixed(evaluations / std::max(searchSeconds_, 1e-9), 2) << " per second\n"
           << "Time per evaluation: parameters " << fixed(1000 * times.parameters / evaluations, 2)
           << " ms, routing " << fixed(1000 * times.routing / evaluations, 2) << " ms, scoring "
           << fixed(1000 * times.scoring / evaluations, 2) << " ms; set-up once "
           << fixed(1000 * setUpSeconds_, 1) << " ms\n";
}

Status Calibration::writeResults() {
  const std::vector<double>& best = trace_.values[trace_.best];
  // The pictures' series: the start and the best, each routed once more.
  Result<std::vector<std::vector<float>>> startSeries = run_->gaugeSeries(start_, threads_);
  if (!startSeries.ok()) return startSeries.status();
  Result<std::vector<std::vector<float>>> bestSeries = run_->gaugeSeries(best, threads_);
  if (!bestSeries.ok()) return bestSeries.status();

  const std::string dir = kCalibrationDirectory;
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  if (error || !std::filesystem::is_directory(dir)) {
    return Status::ioError("The folder " + dir + " cannot be made.");
  }
  std::vector<std::pair<int, std::string>> bestFields;
  for (std::size_t j = 0; j < parameters_.size(); ++j) {
    const Tunable& t = *parameters_[j].tunable;
    if (t.kind != TunableKind::kParameterFile) continue;
    bestFields.emplace_back(t.field, t.whole != nullptr
                                         ? std::to_string(static_cast<std::int64_t>(best[j]))
                                         : shortestDecimal(best[j]));
  }
  if (Status s = writeWhole(
          dir + "/" + kParameterFileName, console_,
          [&](std::ostream& out) { out << withFieldValues(parameterText_, bestFields); });
      !s.ok()) {
    return s;
  }
  // A fitted loss or soil grid, scaled by its best factor, where runoff-sim reads it.
  for (std::size_t j = 0; j < parameters_.size(); ++j) {
    const Tunable& t = *parameters_[j].tunable;
    if (t.kind != TunableKind::kLossGridFactor && t.kind != TunableKind::kSoilGridFactor) continue;
    const std::string folder = dir + "/topoData";
    std::filesystem::create_directories(folder, error);
    if (error || !std::filesystem::is_directory(folder)) {
      return Status::ioError("The folder " + folder + " cannot be made.");
    }
    const bool loss = t.kind == TunableKind::kLossGridFactor;
    const std::vector<float> grid =
        loss ? run_->scaledLossGrid(t, best[j]) : run_->scaledSoilGrid(t, best[j]);
    const char* file = loss ? kLossGrids[t.lossGrid].file : kSoilGrids[t.soilGrid].file;
    if (Status s = writeWhole(folder + "/" + file, console_,
                              [&](std::ostream& out) { writeFloatRecords(out, grid); });
        !s.ok()) {
      return s;
    }
  }
  // With the soil, the options that give runoff-sim the best run.
  if (options_.run.soil) {
    if (Status s = writeWhole(dir + "/options.txt", console_,
                              [&](std::ostream& out) { out << simOptionsOfBest(best) << '\n'; });
        !s.ok()) {
      return s;
    }
  }
  // The lake list with the best constants of the lakes fitted, where --lakes can read it.
  bool lakeFitted = false;
  std::vector<Lake> lakes = run_->lakeList();
  for (std::size_t j = 0; j < parameters_.size(); ++j) {
    const Tunable& t = *parameters_[j].tunable;
    if (t.kind != TunableKind::kLakeConstant) continue;
    lakeFitted = true;
    for (Lake& lake : lakes) {
      if (lake.name == t.lake) (t.lakeB ? lake.b : lake.a) = best[j];
    }
  }
  if (lakeFitted) {
    if (Status s = writeWhole(dir + "/lakes.csv", console_,
                              [&](std::ostream& out) { writeLakeList(out, lakes); });
        !s.ok()) {
      return s;
    }
  }
  if (Status s = writeWhole(dir + "/trace.csv", console_,
                            [&](std::ostream& out) {
                              writeTrace(out, parameters_, trace_.values, trace_.objectives);
                            });
      !s.ok()) {
    return s;
  }
  if (Status s = writeWhole(dir + "/" + kScoresFileName, console_,
                            [&](std::ostream& out) {
                              writeScoresCsv(out, run_->gauges(), trace_.bestScores.gauges,
                                             trace_.bestScores.mean);
                            });
      !s.ok()) {
    return s;
  }
  return writeHydrographs(*startSeries, *bestSeries);
}

// runoff-sim's options for the run of `best` with the soil: the method, the scheme, the power
// function and the soil's rule, each value the shortest decimal that reads back as itself.
std::string Calibration::simOptionsOfBest(const std::vector<double>& best) const {
  const CandidateRunOptions& run = options_.run;
  SoilRule rule = run.soilRule;
  for (std::size_t j = 0; j < parameters_.size(); ++j) {
    setSoilTunable(rule, *parameters_[j].tunable, best[j]);
  }
  std::string line = "--soil";
  if (run.losses.method != LossMethod::kNone) {
    line += std::string(" --losses ") + lossMethodName(run.losses.method);
    if (run.losses.method == LossMethod::kScsCurveNumber) {
      line += " --ia-ratio " + shortestDecimal(run.losses.iaRatio);
    }
    if (run.losses.eventGapHours > 0) {
      line += " --event-gap " + std::to_string(run.losses.eventGapHours);
    }
  }
  if (run.scheme != Scheme::kClassic) line += std::string(" --scheme ") + schemeName(run.scheme);
  if (run.power != PowerFunction::kLibm) line += " --power fast";
  line += " --et-threshold " + shortestDecimal(rule.etThreshold) + " --soil-start " +
          shortestDecimal(rule.soilStart) + " --baseflow-start " +
          shortestDecimal(rule.baseflowStart);
  if (run.petMmPerDay) line += " --pet " + shortestDecimal(*run.petMmPerDay);
  return line;
}

Status Calibration::writeHydrographs(const std::vector<std::vector<float>>& startSeries,
                                     const std::vector<std::vector<float>>& bestSeries) {
  const std::string dir = kCalibrationDirectory;
  const std::vector<std::vector<double>> rain = run_->upstreamRain();
  std::vector<std::string> titles, dataFiles, pictures;
  std::vector<double> maxRain;
  for (std::size_t g = 0; g < run_->gauges().size(); ++g) {
    std::string name = "hydrograph-" + fileNamePart(run_->gauges()[g]);
    // Names that differ only in the characters replaced get a number.
    if (std::find(dataFiles.begin(), dataFiles.end(), name + ".dat") != dataFiles.end()) {
      name += '-';
      name += std::to_string(g + 1);
    }
    const SnappedGauge& placed = run_->placed()[g];
    titles.push_back("Gauge " + run_->gauges()[g] + " (column " +
                     std::to_string(placed.cell.col + 1) + ", row " +
                     std::to_string(placed.cell.row + 1) + "): " + objectiveText_ + " " +
                     fixed(objectiveValue(trace_.startScores.gauges[g], options_.objective), 4) +
                     " from the starting parameters, " +
                     fixed(objectiveValue(trace_.bestScores.gauges[g], options_.objective), 4) +
                     " from the best");
    dataFiles.push_back(name + ".dat");
    pictures.push_back(name + ".png");
    maxRain.push_back(rain[g].empty() ? 0 : *std::max_element(rain[g].begin(), rain[g].end()));
    if (Status s = writeWhole(dir + "/" + dataFiles.back(), console_,
                              [&](std::ostream& out) {
                                writeHydrographData(out, rain[g], run_->observed()[g],
                                                    startSeries[g], bestSeries[g]);
                              });
        !s.ok()) {
      return s;
    }
  }
  if (Status s = writeWhole(dir + "/hydrographs.gp", console_,
                            [&](std::ostream& out) {
                              writeHydrographScript(out, titles, dataFiles, pictures, maxRain);
                            });
      !s.ok()) {
    return s;
  }
  bool drawn = false;
  console_ << drawWithGnuplot(dir, "hydrographs.gp", pictures, drawn) << '\n';
  return {};
}

}  // namespace

Status calibrate(const CalibrateOptions& options, std::ostream& console) {
  Calibration calibration(options, console);
  if (Status s = calibration.setUp(); !s.ok()) return s;
  calibration.placeStart();
  if (Status s = calibration.search(); !s.ok()) return s;
  calibration.reportBest();
  return calibration.writeResults();
}

}  // namespace runoff
