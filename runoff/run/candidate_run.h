// A calibration's evaluation of candidate parameters: one set-up, many routings. The set-up
// does once what no candidate changes: it reads the parameter file, the observed discharge
// and the gauges, places the gauges as the converter does, loads the topography and the loss
// grids, ties the cells to their rainfall cells, obtains the calculation order, keeps only the
// cells upstream of the scored gauges, reads their whole rainfall into memory and sets up the
// terrain's constants of those cells. An evaluation then recomputes only what depends on the
// candidate (the constants of the parameters, the initial discharge, the scaled loss grids of
// those cells and their fresh loss states), routes those cells up to the day of the last
// scored hour, keeps the hourly means at the gauges, writes nothing, and scores them.
//
// The restricted routing gives the gauges the very hourly means of a whole run by runoff-sim
// with the same parameters: a cell's inflow comes only from routed cells upstream of it, and
// the plan of the restricted selection gives every kept cell the same feeders as the whole
// plan, because all of a kept cell's feeders are kept. The router's results do not depend on
// its thread count, so neither do the scores.
#ifndef RUNOFF_RUN_CANDIDATE_RUN_H_
#define RUNOFF_RUN_CANDIDATE_RUN_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "common/params.h"
#include "common/status.h"
#include "runoff/evaluation/pairing.h"
#include "runoff/evaluation/scores.h"
#include "runoff/inputs/gauge_snap.h"
#include "runoff/inputs/lake_list.h"
#include "runoff/model/losses.h"
#include "runoff/model/power_choice.h"
#include "runoff/model/routing_scheme.h"
#include "runoff/model/soil.h"
#include "runoff/run/tunable_parameters.h"

namespace runoff {

struct CandidateRunOptions {
  std::string observedPath;
  std::string gaugesPath;
  std::int32_t snap = 2;             // cells a gauge may move, as discharge-netcdf --snap
  std::int64_t warmUpHours = 0;      // the run's first hours, left out of every score
  std::optional<std::string> start;  // the run's start, when the rainfall stamps give none
  Scheme scheme = Scheme::kClassic;
  PowerFunction power = PowerFunction::kLibm;  // as runoff-sim --power
  LossRule losses;                             // as runoff-sim --losses, --ia-ratio, --event-gap
  bool soil = false;                           // as runoff-sim --soil, with
  SoilRule soilRule;                           // --et-threshold, --soil-start, --baseflow-start
  std::optional<double> petMmPerDay;           // --pet
  std::optional<std::string> lakes;            // as runoff-sim --lakes
  std::optional<std::string> releases;         // as runoff-sim --releases
  std::vector<const Tunable*> tunables;        // what a candidate's values set, in their order
};

/// A candidate's scores: per scored gauge, and their means.
struct CandidateScores {
  std::vector<Scores> gauges;
  Scores mean;
};

/// Seconds spent in each part of the evaluations so far, summed over the threads.
struct EvaluationTimes {
  double parameters = 0;  // the candidate's constants and initial discharge
  double routing = 0;
  double scoring = 0;
};

class CandidateRun {
 public:
  /// The set-up, in the working directory. Prints the placed gauges and what became of the
  /// observed values on `console`. Refuses, with one line: an observed gauge that is not in
  /// the gauge list, a gauge without a routed cell within reach, a scored gauge left without
  /// a pair, or whose observed discharge does not vary; a factor on a loss grid that the
  /// loss method does not read or that is absent; a soil parameter without --soil; a lake's
  /// constant of a lake the lake list does not hold, or b of a lake without a weir; and every
  /// input a run refuses. The lakes are placed as runoff-sim places them (a console line each).
  static Result<std::unique_ptr<CandidateRun>> create(const CandidateRunOptions& options,
                                                      std::ostream& console);
  ~CandidateRun();
  CandidateRun(const CandidateRun&) = delete;
  CandidateRun& operator=(const CandidateRun&) = delete;

  /// The scored gauges (those of the observed file), in the order of their first line there.
  const std::vector<std::string>& gauges() const { return names_; }
  /// Where each scored gauge was placed.
  const std::vector<SnappedGauge>& placed() const { return placed_; }
  /// The observed values each scored gauge is paired on.
  const std::vector<std::vector<ObservedHour>>& observed() const { return observed_; }
  /// The working directory's parameters and their values of the tunables.
  const RunParameters& parameters() const { return params_; }
  std::vector<double> startingValues() const;
  /// The lakes of --lakes, as listed (empty without).
  const std::vector<Lake>& lakeList() const;
  CivilTime start() const { return start_; }
  std::int64_t hours() const { return static_cast<std::int64_t>(params_.days) * 24; }
  /// Cells routed per evaluation, and by a whole run.
  std::int64_t routedCells() const;
  std::int64_t allRoutedCells() const { return allRouted_; }

  /// Scores each candidate (its values in the order of the tunables) on up to `threads`
  /// threads: several candidates each on its own thread, one candidate on all of them. The
  /// results, in the order of the candidates, are the same for any number of threads.
  Result<std::vector<CandidateScores>> evaluate(std::span<const std::vector<double>> candidates,
                                                int threads);

  /// The hourly means at the scored gauges (per gauge, every hour of the run) for `values`.
  Result<std::vector<std::vector<float>>> gaugeSeries(const std::vector<double>& values,
                                                      int threads);

  /// The loss grid a factor of the tunables scales, in file order (rows from the south) as
  /// runoff-sim reads it: each cell that a whole run routes scaled by `factor`, as an
  /// evaluation scales it; the other cells as the file holds them.
  std::vector<float> scaledLossGrid(const Tunable& tunable, double factor) const;

  /// The same for a factor on a soil grid.
  std::vector<float> scaledSoilGrid(const Tunable& tunable, double factor) const;

  /// The mean rainfall over the routed cells upstream of each scored gauge, per hour, mm/h.
  std::vector<std::vector<double>> upstreamRain() const;

  EvaluationTimes times() const;

 private:
  struct Workspace;
  struct SetUp;
  CandidateRun();

  RunParameters parameters(const std::vector<double>& values) const;
  // The lake list on the cells of the set-up, and the lakes' constants among the tunables.
  Status setUpLakes(std::ostream& console);
  // Routes the days 1 to `lastDay` for `values`; the gauges' hourly means of those days go
  // to `series` (per gauge, every hour of the run; the later hours hold 0).
  Status route(const std::vector<double>& values, Workspace& workspace, int threads,
               std::int32_t lastDay, std::vector<std::vector<float>>& series);

  CandidateRunOptions options_;
  RunParameters params_;
  CivilTime start_;
  std::vector<std::string> names_;
  std::vector<SnappedGauge> placed_;
  std::vector<std::vector<ObservedHour>> observed_;
  std::int64_t allRouted_ = 0;
  std::unique_ptr<SetUp> setUp_;
  std::vector<std::unique_ptr<Workspace>> workspaces_;
};

}  // namespace runoff

#endif  // RUNOFF_RUN_CANDIDATE_RUN_H_
