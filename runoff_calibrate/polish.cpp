#include "runoff_calibrate/polish.h"

#include <nlopt.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace runoff {
namespace {

// NLopt sees every parameter on [0, 1] and minimises.
struct Problem {
  const std::vector<double>& lower;
  const std::vector<double>& upper;
  const PointObjective& objective;
  nlopt_opt opt;
  Status failure;
};

double minimised(unsigned n, const double* z, double* /*gradient*/, void* data) {
  Problem& problem = *static_cast<Problem*>(data);
  std::vector<double> x(n);
  for (unsigned j = 0; j < n; ++j) {
    x[j] = problem.lower[j] + std::clamp(z[j], 0.0, 1.0) * (problem.upper[j] - problem.lower[j]);
  }
  Result<double> value = problem.objective(x);
  if (!value.ok()) {
    problem.failure = value.status();
    nlopt_force_stop(problem.opt);
    return HUGE_VAL;
  }
  // Every score is at most 1, so (1 - score)^2 orders the points as the score does. KGE's
  // 1 - score is a Euclidean distance, a cone at its best point, which quadratic models
  // follow only slowly; its square is smooth there. An undefined score counts as far worse
  // than any defined one.
  return std::isnan(*value) ? 1e300 : (1 - *value) * (1 - *value);
}

}  // namespace

std::int64_t minimumPolishEvaluations(std::size_t parameters) {
  return 2 * static_cast<std::int64_t>(parameters) + 3;
}

Status polish(const std::vector<double>& lower, const std::vector<double>& upper,
              const std::vector<double>& start, std::int64_t evaluations,
              const PointObjective& objective) {
  const auto n = static_cast<unsigned>(start.size());
  std::unique_ptr<nlopt_opt_s, void (*)(nlopt_opt)> opt(
      nlopt_create(n >= 2 ? NLOPT_LN_BOBYQA : NLOPT_LN_COBYLA, n), nlopt_destroy);
  if (!opt) return Status::ioError("The local search cannot be set up (NLopt).");
  Problem problem{lower, upper, objective, opt.get(), {}};
  std::vector<double> z(n);
  for (unsigned j = 0; j < n; ++j) z[j] = (start[j] - lower[j]) / (upper[j] - lower[j]);
  nlopt_set_lower_bounds1(opt.get(), 0.0);
  nlopt_set_upper_bounds1(opt.get(), 1.0);
  nlopt_set_min_objective(opt.get(), minimised, &problem);
  nlopt_set_maxeval(opt.get(), static_cast<int>(std::min<std::int64_t>(evaluations, 1 << 30)));
  nlopt_set_xtol_abs1(opt.get(), 1e-7);
  nlopt_set_initial_step1(opt.get(), 0.05);
  double value = 0;
  nlopt_optimize(opt.get(), z.data(), &value);
  // The outcome (a tolerance reached, the budget spent, a rounding limit) matters not: every
  // point was shown to the caller as it was evaluated.
  return problem.failure;
}

}  // namespace runoff
