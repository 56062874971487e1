#include "discharge_score/score_command.h"

#include <algorithm>
#include <vector>

#include "common/atomic_file.h"
#include "common/command_options.h"
#include "common/text_number.h"
#include "runoff/evaluation/discharge_series.h"
#include "runoff/evaluation/scores.h"

namespace runoff {

std::string scoreUsage() {
  return "Usage: discharge-score OBSERVED.csv SIMULATED.csv [--warm-up HOURS] [--from TIME]\n"
         "                       [--to TIME]\n"
         "Pairs observed and simulated discharge by gauge and hour (both files in the form\n"
         "time,gauge,discharge of gauges.csv; an empty field, nan or a negative value is\n"
         "missing), prints per gauge and as the mean over the gauges NSE, log-NSE, KGE and its\n"
         "parts, KGE', PBIAS and the peak errors, and writes them to scores.csv.\n"
         "  --warm-up HOURS  leave the first HOURS hours of the simulated series out of every\n"
         "                   score (default 0)\n"
         "  --from TIME      score only pairs at TIME or later (YYYY-MM-DDThh:mm:ss)\n"
         "  --to TIME        score only pairs at TIME or earlier\n"
         "  --help           this text\n";
}

Result<ScoreOptions> parseScoreOptions(std::span<const std::string> args) {
  static constexpr std::string_view kKnown[] = {"--warm-up", "--from", "--to"};
  Result<CommandOptions> read =
      readCommandOptions(args, kKnown, "discharge-score", Positional::kKept);
  if (!read.ok()) return read.status();
  ScoreOptions options;
  options.help = read->help;
  const std::vector<std::string>& files = read->positional;
  if (const auto value = read->value("--warm-up")) {
    std::int32_t hours = 0;
    if (parseInt32(*value, hours) != ParseStatus::kOk || hours < 0) {
      return Status::invalid("--warm-up \"" + *value +
                             "\" is not a whole number of hours, 0 or more.");
    }
    options.period.warmUpHours = hours;
  }
  for (const char* name : {"--from", "--to"}) {
    const auto value = read->value(name);
    if (!value) continue;
    const std::optional<CivilTime> time = parseIsoTime(*value);
    if (!time) {
      return Status::invalid(std::string(name) + " \"" + *value +
                             "\" is not a date and time (YYYY-MM-DDThh:mm:ss).");
    }
    (name == std::string_view("--from") ? options.period.from : options.period.to) = time;
  }
  if (options.help) return options;
  if (files.size() != 2) {
    return Status::invalid("discharge-score takes two files, OBSERVED.csv and SIMULATED.csv" +
                           seeHelp("discharge-score"));
  }
  if (options.period.from && options.period.to && *options.period.from > *options.period.to) {
    return Status::invalid("--from " + isoTime(*options.period.from) + " is after --to " +
                           isoTime(*options.period.to) + ".");
  }
  options.observed = files[0];
  options.simulated = files[1];
  return options;
}

Status scoreDischarge(const ScoreOptions& options, std::ostream& console) {
  Result<DischargeSeries> observed = readDischargeSeries(options.observed);
  if (!observed.ok()) return observed.status();
  Result<DischargeSeries> simulatedValues = readDischargeSeries(options.simulated);
  if (!simulatedValues.ok()) return simulatedValues.status();
  Result<HourlySeries> simulated = onHourlyClock(*simulatedValues, options.simulated);
  if (!simulated.ok()) return simulated.status();

  PairCounts counts;
  std::vector<GaugePairs> pairs(observed->gauges.size());
  std::vector<std::vector<double>> pairedObserved;
  for (std::size_t g = 0; g < observed->gauges.size(); ++g) {
    const std::string& name = observed->gauges[g];
    const auto at = std::find(simulated->gauges.begin(), simulated->gauges.end(), name);
    if (at == simulated->gauges.end()) {
      return Status::invalid("Gauge \"" + name + "\" of " + options.observed + " is not in " +
                             options.simulated + ".");
    }
    const std::vector<ObservedHour> hours = observedHours(observed->values[g], simulated->start,
                                                          simulated->hours, options.period, counts);
    pairWithSimulated(hours,
                      simulated->values[static_cast<std::size_t>(at - simulated->gauges.begin())],
                      pairs[g], &counts);
    pairedObserved.push_back(pairs[g].observed);
  }
  if (Status scorable = checkScorable(observed->gauges, pairedObserved, options.period);
      !scorable.ok()) {
    return scorable;
  }
  std::vector<Scores> scores;
  for (const GaugePairs& p : pairs) scores.push_back(scoreSeries(p.observed, p.simulated, p.hours));
  const Scores mean = meanScores(scores);

  console << "Simulated: " << options.simulated << ", " << simulated->gauges.size()
          << (simulated->gauges.size() == 1 ? " gauge, " : " gauges, ") << simulated->hours
          << (simulated->hours == 1 ? " hour" : " hours") << " from " << isoTime(simulated->start)
          << '\n';
  console << "Observed: " << options.observed << ", " << observed->count << " values of "
          << observed->gauges.size() << (observed->gauges.size() == 1 ? " gauge" : " gauges")
          << ": " << counts.paired << " paired; " << counts.observedMissing << " missing, "
          << counts.simulatedMissing << " without a simulated value, " << counts.outsideRun
          << " outside the run, " << counts.offHour << " between hours, " << counts.leftOut
          << " left out (warm-up, --from, --to)\n\n";
  writeScoresTable(console, observed->gauges, scores, mean);

  console << "\nWrite " << kScoresFileName << '\n';
  AtomicFile file(kScoresFileName);
  if (Status ready = file.ready(); !ready.ok()) return ready;
  writeScoresCsv(file.stream(), observed->gauges, scores, mean);
  return file.commit();
}

}  // namespace runoff
