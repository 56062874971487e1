// discharge-score's command line and its one job: observed discharge against a simulated
// series (both in the long form of gauges.csv), paired by gauge and hour, scored per gauge
// and as the mean over the gauges, printed as a table and written to scores.csv.
#ifndef DISCHARGE_SCORE_SCORE_COMMAND_H_
#define DISCHARGE_SCORE_SCORE_COMMAND_H_

#include <ostream>
#include <span>
#include <string>

#include "common/status.h"
#include "runoff/evaluation/pairing.h"

namespace runoff {

struct ScoreOptions {
  bool help = false;
  std::string observed;
  std::string simulated;
  ScoredPeriod period;  // the warm-up counts from the first time of the simulated file
};

/// The text of --help.
std::string scoreUsage();

/// Parses the arguments after the program name; refuses an unknown option, a value that does
/// not read, an option given twice, and any number of files but two.
Result<ScoreOptions> parseScoreOptions(std::span<const std::string> args);

/// Reads both files, scores the pairs, prints the summary and the table on `console` and
/// writes scores.csv in the working directory. Refuses, with one line and nothing written,
/// an observed gauge that is not in the simulated file, and a gauge left without a pair or
/// whose observed discharge does not vary.
Status scoreDischarge(const ScoreOptions& options, std::ostream& console);

}  // namespace runoff

#endif  // DISCHARGE_SCORE_SCORE_COMMAND_H_
