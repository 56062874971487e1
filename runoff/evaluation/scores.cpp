#include "runoff/evaluation/scores.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "runoff/output/gauge_series.h"

namespace runoff {
namespace {

// The mean; a series that does not vary has its value as mean exactly (a sum of n equal
// values divided by n may round away from it, and would give it a spread).
double mean(std::span<const double> values) {
  double sum = 0;
  bool constant = true;
  for (double v : values) {
    sum += v;
    constant = constant && v == values.front();
  }
  return constant ? values.front() : sum / static_cast<double>(values.size());
}

// 1 - Σ(s - o)² / Σ(o - ō)².
double nashSutcliffe(std::span<const double> observed, std::span<const double> simulated) {
  const double meanObserved = mean(observed);
  double error = 0, spread = 0;
  for (std::size_t i = 0; i < observed.size(); ++i) {
    error += (simulated[i] - observed[i]) * (simulated[i] - observed[i]);
    spread += (observed[i] - meanObserved) * (observed[i] - meanObserved);
  }
  return 1 - error / spread;
}

// Index of the first largest value.
std::size_t firstPeak(std::span<const double> values) {
  std::size_t peak = 0;
  for (std::size_t i = 1; i < values.size(); ++i) {
    if (values[i] > values[peak]) peak = i;
  }
  return peak;
}

}  // namespace

Scores scoreSeries(std::span<const double> observed, std::span<const double> simulated,
                   std::span<const std::int64_t> hours) {
  const std::size_t n = observed.size();
  Scores scores;
  scores.pairs = static_cast<std::int64_t>(n);
  scores.nse = nashSutcliffe(observed, simulated);

  const double meanObserved = mean(observed);
  const double meanSimulated = mean(simulated);
  double spreadObserved = 0, spreadSimulated = 0, covariation = 0, sumObserved = 0,
         sumDifference = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const double o = observed[i] - meanObserved;
    const double s = simulated[i] - meanSimulated;
    spreadObserved += o * o;
    spreadSimulated += s * s;
    covariation += o * s;
    sumObserved += observed[i];
    sumDifference += simulated[i] - observed[i];
  }
  const double sigmaObserved = std::sqrt(spreadObserved / static_cast<double>(n));
  const double sigmaSimulated = std::sqrt(spreadSimulated / static_cast<double>(n));
  scores.r = covariation / std::sqrt(spreadObserved * spreadSimulated);
  scores.alpha = sigmaSimulated / sigmaObserved;
  scores.beta = meanSimulated / meanObserved;
  scores.gamma = (sigmaSimulated / meanSimulated) / (sigmaObserved / meanObserved);
  const double r1 = scores.r - 1, b1 = scores.beta - 1;
  scores.kge = 1 - std::sqrt(r1 * r1 + (scores.alpha - 1) * (scores.alpha - 1) + b1 * b1);
  scores.kge2012 = 1 - std::sqrt(r1 * r1 + (scores.gamma - 1) * (scores.gamma - 1) + b1 * b1);

  // Low flows: logarithms of the discharge lifted by a hundredth of the mean observed flow,
  // so that a dry hour stays finite.
  const double epsilon = 0.01 * meanObserved;
  std::vector<double> logObserved(n), logSimulated(n);
  for (std::size_t i = 0; i < n; ++i) {
    logObserved[i] = std::log(observed[i] + epsilon);
    logSimulated[i] = std::log(simulated[i] + epsilon);
  }
  scores.logNse = nashSutcliffe(logObserved, logSimulated);

  scores.pbiasPct = 100 * sumDifference / sumObserved;
  const std::size_t peakObserved = firstPeak(observed);
  const std::size_t peakSimulated = firstPeak(simulated);
  scores.peakErrorPct =
      100 * (simulated[peakSimulated] - observed[peakObserved]) / observed[peakObserved];
  scores.peakTimeErrorH = static_cast<double>(hours[peakSimulated] - hours[peakObserved]);
  return scores;
}

Scores meanScores(std::span<const Scores> gauges) {
  Scores m;
  for (const Scores& s : gauges) {
    m.pairs += s.pairs;
    m.nse += s.nse;
    m.logNse += s.logNse;
    m.kge += s.kge;
    m.r += s.r;
    m.alpha += s.alpha;
    m.beta += s.beta;
    m.kge2012 += s.kge2012;
    m.gamma += s.gamma;
    m.pbiasPct += s.pbiasPct;
    m.peakErrorPct += s.peakErrorPct;
    m.peakTimeErrorH += s.peakTimeErrorH;
  }
  const double n = static_cast<double>(gauges.size());
  for (double* v : {&m.nse, &m.logNse, &m.kge, &m.r, &m.alpha, &m.beta, &m.kge2012, &m.gamma,
                    &m.pbiasPct, &m.peakErrorPct, &m.peakTimeErrorH}) {
    *v /= n;
  }
  return m;
}

const char* objectiveName(Objective objective) {
  switch (objective) {
    case Objective::kKge2012:
      return "kge_2012";
    case Objective::kNse:
      return "nse";
    case Objective::kLogNse:
      return "log_nse";
    case Objective::kKge:
      break;
  }
  return "kge";
}

std::optional<Objective> objectiveNamed(std::string_view name) {
  for (Objective o : {Objective::kKge, Objective::kKge2012, Objective::kNse, Objective::kLogNse}) {
    if (name == objectiveName(o)) return o;
  }
  return std::nullopt;
}

double objectiveValue(const Scores& scores, Objective objective) {
  switch (objective) {
    case Objective::kKge2012:
      return scores.kge2012;
    case Objective::kNse:
      return scores.nse;
    case Objective::kLogNse:
      return scores.logNse;
    case Objective::kKge:
      break;
  }
  return scores.kge;
}

std::string shortestDecimal(double value) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
}

namespace {

std::vector<double> columns(const Scores& s) {
  return {s.nse,      s.logNse,       s.kge,           s.r, s.alpha, s.beta, s.kge2012, s.gamma,
          s.pbiasPct, s.peakErrorPct, s.peakTimeErrorH};
}

void writeCsvLine(std::ostream& out, const std::string& name, const Scores& s) {
  out << csvField(name) << ',' << s.pairs;
  for (double v : columns(s)) out << ',' << shortestDecimal(v);
  out << '\n';
}

void writeTableLine(std::ostream& out, const std::string& name, std::size_t nameWidth,
                    const Scores& s) {
  const std::vector<double> v = columns(s);
  char pairs[32], values[256];
  std::snprintf(pairs, sizeof pairs, "%7lld", static_cast<long long>(s.pairs));
  std::snprintf(values, sizeof values,
                "%9.4f %9.4f %9.4f %9.4f %9.4f %9.4f %9.4f %9.4f %9.1f %9.1f %9.1f", v[0], v[1],
                v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9], v[10]);
  out << name << std::string(nameWidth - name.size(), ' ') << pairs << ' ' << values << '\n';
}

}  // namespace

void writeScoresCsv(std::ostream& out, const std::vector<std::string>& names,
                    std::span<const Scores> gauges, const Scores& mean) {
  out << "gauge,pairs,nse,log_nse,kge,r,alpha,beta,kge_2012,gamma,pbias_pct,peak_error_pct,"
         "peak_time_error_h\n";
  for (std::size_t g = 0; g < gauges.size(); ++g) writeCsvLine(out, names[g], gauges[g]);
  writeCsvLine(out, "mean", mean);
}

void writeScoresTable(std::ostream& out, const std::vector<std::string>& names,
                      std::span<const Scores> gauges, const Scores& mean) {
  std::size_t width = 5;
  for (const std::string& name : names) width = std::max(width, name.size());
  out << "gauge" << std::string(width - 5, ' ')
      << "  pairs       NSE   log-NSE       KGE         r     alpha      beta      KGE'"
         "     gamma   PBIAS %    peak %    peak h\n";
  for (std::size_t g = 0; g < gauges.size(); ++g) writeTableLine(out, names[g], width, gauges[g]);
  writeTableLine(out, "mean", width, mean);
}

}  // namespace runoff
