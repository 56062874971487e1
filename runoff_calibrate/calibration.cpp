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

}  // namespace

Status calibrate(const CalibrateOptions& options, std::ostream& console) {
  Result<std::vector<SearchParameter>> read = readSearchParameters(options.parameters);
  if (!read.ok()) return read.status();
  const std::vector<SearchParameter>& parameters = *read;
  if (Status folder = checkResultFolder(); !folder.ok()) return folder;

  CandidateRunOptions runOptions;
  runOptions.observedPath = options.observed;
  runOptions.gaugesPath = options.gauges;
  runOptions.snap = options.snap;
  runOptions.warmUpHours = options.warmUpHours;
  runOptions.start = options.start;
  runOptions.scheme = options.scheme;
  runOptions.power = options.power;
  runOptions.losses = options.losses;
  for (const SearchParameter& p : parameters) runOptions.tunables.push_back(p.tunable);
  const Clock::time_point setUpStart = Clock::now();
  Result<std::unique_ptr<CandidateRun>> created = CandidateRun::create(runOptions, console);
  if (!created.ok()) return created.status();
  const double setUpSeconds = secondsSince(setUpStart);
  CandidateRun& run = **created;
  // The parameter file's text, which the best one copies with the best values.
  std::string parameterText;
  {
    std::ifstream in;
    const std::string path = std::string("./") + kParameterFileName;
    if (const InputFault fault = openInputFile(in, path); fault != InputFault::kNone) {
      return inputFailure(path, fault);
    }
    std::ostringstream text;
    text << in.rdbuf();
    parameterText = text.str();
  }

  // The start: the working directory's values, moved into the ranges searched.
  std::vector<double> start = run.startingValues();
  std::vector<double> lower, upper, startCoordinates;
  for (std::size_t j = 0; j < parameters.size(); ++j) {
    const SearchParameter& p = parameters[j];
    if (start[j] < p.min || start[j] > p.max) {
      const double moved = std::clamp(start[j], p.min, p.max);
      console << p.tunable->name << ": the parameter file's " << shortestDecimal(start[j])
              << " lies outside " << shortestDecimal(p.min) << " to " << shortestDecimal(p.max)
              << "; the search starts from " << shortestDecimal(moved) << ".\n";
      start[j] = moved;
    }
    lower.push_back(p.toSearch(p.min));
    upper.push_back(p.toSearch(p.max));
    startCoordinates.push_back(std::clamp(p.toSearch(start[j]), lower.back(), upper.back()));
  }
  // The start runs with the values themselves, not with their coordinates turned back.
  for (std::size_t j = 0; j < parameters.size(); ++j) {
    start[j] = valueRunWith(*parameters[j].tunable, start[j]);
  }

  // A quarter of the evaluations finds the valley of the best point, the local search follows
  // it with the other three quarters: the parameters of a routing model trade against each
  // other along narrow valleys, where quadratic models beat random perturbations.
  const std::int64_t polishShare = options.evaluations * 3 / 4;
  const std::int64_t polishBudget =
      polishShare >= minimumPolishEvaluations(parameters.size()) ? polishShare : 0;
  const std::int64_t globalBudget = options.evaluations - polishBudget;
  const int threads = routingThreads();
  const char* objectiveText = objectiveName(options.objective);
  if (options.losses.method != LossMethod::kNone) {
    console << "Rainfall losses: " << lossMethodName(options.losses.method) << ".\n";
  }
  console << "Search: " << parameters.size()
          << (parameters.size() == 1 ? " parameter, " : " parameters, ") << options.evaluations
          << " evaluations (" << globalBudget << " by dynamically dimensioned search in batches of "
          << options.batch << ", " << polishBudget << " by local search), objective "
          << objectiveText << ", seed " << options.seed << '\n';

  Trace trace;
  std::optional<SearchProgress> progress;  // shown once the console's lines are written
  const Clock::time_point searchStart = Clock::now();
  auto evaluate =
      [&](const std::vector<std::vector<double>>& values) -> Result<std::vector<double>> {
    Result<std::vector<CandidateScores>> scores = run.evaluate(values, threads);
    if (!scores.ok()) return scores.status();
    std::vector<double> objectives;
    for (std::size_t c = 0; c < values.size(); ++c) {
      objectives.push_back(objectiveValue((*scores)[c].mean, options.objective));
      trace.add(values[c], objectives.back(), (*scores)[c]);
    }
    if (progress)
      progress->show(static_cast<std::int64_t>(trace.values.size()), trace.objectives[trace.best],
                     secondsSince(searchStart));
    return objectives;
  };

  Result<std::vector<double>> first = evaluate({start});
  if (!first.ok()) return first.status();
  console << "Start: " << objectiveText << " " << fixed(first->front(), 6) << " at "
          << parameterList(parameters, start) << '\n';
  console.flush();
  progress.emplace(options.evaluations, objectiveText);
  DdsSearch dds(lower, upper, startCoordinates, first->front(), globalBudget, options.seed);
  while (dds.used() < dds.budget()) {
    const std::vector<std::vector<double>> batch = dds.nextBatch(options.batch);
    std::vector<std::vector<double>> values;
    for (const std::vector<double>& x : batch)
      values.push_back(modelValues(parameters, x, start, startCoordinates));
    Result<std::vector<double>> objectives = evaluate(values);
    if (!objectives.ok()) return objectives.status();
    dds.tell(batch, *objectives);
  }
  if (polishBudget > 0) {
    const PointObjective one = [&](const std::vector<double>& x) -> Result<double> {
      Result<std::vector<double>> objective =
          evaluate({modelValues(parameters, x, start, startCoordinates)});
      if (!objective.ok()) return objective.status();
      return objective->front();
    };
    if (Status polished = polish(lower, upper, dds.best(), polishBudget, one); !polished.ok()) {
      return polished;
    }
  }
  const double searchSeconds = secondsSince(searchStart);
  const std::int64_t evaluations = static_cast<std::int64_t>(trace.values.size());
  const std::vector<double>& best = trace.values[trace.best];
  const EvaluationTimes times = run.times();
  progress.reset();

  console << "Best: " << objectiveText << " " << fixed(trace.objectives[trace.best], 6)
          << " at evaluation " << trace.best + 1 << " of " << evaluations << '\n';
  for (std::size_t j = 0; j < parameters.size(); ++j) {
    console << "  " << parameters[j].tunable->name << " " << shortestDecimal(best[j]) << '\n';
  }
  console << '\n';
  writeScoresTable(console, run.gauges(), trace.bestScores.gauges, trace.bestScores.mean);
  console << '\n'
          << "Evaluations: " << evaluations << " in " << fixed(searchSeconds, 1) << " s on "
          << threads << (threads == 1 ? " thread, " : " threads, ")
          << fixed(evaluations / std::max(searchSeconds, 1e-9), 2) << " per second\n"
          << "Time per evaluation: parameters " << fixed(1000 * times.parameters / evaluations, 2)
          << " ms, routing " << fixed(1000 * times.routing / evaluations, 2) << " ms, scoring "
          << fixed(1000 * times.scoring / evaluations, 2) << " ms; set-up once "
          << fixed(1000 * setUpSeconds, 1) << " ms\n";

  // The pictures' series: the start and the best, each routed once more.
  Result<std::vector<std::vector<float>>> startSeries = run.gaugeSeries(start, threads);
  if (!startSeries.ok()) return startSeries.status();
  Result<std::vector<std::vector<float>>> bestSeries = run.gaugeSeries(best, threads);
  if (!bestSeries.ok()) return bestSeries.status();

  const std::string dir = kCalibrationDirectory;
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  if (error || !std::filesystem::is_directory(dir)) {
    return Status::ioError("The folder " + dir + " cannot be made.");
  }
  std::vector<std::pair<int, std::string>> bestFields;
  for (std::size_t j = 0; j < parameters.size(); ++j) {
    const Tunable& t = *parameters[j].tunable;
    if (t.kind != TunableKind::kParameterFile) continue;
    bestFields.emplace_back(t.field, t.whole != nullptr
                                         ? std::to_string(static_cast<std::int64_t>(best[j]))
                                         : shortestDecimal(best[j]));
  }
  if (Status s =
          writeWhole(dir + "/" + kParameterFileName, console,
                     [&](std::ostream& out) { out << withFieldValues(parameterText, bestFields); });
      !s.ok()) {
    return s;
  }
  // A fitted loss grid, scaled by its best factor, where runoff-sim reads it.
  for (std::size_t j = 0; j < parameters.size(); ++j) {
    const Tunable& t = *parameters[j].tunable;
    if (t.kind != TunableKind::kLossGridFactor) continue;
    const std::string folder = dir + "/topoData";
    std::filesystem::create_directories(folder, error);
    if (error || !std::filesystem::is_directory(folder)) {
      return Status::ioError("The folder " + folder + " cannot be made.");
    }
    const std::vector<float> grid = run.scaledLossGrid(t, best[j]);
    if (Status s = writeWhole(folder + "/" + kLossGrids[t.lossGrid].file, console,
                              [&](std::ostream& out) { writeFloatRecords(out, grid); });
        !s.ok()) {
      return s;
    }
  }
  if (Status s = writeWhole(
          dir + "/trace.csv", console,
          [&](std::ostream& out) { writeTrace(out, parameters, trace.values, trace.objectives); });
      !s.ok()) {
    return s;
  }
  if (Status s = writeWhole(dir + "/" + kScoresFileName, console,
                            [&](std::ostream& out) {
                              writeScoresCsv(out, run.gauges(), trace.bestScores.gauges,
                                             trace.bestScores.mean);
                            });
      !s.ok()) {
    return s;
  }
  const std::vector<std::vector<double>> rain = run.upstreamRain();
  std::vector<std::string> titles, dataFiles, pictures;
  std::vector<double> maxRain;
  for (std::size_t g = 0; g < run.gauges().size(); ++g) {
    std::string name = "hydrograph-" + fileNamePart(run.gauges()[g]);
    // Names that differ only in the characters replaced get a number.
    if (std::find(dataFiles.begin(), dataFiles.end(), name + ".dat") != dataFiles.end()) {
      name += '-';
      name += std::to_string(g + 1);
    }
    const SnappedGauge& placed = run.placed()[g];
    titles.push_back(
        "Gauge " + run.gauges()[g] + " (column " + std::to_string(placed.cell.col + 1) + ", row " +
        std::to_string(placed.cell.row + 1) + "): " + objectiveText + " " +
        fixed(objectiveValue(trace.startScores.gauges[g], options.objective), 4) +
        " from the starting parameters, " +
        fixed(objectiveValue(trace.bestScores.gauges[g], options.objective), 4) + " from the best");
    dataFiles.push_back(name + ".dat");
    pictures.push_back(name + ".png");
    maxRain.push_back(rain[g].empty() ? 0 : *std::max_element(rain[g].begin(), rain[g].end()));
    if (Status s = writeWhole(dir + "/" + dataFiles.back(), console,
                              [&](std::ostream& out) {
                                writeHydrographData(out, rain[g], run.observed()[g],
                                                    (*startSeries)[g], (*bestSeries)[g]);
                              });
        !s.ok()) {
      return s;
    }
  }
  if (Status s = writeWhole(dir + "/hydrographs.gp", console,
                            [&](std::ostream& out) {
                              writeHydrographScript(out, titles, dataFiles, pictures, maxRain);
                            });
      !s.ok()) {
    return s;
  }
  bool drawn = false;
  console << drawWithGnuplot(dir, "hydrographs.gp", pictures, drawn) << '\n';
  return {};
}

}  // namespace runoff
