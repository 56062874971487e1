// Dynamically dimensioned search (Tolson and Shoemaker 2007, Water Resources Research 43,
// W01413): a global search for a limited budget of evaluations, the usual choice for
// distributed hydrological models. Each candidate is a neighbour of the best solution so far:
// every parameter is perturbed with a probability that falls from 1 at the first evaluation
// to 0 at the last (1 - ln i / ln m, at least one parameter each time), by a normal deviate
// of r = 0.2 times the parameter's range, reflected at the bounds. The search thus starts
// globally and ends as a local search around the best, in as many dimensions as it has left.
//
// Here the candidates come in batches that are evaluated together, each a neighbour of the
// best before the batch; the best moves to the batch's best after it. The batch size is an
// option of its own, never the number of threads, so the candidates depend on the seed and
// the options only.
#ifndef RUNOFF_CALIBRATE_DDS_H_
#define RUNOFF_CALIBRATE_DDS_H_

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace runoff {

/// Random numbers fixed by the seed on every platform: the 64-bit Mersenne Twister, whose
/// integers the C++ standard fixes; uniform doubles from the top 53 bits of one integer,
/// (x >> 11) x 2^-53; normal deviates by Marsaglia's polar method (two uniforms in the unit
/// circle, then a logarithm and a square root). The library's distributions are not used:
/// their results differ between standard libraries.
class RandomStream {
 public:
  explicit RandomStream(std::uint64_t seed) : engine_(seed) {}
  /// In [0, 1).
  double uniform();
  /// Standard normal.
  double normal();
  /// A whole number from 0 to n - 1, n > 0.
  std::size_t below(std::size_t n);

 private:
  std::mt19937_64 engine_;
  bool haveSpare_ = false;
  double spare_ = 0;
};

class DdsSearch {
 public:
  /// A search within [lower, upper] (per parameter) from `start`, whose best objective is
  /// `startObjective`, over a budget of `evaluations` evaluations, the start's included.
  DdsSearch(std::vector<double> lower, std::vector<double> upper, std::vector<double> start,
            double startObjective, std::int64_t evaluations, std::uint64_t seed);

  /// Evaluations made or handed out so far (the start counts as one).
  std::int64_t used() const { return used_; }
  std::int64_t budget() const { return budget_; }
  /// The next `count` candidates (fewer when the budget ends), neighbours of the best.
  std::vector<std::vector<double>> nextBatch(std::int64_t count);
  /// The objectives of the batch handed out last, in its order (maximised; NaN is the worst):
  /// the best moves to the batch's first best when that is at least as good.
  void tell(const std::vector<std::vector<double>>& batch, const std::vector<double>& objectives);

  const std::vector<double>& best() const { return best_; }

 private:
  std::vector<double> neighbour(std::int64_t i);

  std::vector<double> lower_, upper_, best_;
  double bestObjective_;
  std::int64_t budget_;
  std::int64_t used_ = 1;
  RandomStream random_;
};

/// True when objective `a` is at least as good as `b` (NaN is worse than anything).
bool atLeastAsGood(double a, double b);

}  // namespace runoff

#endif  // RUNOFF_CALIBRATE_DDS_H_
