// Observed and simulated discharge paired by gauge and hour: the pairs every score is taken
// over. A pair needs both values; an observed value whose time lies outside the run, or
// within the run but not at the beginning of one of its hours, has no simulated partner and
// is counted apart. A warm-up leaves the run's first hours out of every score (the model is
// still filling from its initial state there), and a period from one time to another keeps
// only the pairs within it.
#ifndef RUNOFF_EVALUATION_PAIRING_H_
#define RUNOFF_EVALUATION_PAIRING_H_

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/status.h"
#include "runoff/evaluation/discharge_series.h"
#include "runoff/inputs/run_start.h"

namespace runoff {

/// Which of the run's hours are scored.
struct ScoredPeriod {
  std::int64_t warmUpHours = 0;   // the run's first hours left out
  std::optional<CivilTime> from;  // first time kept, when given
  std::optional<CivilTime> to;    // last time kept, when given
};

/// What became of the observed values, over all gauges.
struct PairCounts {
  std::int64_t paired = 0;
  std::int64_t observedMissing = 0;   // missing in the observed file (within the run)
  std::int64_t simulatedMissing = 0;  // observed, but the simulated value is missing
  std::int64_t outsideRun = 0;        // before the run's first hour or after its last
  std::int64_t offHour = 0;           // within the run, not at the beginning of an hour
  std::int64_t leftOut = 0;           // in the warm-up, or outside the period kept
};

/// An observed value at an hour of the run (from 0).
struct ObservedHour {
  std::int64_t hour = 0;
  double discharge = 0;
};

/// The observed values of one gauge (`values`, in increasing time) that fall on the hours of a
/// run of `hours` hours from `start` and within `period`, missing ones left out; `counts`
/// counts what is left out and why.
std::vector<ObservedHour> observedHours(const std::vector<TimedValue>& values, CivilTime start,
                                        std::int64_t hours, const ScoredPeriod& period,
                                        PairCounts& counts);

/// Observed and simulated discharge of one gauge, pair by pair in increasing time.
struct GaugePairs {
  std::vector<std::int64_t> hours;  // hour of the run of each pair
  std::vector<double> observed;
  std::vector<double> simulated;
};

/// Pairs `observed` with the run's hourly series `simulated` of the same gauge; an hour whose
/// simulated value is missing (NaN) is dropped and counted in `counts` when given.
void pairWithSimulated(std::span<const ObservedHour> observed, std::span<const float> simulated,
                       GaugePairs& pairs, PairCounts* counts = nullptr);

/// Refuses, naming the gauge, a gauge left without a pair, or whose observed discharge does not
/// vary over its pairs (NSE is then undefined). `observed[k]` holds the observed values of
/// gauge `gauges[k]` that are paired.
Status checkScorable(const std::vector<std::string>& gauges,
                     const std::vector<std::vector<double>>& observed, const ScoredPeriod& period);

}  // namespace runoff

#endif  // RUNOFF_EVALUATION_PAIRING_H_
