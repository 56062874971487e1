#include "runoff/evaluation/pairing.h"

#include <cmath>

namespace runoff {

std::vector<ObservedHour> observedHours(const std::vector<TimedValue>& values, CivilTime start,
                                        std::int64_t hours, const ScoredPeriod& period,
                                        PairCounts& counts) {
  std::vector<ObservedHour> kept;
  for (const TimedValue& value : values) {
    const std::int64_t seconds = (value.time - start).count();
    if (seconds < 0 || seconds >= hours * 3600) {
      ++counts.outsideRun;
    } else if (seconds % 3600 != 0) {
      ++counts.offHour;
    } else if (std::isnan(value.discharge)) {
      ++counts.observedMissing;
    } else if (seconds / 3600 < period.warmUpHours || (period.from && value.time < *period.from) ||
               (period.to && value.time > *period.to)) {
      ++counts.leftOut;
    } else {
      kept.push_back({seconds / 3600, static_cast<double>(value.discharge)});
    }
  }
  return kept;
}

void pairWithSimulated(std::span<const ObservedHour> observed, std::span<const float> simulated,
                       GaugePairs& pairs, PairCounts* counts) {
  pairs.hours.clear();
  pairs.observed.clear();
  pairs.simulated.clear();
  for (const ObservedHour& o : observed) {
    const float s = simulated[static_cast<std::size_t>(o.hour)];
    if (std::isnan(s)) {
      if (counts != nullptr) ++counts->simulatedMissing;
      continue;
    }
    pairs.hours.push_back(o.hour);
    pairs.observed.push_back(o.discharge);
    pairs.simulated.push_back(static_cast<double>(s));
    if (counts != nullptr) ++counts->paired;
  }
}

Status checkScorable(const std::vector<std::string>& gauges,
                     const std::vector<std::vector<double>>& observed, const ScoredPeriod& period) {
  for (std::size_t g = 0; g < gauges.size(); ++g) {
    const std::vector<double>& values = observed[g];
    if (values.empty()) {
      std::string after;
      if (period.warmUpHours > 0) {
        after = " after the warm-up of " + std::to_string(period.warmUpHours) + " hours";
      }
      if (period.from || period.to)
        after += after.empty() ? " within --from/--to" : " and within --from/--to";
      return Status::invalid("Gauge \"" + gauges[g] +
                             "\": no pair of observed and simulated discharge is left" + after +
                             ".");
    }
    bool varies = false;
    for (double v : values) varies = varies || v != values.front();
    if (!varies) {
      return Status::invalid("Gauge \"" + gauges[g] + "\": the observed discharge of its " +
                             std::to_string(values.size()) +
                             (values.size() == 1 ? " pair" : " pairs") +
                             " does not vary, so NSE is undefined.");
    }
  }
  return {};
}

}  // namespace runoff
