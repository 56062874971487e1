// The last steps of a calibration: a bound-constrained local search from the best point the
// global search found, by NLopt's derivative-free BOBYQA (Powell's quadratic models in a trust
// region; COBYLA for a single parameter, which BOBYQA does not take). It is deterministic:
// the same start and the same objective values give the same points.
#ifndef RUNOFF_CALIBRATE_POLISH_H_
#define RUNOFF_CALIBRATE_POLISH_H_

#include <cstdint>
#include <functional>
#include <vector>

#include "common/status.h"

namespace runoff {

/// The objective of a point (maximised, at most 1), or the failure that stops the search.
using PointObjective = std::function<Result<double>(const std::vector<double>&)>;

/// The evaluations a polish of `parameters` parameters needs at the least to be worth it.
std::int64_t minimumPolishEvaluations(std::size_t parameters);

/// Searches [lower, upper] from `start` with at most `evaluations` evaluations of
/// `objective`, starting with steps of a twentieth of each range; stops earlier once the
/// steps shrink below 10^-7 of the ranges. The caller keeps the best point it is shown.
Status polish(const std::vector<double>& lower, const std::vector<double>& upper,
              const std::vector<double>& start, std::int64_t evaluations,
              const PointObjective& objective);

}  // namespace runoff

#endif  // RUNOFF_CALIBRATE_POLISH_H_
