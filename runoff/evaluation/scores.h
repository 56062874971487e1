// How well a simulated hydrograph matches the observed one at a gauge, over the pairs of
// both (o observed, s simulated, bars for means over the pairs, population standard
// deviations σ):
//   NSE       1 - Σ(s - o)² / Σ(o - ō)²  (1 is perfect, 0 is no better than the mean ō)
//   log-NSE   the NSE of ln(q + ε), ε = 0.01 ō: weighs the low flows
//   KGE       1 - √((r - 1)² + (α - 1)² + (β - 1)²), r the Pearson correlation, α = σs / σo,
//             β = s̄ / ō (Gupta et al. 2009)
//   KGE'      the same with γ = (σs / s̄) / (σo / ō) in place of α (Kling et al. 2012)
//   PBIAS     100 Σ(s - o) / Σo, % (positive: the model gives too much water)
//   peak      100 (max s - max o) / max o, %; and the hour of max s minus the hour of max o
//             (the first hour of each maximum)
// All in double precision, each sum taken over the pairs in increasing time.
//
// File scores.csv, one line per gauge and a last line of the means over the gauges (gauge
// "mean", the sum of the pairs), each number the shortest decimal that reads back as the same
// double ("nan" where a score is undefined, as r of a simulation that does not vary):
//   gauge,pairs,nse,log_nse,kge,r,alpha,beta,kge_2012,gamma,pbias_pct,peak_error_pct,peak_time_error_h
#ifndef RUNOFF_EVALUATION_SCORES_H_
#define RUNOFF_EVALUATION_SCORES_H_

#include <cstdint>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace runoff {

inline constexpr const char* kScoresFileName = "scores.csv";

struct Scores {
  std::int64_t pairs = 0;
  double nse = 0;
  double logNse = 0;
  double kge = 0;
  double r = 0;
  double alpha = 0;
  double beta = 0;
  double kge2012 = 0;
  double gamma = 0;
  double pbiasPct = 0;
  double peakErrorPct = 0;
  double peakTimeErrorH = 0;
};

/// The scores of the pairs (observed[i], simulated[i]) taken at hours[i]; at least one pair.
Scores scoreSeries(std::span<const double> observed, std::span<const double> simulated,
                   std::span<const std::int64_t> hours);

/// The mean of each score over `gauges` (in their order), with the sum of their pairs.
Scores meanScores(std::span<const Scores> gauges);

/// The score a calibration maximises: the mean over the gauges of one of these.
enum class Objective { kKge, kKge2012, kNse, kLogNse };

/// "kge", "kge_2012", "nse", "log_nse": the column names of scores.csv.
const char* objectiveName(Objective objective);
std::optional<Objective> objectiveNamed(std::string_view name);
double objectiveValue(const Scores& scores, Objective objective);

/// The shortest decimal that reads back as exactly `value` ("0.25", "1e-05", "nan").
std::string shortestDecimal(double value);

/// scores.csv: the header, a line per gauge (`names[k]` with `gauges[k]`), the means.
void writeScoresCsv(std::ostream& out, const std::vector<std::string>& names,
                    std::span<const Scores> gauges, const Scores& mean);

/// The same as a table for the console, four decimals (one for the percentages and hours).
void writeScoresTable(std::ostream& out, const std::vector<std::string>& names,
                      std::span<const Scores> gauges, const Scores& mean);

}  // namespace runoff

#endif  // RUNOFF_EVALUATION_SCORES_H_
