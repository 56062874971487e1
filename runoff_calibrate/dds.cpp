#include "runoff_calibrate/dds.h"

#include <cmath>

namespace runoff {

double RandomStream::uniform() { return static_cast<double>(engine_() >> 11) * 0x1.0p-53; }

double RandomStream::normal() {
  if (haveSpare_) {
    haveSpare_ = false;
    return spare_;
  }
  double u, v, s;
  do {
    u = 2 * uniform() - 1;
    v = 2 * uniform() - 1;
    s = u * u + v * v;
  } while (s >= 1 || s == 0);
  const double factor = std::sqrt(-2 * std::log(s) / s);
  spare_ = v * factor;
  haveSpare_ = true;
  return u * factor;
}

std::size_t RandomStream::below(std::size_t n) {
  const auto k = static_cast<std::size_t>(uniform() * static_cast<double>(n));
  return k < n ? k : n - 1;
}

bool atLeastAsGood(double a, double b) { return !std::isnan(a) && (std::isnan(b) || a >= b); }

DdsSearch::DdsSearch(std::vector<double> lower, std::vector<double> upper,
                     std::vector<double> start, double startObjective, std::int64_t evaluations,
                     std::uint64_t seed)
    : lower_(std::move(lower)),
      upper_(std::move(upper)),
      best_(std::move(start)),
      bestObjective_(startObjective),
      budget_(evaluations),
      random_(seed) {}

std::vector<double> DdsSearch::neighbour(std::int64_t i) {
  constexpr double kPerturbation = 0.2;  // r, of each parameter's range
  const std::size_t n = best_.size();
  const double include =
      budget_ > 1 ? 1 - std::log(static_cast<double>(i)) / std::log(static_cast<double>(budget_))
                  : 0;
  std::vector<bool> perturbed(n);
  bool any = false;
  for (std::size_t j = 0; j < n; ++j) {
    perturbed[j] = random_.uniform() < include;
    any = any || perturbed[j];
  }
  if (!any) perturbed[random_.below(n)] = true;
  std::vector<double> x = best_;
  for (std::size_t j = 0; j < n; ++j) {
    if (!perturbed[j]) continue;
    const double lo = lower_[j], hi = upper_[j];
    double v = best_[j] + kPerturbation * (hi - lo) * random_.normal();
    // Reflected into the range; a reflection that overshoots the other bound lands on the
    // bound it came from.
    if (v < lo) {
      v = lo + (lo - v);
      if (v > hi) v = lo;
    } else if (v > hi) {
      v = hi - (v - hi);
      if (v < lo) v = hi;
    }
    x[j] = v;
  }
  return x;
}

std::vector<std::vector<double>> DdsSearch::nextBatch(std::int64_t count) {
  std::vector<std::vector<double>> batch;
  for (std::int64_t k = 0; k < count && used_ < budget_; ++k) batch.push_back(neighbour(used_++));
  return batch;
}

void DdsSearch::tell(const std::vector<std::vector<double>>& batch,
                     const std::vector<double>& objectives) {
  std::size_t first = 0;
  for (std::size_t k = 1; k < objectives.size(); ++k) {
    if (!atLeastAsGood(objectives[first], objectives[k])) first = k;
  }
  if (!objectives.empty() && atLeastAsGood(objectives[first], bestObjective_)) {
    best_ = batch[first];
    bestObjective_ = objectives[first];
  }
}

}  // namespace runoff
